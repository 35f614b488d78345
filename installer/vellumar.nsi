; The setup program of Vellumar: a per-machine install of Vellumar.exe, vellumar-cli.exe and
; LumenoteToolbar.dll into the 32-bit Program Files folder, with the toolbar library for 64-bit shells
; beside them on 64-bit Windows, and an uninstaller. The Windows build makes it (target "installer"):
;   makensis -DVERSION=X.Y.Z.W -DOUTFILE=Setup.exe -DVELLUMAR_EXE=... -DCLI_EXE=... -DTOOLBAR_DLL=...
;            -DTOOLBAR64_DLL=... vellumar.nsi
; Exit status of setup and uninstaller: 0 done; 3010 done, but a file in use is replaced or removed when
; Windows restarts; 2 a step failed (the message, or the details list, says which); 1 cancelled;
; 740 not run by an administrator.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh

!define PRODUCT "Vellumar"
!define PUBLISHER "Lumenote"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vellumar"
!define TOOLBAR_NAME "LumenoteToolbar.dll"
; The 64-bit library lives beside the 32-bit one, so it needs a name of its own.
!define TOOLBAR64_NAME "LumenoteToolbar64.dll"
!define SHORTCUT "$SMPROGRAMS\Vellumar.lnk"
; The local Users group by its well-known SID: its name differs between languages of Windows.
!define USERS_SID "*S-1-5-32-545"
!define EXIT_FAILED 2
!define EXIT_RESTART_NEEDED 3010
!define EXIT_NOT_ADMINISTRATOR 740

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
; An upgrade goes where the earlier build is.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

!define MUI_ICON "${__FILEDIR__}/../app/resources/vellumar.ico"
!define MUI_UNICON "${__FILEDIR__}/../app/resources/vellumar.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_REBOOTLATER_DEFAULT
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" ""

; Set when a file could only be replaced or removed at the next restart of Windows.
Var RestartNeeded

!macro AdministratorsOnly UN
    Function ${UN}.onInit
        SetShellVarContext all
        StrCpy $RestartNeeded 0
        UserInfo::GetAccountType
        Pop $0
        ${If} $0 != "Admin"
            MessageBox MB_ICONSTOP|MB_OK "${PRODUCT} is installed for all users of this computer: run this program as an administrator." /SD IDOK
            SetErrorLevel ${EXIT_NOT_ADMINISTRATOR}
            Quit
        ${EndIf}
    FunctionEnd
!macroend
!insertmacro AdministratorsOnly ""
!insertmacro AdministratorsOnly "un"

; A step that failed: said in the details list and in a message box (none in silent mode), and the run
; ends with EXIT_FAILED. What was installed so far stays, uninstaller included.
!macro Fail TEXT
    DetailPrint "${TEXT}"
    MessageBox MB_ICONSTOP|MB_OK "${TEXT}" /SD IDOK
    SetErrorLevel ${EXIT_FAILED}
    Abort "${TEXT}"
!macroend

; Puts one file of the build into the install folder. The file is unpacked under a name nobody holds,
; then moved over the old one; a program that still runs the old one (the shell and the browser hold
; the toolbar library) keeps it until Windows restarts, and the new one takes its place then.
!macro PutFile SOURCE NAME
    File "/oname=${NAME}.update" "${SOURCE}"
    Delete "$INSTDIR\${NAME}"
    ClearErrors
    Rename "$INSTDIR\${NAME}.update" "$INSTDIR\${NAME}"
    ${If} ${Errors}
        ClearErrors
        Rename /REBOOTOK "$INSTDIR\${NAME}.update" "$INSTDIR\${NAME}"
        ${If} ${Errors}
            !insertmacro Fail "${NAME} could not be written to $INSTDIR."
        ${EndIf}
        DetailPrint "${NAME} is in use by a running program; it is replaced when Windows restarts."
        StrCpy $RestartNeeded 1
    ${EndIf}
!macroend

; Registers a toolbar library of the install folder with the regsvr32 of its own bitness and checks the
; result. The rows of an in-use library that waits for a restart are the same for the old and the new
; file, so the old file registers them now.
!macro Register REGSVR32 NAME
    ClearErrors
    ExecWait '"${REGSVR32}" /s "$INSTDIR\${NAME}"' $0
    ${If} ${Errors}
    ${OrIf} $0 != 0
        !insertmacro Fail "${NAME} could not be registered (regsvr32 exit status $0): the toolbar and the icon overlay of annotated photos will not work."
    ${EndIf}
    DetailPrint "Registered ${NAME}"
!macroend

!macro Unregister REGSVR32 NAME
    ${If} ${FileExists} "$INSTDIR\${NAME}"
        ClearErrors
        ExecWait '"${REGSVR32}" /u /s "$INSTDIR\${NAME}"' $0
        ${If} ${Errors}
        ${OrIf} $0 != 0
            ; The files still go; the details and the exit status tell that rows may be left.
            DetailPrint "${NAME} could not be unregistered (regsvr32 exit status $0)."
            MessageBox MB_ICONEXCLAMATION|MB_OK "${NAME} could not be unregistered (regsvr32 exit status $0)." /SD IDOK
            SetErrorLevel ${EXIT_FAILED}
        ${EndIf}
    ${EndIf}
!macroend

!macro RemoveFile NAME
    Delete "$INSTDIR\${NAME}.update"
    Delete /REBOOTOK "$INSTDIR\${NAME}"
    ${If} ${FileExists} "$INSTDIR\${NAME}"
        DetailPrint "${NAME} is in use by a running program; it is removed when Windows restarts."
        StrCpy $RestartNeeded 1
    ${EndIf}
!macroend

Section "${PRODUCT}" SecProgram
    SetOutPath "$INSTDIR"
    !insertmacro PutFile "${VELLUMAR_EXE}" "Vellumar.exe"
    !insertmacro PutFile "${CLI_EXE}" "vellumar-cli.exe"
    !insertmacro PutFile "${TOOLBAR_DLL}" "${TOOLBAR_NAME}"
    ; A 64-bit shell loads only a 64-bit overlay handler.
    ${If} ${IsNativeAMD64}
        !insertmacro PutFile "${TOOLBAR64_DLL}" "${TOOLBAR64_NAME}"
    ${EndIf}

    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortCut "${SHORTCUT}" "$INSTDIR\Vellumar.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Vellumar.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    SectionGetSize ${SecProgram} $0
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

    ; Vellumar writes its index, "tb.idx" and "thumbs" beside itself, and every user runs it: the Users
    ; group may modify the install folder and what is made in it.
    ClearErrors
    ExecWait '"$SYSDIR\icacls.exe" "$INSTDIR" /grant ${USERS_SID}:(OI)(CI)M' $0
    ${If} ${Errors}
    ${OrIf} $0 != 0
        !insertmacro Fail "Users could not be given write access to $INSTDIR (icacls exit status $0): Vellumar could not keep its search index there."
    ${EndIf}

    ; $SYSDIR holds the 32-bit regsvr32 for this 32-bit program; SysNative is the 64-bit System32.
    !insertmacro Register "$SYSDIR\regsvr32.exe" "${TOOLBAR_NAME}"
    ${If} ${IsNativeAMD64}
        !insertmacro Register "$WINDIR\SysNative\regsvr32.exe" "${TOOLBAR64_NAME}"
    ${EndIf}

    ${If} $RestartNeeded = 1
        SetRebootFlag true
        SetErrorLevel ${EXIT_RESTART_NEEDED}
        MessageBox MB_ICONINFORMATION|MB_OK "A running program (Windows Explorer or a web browser) still uses files of the earlier ${PRODUCT}: they are replaced when Windows restarts." /SD IDOK
    ${EndIf}
SectionEnd

Section "Uninstall"
    ; Each library takes its own rows out of the registry, so both go before the files.
    ${If} ${IsNativeAMD64}
        !insertmacro Unregister "$WINDIR\SysNative\regsvr32.exe" "${TOOLBAR64_NAME}"
    ${EndIf}
    !insertmacro Unregister "$SYSDIR\regsvr32.exe" "${TOOLBAR_NAME}"

    !insertmacro RemoveFile "${TOOLBAR64_NAME}"
    !insertmacro RemoveFile "${TOOLBAR_NAME}"
    !insertmacro RemoveFile "vellumar-cli.exe"
    !insertmacro RemoveFile "Vellumar.exe"
    Delete "${SHORTCUT}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"

    ; The index is the users' work of hours: a quiet uninstall keeps it, for a later install to find.
    MessageBox MB_YESNO|MB_ICONQUESTION "Remove the search index and the thumbnails in $INSTDIR too?" /SD IDNO IDNO keepIndex
    Delete "$INSTDIR\index"
    Delete "$INSTDIR\index.new"
    Delete "$INSTDIR\tb.idx"
    RMDir /r "$INSTDIR\thumbs"
keepIndex:
    Delete "$INSTDIR\uninstall.exe"
    ; Only when empty: the folder may hold the kept index, or files that are not ours.
    ${If} $RestartNeeded = 1
        RMDir /REBOOTOK "$INSTDIR"
        GetErrorLevel $0
        ${If} $0 <> ${EXIT_FAILED}
            SetErrorLevel ${EXIT_RESTART_NEEDED}
        ${EndIf}
    ${Else}
        RMDir "$INSTDIR"
    ${EndIf}
SectionEnd
