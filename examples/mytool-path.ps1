# Adds MyTool's folder to the end of the user's PATH, or with -Machine to the machine's (as an
# administrator), or with -Remove takes it away again, through the registry, keeping every
# other entry as it was, and tells running programs with the Quorvane.exe beside this script.
# Ends with 0 when PATH was changed and running programs were told, or it needed no change; 1
# when PATH was not changed, and nothing was broadcast; 2 when PATH was changed but running
# programs could not be told. Windows clients run no script as they come; this runs it unless
# Group Policy sets the execution policy (where scripts may run, Unblock-File a downloaded copy):
#   powershell -ExecutionPolicy Bypass -File .\mytool-path.ps1 [-Folder DIR] [-Remove] [-Machine]
# Not tested: Wine has no PowerShell.
#Requires -Version 3.0
param([string]$Folder, [switch]$Remove, [switch]$Machine)

# Any failure to read or write, a non-terminating one too, ends the script here.
$ErrorActionPreference = 'Stop'
trap { Write-Warning "PATH was not changed: $_"; exit 1 }

$key = 'HKCU:\Environment'
if ($Machine) {
    # Not #Requires -RunAsAdministrator: that would stop the per-user use as well.
    $me = [Security.Principal.WindowsPrincipal][Security.Principal.WindowsIdentity]::GetCurrent()
    if (-not $me.IsInRole([Security.Principal.WindowsBuiltInRole]::Administrator)) {
        throw "the machine's PATH needs an administrator: run this from an elevated PowerShell"
    }
    $key = 'HKLM:\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
}
if (-not $Folder) {
    # ProgramW6432: the 64-bit Program Files, in a 32-bit PowerShell too.
    $Folder = if ($Machine) { "$env:ProgramW6432\MyTool" } else { "$env:LOCALAPPDATA\MyTool" }
}

# As stored, every %VAR% unexpanded; the folder counts as there whatever its letter case and
# trailing backslash (-ne ignores case).
$path = (Get-Item $key).GetValue('Path', '', 'DoNotExpandEnvironmentNames')
$entries = @($path -split ';' | Where-Object { $_ -ne '' })
$others = @($entries | Where-Object { $_.TrimEnd('\') -ne $Folder.TrimEnd('\') })
if ([bool]$Remove -ne ($others.Count -lt $entries.Count)) { exit 0 }  # nothing to add or remove
$new = if ($Remove) { $others } else { $entries + $Folder }
if ($new.Count -and ($entries.Count -or -not $Machine)) {
    Set-ItemProperty $key -Name Path -Value ($new -join ';') -Type ExpandString
} elseif ($Machine) {
    # Every Windows has a machine PATH: absent or empty, something else is wrong. Never removed.
    $change = if ($Remove) { 'remove' } else { 'add' }
    throw "the machine's PATH is absent or would be empty: $change $Folder yourself"
} else {
    Remove-ItemProperty $key -Name Path
}
try {
    & "$PSScriptRoot\Quorvane.exe" /broadcast
    if ($LASTEXITCODE -ne 0) { throw "Quorvane.exe ended with status $LASTEXITCODE" }
} catch {
    Write-Warning "PATH was changed, but running programs were not told: $_"
    exit 2
}
exit 0
