# Adds MyTool's folder to the end of the user's PATH, or with -Machine to the machine's (as an
# administrator), or with -Remove takes it away again, through the registry, keeping every
# other entry as it was, and tells running programs with the Quorvane.exe beside this script.
# Ends with 0 when PATH was changed and running programs were told, or it needed no change; 1
# when PATH was not changed, and nothing was broadcast; 2 when PATH was changed but running
# programs could not be told (Quorvane's own 2 means misuse). Windows clients run no script as
# they come; this runs it unless Group Policy sets the execution policy:
#   powershell -ExecutionPolicy Bypass -File .\mytool-path.ps1 [-Folder DIR] [-Remove] [-Machine]
# Quorvane's Windows test legs run it, and none has run yet: not tested.
#Requires -Version 3.0
param([string]$Folder, [switch]$Remove, [switch]$Machine)

# Any failure to read or write, a non-terminating one too, ends the script here.
$ErrorActionPreference = 'Stop'
trap { Write-Warning "PATH was not changed: $_"; exit 1 }

# Outside the folders an AppLocker or App Control policy allows, a script runs constrained,
# where the registry and account calls below are refused.
if ($ExecutionContext.SessionState.LanguageMode -ne 'FullLanguage') {
    throw ("an application-control policy runs this script in constrained mode: place it " +
           "where the policy allows scripts, or sign it")
}
# A device-wide deployment runs as SYSTEM, whose own PATH no user has.
$me = [Security.Principal.WindowsIdentity]::GetCurrent()
if ($me.IsSystem -and -not $Machine) {
    throw "this runs as SYSTEM: use -Machine for all users, or run it as the user"
}
$key = 'HKCU:\Environment'
if ($Machine) {
    # Not #Requires -RunAsAdministrator: that would stop the per-user use as well.
    if (-not ([Security.Principal.WindowsPrincipal]$me).IsInRole([Security.Principal.WindowsBuiltInRole]::Administrator)) {
        throw "the machine's PATH needs an administrator: run this from an elevated PowerShell"
    }
    $key = 'HKLM:\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
}
if (-not $Folder) {
    # ProgramW6432: the 64-bit Program Files, in a 32-bit PowerShell too.
    $Folder = if ($Machine) { "$env:ProgramW6432\MyTool" } else { "$env:LOCALAPPDATA\MyTool" }
}

# An entry that names no full folder, or breaks the list, is no use to any program.
if ($Folder -notmatch '^([a-z]:[\\/]|\\\\[^\\/]+[\\/][^\\/]+|%[^%]+%)' -or $Folder -match '[;"]') {
    throw "-Folder $Folder is not a full path (C:\..., \\server\share\... or %NAME%...) free of ; and `""
}
$item = Get-Item $key
if ($item.GetValueNames() -contains 'Path') {
    $kind = $item.GetValueKind('Path')
    $types = @{ MultiString = 'REG_MULTI_SZ'; Binary = 'REG_BINARY'; DWord = 'REG_DWORD';
                QWord = 'REG_QWORD'; None = 'REG_NONE' }
    $type = $types["$kind"]
    if ('String', 'ExpandString' -notcontains $kind) {
        throw "PATH is $(if ($type) { $type } else { $kind }), not a string: change it by hand"
    }
}
# As stored, every %VAR% unexpanded; the folder counts as there whatever its letter case and
# trailing backslash (-ne ignores case).
$path = $item.GetValue('Path', '', 'DoNotExpandEnvironmentNames')
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
