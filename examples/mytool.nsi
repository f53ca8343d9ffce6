; Installs MyTool for the current user, sets the user variable MYTOOL_HOME and tells
; running programs about it with Quorvane; uninstalling removes the variable and tells
; them again. Build it with Quorvane.exe and mytool.txt beside this script:
;   makensis mytool.nsi
Unicode true
Target amd64-unicode
Name "MyTool"
OutFile "mytool-setup.exe"
; Per user: HKCU\Environment needs no administrator.
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\MyTool"

; Runs Quorvane hidden, its output into the log. A broadcast reaches only the windows on
; the caller's desktop, in the caller's session: so it runs here, in the user's own
; installer, never from a service or the SYSTEM account. A failed broadcast is worth a
; line in the log, not a failed install: the variable is set either way.
!macro Broadcast
  nsExec::ExecToLog '"$INSTDIR\Quorvane.exe" /broadcast'
  Pop $0
  StrCmp $0 "0" +2
    DetailPrint "Quorvane could not tell running programs about MYTOOL_HOME (status $0)"
!macroend

Section "MyTool"
  SetOutPath "$INSTDIR"
  File "mytool.txt"
  File "Quorvane.exe"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKCU "Environment" "MYTOOL_HOME" "$INSTDIR"
  !insertmacro Broadcast
SectionEnd

Section "Uninstall"
  DeleteRegValue HKCU "Environment" "MYTOOL_HOME"
  !insertmacro Broadcast
  Delete "$INSTDIR\mytool.txt"
  Delete "$INSTDIR\Quorvane.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
