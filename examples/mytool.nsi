; Installs MyTool for the current user, sets the user variable MYTOOL_HOME, adds the install
; folder to the user's PATH, and tells running programs about both with Quorvane;
; uninstalling takes both away and tells them again. Built with -DALL_USERS it installs for
; all users instead, as an administrator, with MYTOOL_HOME and PATH in the machine's key.
; Build it with Quorvane.exe and mytool.txt beside this script:
;   makensis mytool.nsi
;   makensis -DALL_USERS mytool.nsi
; Each is a 32-bit installer, as NSIS for Windows makes them (it has x86 stubs alone), and
; starts the 64-bit Quorvane.exe all the same; that build is not tested. Quorvane's tests run
; this script built with the 64-bit stubs, as Wine there has no 32-bit half:
;   makensis "-XTarget amd64-unicode" mytool.nsi
Unicode true
!include LogicLib.nsh
Name "MyTool"
!ifdef ALL_USERS
  OutFile "mytool-setup-all-users.exe"
  RequestExecutionLevel admin
  InstallDir "$PROGRAMFILES64\MyTool"
  ; Nothing in HKCU: elevated with an administrator's password, it runs as that administrator,
  ; and HKCU is theirs, not the user's.
  !define ENV_ROOT HKLM
  !define ENV_HKEY 0x80000002  ; HKEY_LOCAL_MACHINE, for the System plug-in
  !define ENV_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
  !define PATH_OWNER "The machine's PATH"
!else
  OutFile "mytool-setup.exe"
  ; Per user: HKCU\Environment needs no administrator.
  RequestExecutionLevel user
  InstallDir "$LOCALAPPDATA\MyTool"
  !define ENV_ROOT HKCU
  !define ENV_HKEY 0x80000001  ; HKEY_CURRENT_USER
  !define ENV_KEY "Environment"
  !define PATH_OWNER "Your PATH"
!endif

; Runs Quorvane hidden, its output into the log. A broadcast reaches only the windows on
; the caller's desktop, in the caller's session: so it runs here, in the installer the user
; started (either build), never from a service or the SYSTEM account. A failed broadcast is
; worth a line in the log, not a failed install: the variables are set either way.
!macro Broadcast
  nsExec::ExecToLog '"$INSTDIR\Quorvane.exe" /broadcast'
  Pop $0
  StrCmp $0 "0" +2
    DetailPrint "Quorvane could not tell running programs about MYTOOL_HOME and PATH (status $0)"
!macroend

; NSIS's strings hold NSIS_MAX_STRLEN - 1 characters, and a longer value may come back cut to
; that length without an error: a PATH that long is never edited.
!define /math PATH_LIMIT ${NSIS_MAX_STRLEN} - 1

!ifdef ALL_USERS
  ; Stops before anything is written, where the account is not an administrator's.
  !macro RequireAdmin
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "Admin"
      MessageBox MB_OK|MB_ICONSTOP "MyTool installs for all users: run this as an administrator." /SD IDOK
      Abort
    ${EndIf}
  !macroend
  Function .onInit
    !insertmacro RequireAdmin
  FunctionEnd
  Function un.onInit
    !insertmacro RequireAdmin
  FunctionEnd
!endif

; Reading and splitting the PATH, for the installer and ("un.") the uninstaller.
!macro PathFunctions un
  ; $R0: the PATH as stored, every %VAR% unexpanded; $R2: "absent" only when Windows says
  ; there is no such value, "read", or "" when it cannot be read whole (not a string, too
  ; long for NSIS's strings, or any other failure). Its type comes straight from the
  ; registry: walking the values with EnumRegValue cannot tell their end from a failure.
  Function ${un}ReadPath
    StrCpy $R0 ""
    StrCpy $R2 ""
    ; RRF_RT_ANY | RRF_NOEXPAND: any type, as stored.
    System::Call 'advapi32::RegGetValueW(p ${ENV_HKEY}, w "${ENV_KEY}", w "Path", i 0x1000ffff, *i .R3, p 0, p 0) i .R4'
    ${If} $R4 = 2  ; ERROR_FILE_NOT_FOUND
      StrCpy $R2 "absent"
    ${ElseIf} $R4 = 0
    ${AndIf} $R3 >= 1  ; REG_SZ
    ${AndIf} $R3 <= 2  ; REG_EXPAND_SZ
      ClearErrors
      ReadRegStr $R0 ${ENV_ROOT} "${ENV_KEY}" "Path"
      StrLen $R4 $R0
      ${IfNot} ${Errors}
      ${AndIf} $R4 < ${PATH_LIMIT}
        StrCpy $R2 "read"
      ${EndIf}
    ${EndIf}
  FunctionEnd

  ; $R3: the entries of $R0 but empty ones and those equal to $R1, ignoring letter case and a
  ; trailing backslash, each as it was and in order; $R4: how many equal $R1.
  Function ${un}PathWithout
    StrCpy $R3 ""
    StrCpy $R4 0
    StrCpy $R5 "$R0;"
    ${Do}
      StrCpy $R6 0
      ${Do}
        StrCpy $R7 $R5 1 $R6
        ${IfThen} $R7 == ";" ${|} ${Break} ${|}
        IntOp $R6 $R6 + 1
      ${Loop}
      StrCpy $R7 $R5 $R6
      IntOp $R6 $R6 + 1
      StrCpy $R5 $R5 "" $R6
      StrCpy $R8 $R7 "" -1
      ${If} $R8 == "\"
        StrCpy $R8 $R7 -1
      ${Else}
        StrCpy $R8 $R7
      ${EndIf}
      ${If} $R7 == ""
      ${ElseIf} $R8 == $R1
        IntOp $R4 $R4 + 1
      ${ElseIf} $R3 == ""
        StrCpy $R3 $R7
      ${Else}
        StrCpy $R3 "$R3;$R7"
      ${EndIf}
    ${LoopUntil} $R5 == ""
  FunctionEnd
!macroend
!insertmacro PathFunctions ""
!insertmacro PathFunctions "un."

; Adds $INSTDIR at the end of the PATH, unless it is there already, keeping every other entry
; as it was. Written as REG_EXPAND_SZ, whatever it was, so that %VAR% entries still work.
Function AddToPath
  Call ReadPath
!ifdef ALL_USERS
  ; Every Windows has a machine PATH: one absent or empty means something else is wrong.
  ${IfThen} $R0 == "" ${|} StrCpy $R2 "" ${|}
!endif
  ${If} $R2 != ""
    StrCpy $R1 $INSTDIR
    Call PathWithout
    ${If} $R4 > 0
      Return
    ${EndIf}
    StrCpy $R5 $R0 "" -1
    ${If} $R0 == ""
      StrCpy $R3 $INSTDIR
    ${ElseIf} $R5 == ";"
      StrCpy $R3 "$R0$INSTDIR"
    ${Else}
      StrCpy $R3 "$R0;$INSTDIR"
    ${EndIf}
    StrLen $R4 $R3
    ${If} $R4 < ${PATH_LIMIT}
      WriteRegExpandStr ${ENV_ROOT} "${ENV_KEY}" "Path" $R3
      Return
    ${EndIf}
  ${EndIf}
  DetailPrint "${PATH_OWNER} could not be changed: add $INSTDIR to it yourself"
FunctionEnd

; Takes every entry equal to $INSTDIR out of the PATH, and the user's value itself when nothing
; is left; the machine's is never emptied.
Function un.RemoveFromPath
  Call un.ReadPath
  ${If} $R2 != ""
    StrCpy $R1 $INSTDIR
    Call un.PathWithout
    ${If} $R4 == 0
      Return
    ${ElseIf} $R3 != ""
      WriteRegExpandStr ${ENV_ROOT} "${ENV_KEY}" "Path" $R3
      Return
    ${EndIf}
!ifndef ALL_USERS
    DeleteRegValue ${ENV_ROOT} "${ENV_KEY}" "Path"
    Return
!endif
  ${EndIf}
  DetailPrint "${PATH_OWNER} could not be changed: remove $INSTDIR from it yourself"
FunctionEnd

Section "MyTool"
  SetOutPath "$INSTDIR"
  File "mytool.txt"
  File "Quorvane.exe"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr ${ENV_ROOT} "${ENV_KEY}" "MYTOOL_HOME" "$INSTDIR"
  Call AddToPath
  !insertmacro Broadcast
SectionEnd

Section "Uninstall"
  DeleteRegValue ${ENV_ROOT} "${ENV_KEY}" "MYTOOL_HOME"
  Call un.RemoveFromPath
  !insertmacro Broadcast
  Delete "$INSTDIR\mytool.txt"
  Delete "$INSTDIR\Quorvane.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
