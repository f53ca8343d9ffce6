# Adds MyTool's folder to the end of the user's PATH, or with -Machine to the machine's (as an
# administrator), or with -Remove takes it away again, through the registry, keeping every
# other entry as it was, and tells running programs with the Quorvane.exe beside this script.
# Not tested: Wine has no PowerShell.
#   .\mytool-path.ps1 [-Folder C:\Tools\MyTool] [-Remove] [-Machine]
param([string]$Folder, [switch]$Remove, [switch]$Machine)

$key = 'HKCU:\Environment'
if ($Machine) {
    # Not #Requires -RunAsAdministrator: that would stop the per-user use as well.
    $me = [Security.Principal.WindowsPrincipal][Security.Principal.WindowsIdentity]::GetCurrent()
    if (-not $me.IsInRole([Security.Principal.WindowsBuiltInRole]::Administrator)) {
        Write-Error "The machine's PATH needs an administrator: run this from an elevated PowerShell"
        exit 1
    }
    $key = 'HKLM:\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
}
if (-not $Folder) {
    $Folder = if ($Machine) { "$env:ProgramFiles\MyTool" } else { "$env:LOCALAPPDATA\MyTool" }
}

# As stored, every %VAR% unexpanded; the folder counts as there whatever its letter case and
# trailing backslash (-ne ignores case).
$path = (Get-Item $key).GetValue('Path', '', 'DoNotExpandEnvironmentNames')
$entries = @($path -split ';' | Where-Object { $_ -ne '' })
$others = @($entries | Where-Object { $_.TrimEnd('\') -ne $Folder.TrimEnd('\') })
if ([bool]$Remove -ne ($others.Count -lt $entries.Count)) { return }  # nothing to add or remove
$new = if ($Remove) { $others } else { $entries + $Folder }
if ($new.Count -and ($entries.Count -or -not $Machine)) {
    Set-ItemProperty $key -Name Path -Value ($new -join ';') -Type ExpandString
} elseif ($Machine) {
    # Every Windows has a machine PATH: absent or empty, something else is wrong. Never removed.
    Write-Error "The machine's PATH could not be changed: $(if ($Remove) { 'remove' } else { 'add' }) $Folder yourself"
    exit 1
} else {
    Remove-ItemProperty $key -Name Path
}
& "$PSScriptRoot\Quorvane.exe" /broadcast
if ($LASTEXITCODE -ne 0) { Write-Warning 'Could not tell running programs about PATH' }
