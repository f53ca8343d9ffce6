# Adds MyTool's folder to the end of the user's PATH, or with -Remove takes it away again, through
# the registry, keeping every other entry as it was, and tells running programs with the
# Quorvane.exe beside this script. Not tested: Wine has no PowerShell.
#   .\mytool-path.ps1 [-Folder C:\Tools\MyTool] [-Remove]
param([string]$Folder = "$env:LOCALAPPDATA\MyTool", [switch]$Remove)

# As stored, every %VAR% unexpanded; the folder counts as there whatever its letter case and
# trailing backslash (-ne ignores case).
$path = (Get-Item HKCU:\Environment).GetValue('Path', '', 'DoNotExpandEnvironmentNames')
$entries = @($path -split ';' | Where-Object { $_ -ne '' })
$others = @($entries | Where-Object { $_.TrimEnd('\') -ne $Folder.TrimEnd('\') })
if ([bool]$Remove -ne ($others.Count -lt $entries.Count)) { return }  # nothing to add or remove
$new = if ($Remove) { $others } else { $entries + $Folder }
if ($new.Count) {
    Set-ItemProperty HKCU:\Environment -Name Path -Value ($new -join ';') -Type ExpandString
} else {
    Remove-ItemProperty HKCU:\Environment -Name Path
}
& "$PSScriptRoot\Quorvane.exe" /broadcast
if ($LASTEXITCODE -ne 0) { Write-Warning 'Could not tell running programs about PATH' }
