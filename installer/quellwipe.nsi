; The Quellwipe installer and uninstaller for one architecture. The build
; passes QW_VERSION, QW_ARCH (x64 or x86), QW_OUT and QW_FILES, the lists of
; the application folder's files that cmake/make-installer.cmake writes.
; The x64 installer is a 64-bit program, as its users expect; 32-bit
; Windows refuses to start it at all ("This app can't run on your PC").
!if ${QW_ARCH} == x64
    Target amd64-unicode
!else
    Unicode true
!endif
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh
!include "${QW_FILES}"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quellwipe"
!define SETTINGS_KEY "Software\Quellwipe"
!define RECYCLE_BIN_KEY "Software\Classes\CLSID\{645FF040-5081-101B-9F08-00AA002F954E}"
!define PACK_SECTION "Tarnwell Language Pack"

Name "Quellwipe"
OutFile "${QW_OUT}"
RequestExecutionLevel admin
ManifestDPIAware true
BrandingText "Quellwipe ${QW_VERSION}"
ShowInstDetails show
ShowUninstDetails show

!define MUI_ICON "${QW_ICON}"
!define MUI_UNICON "${QW_ICON}"
; Our own picture beside the welcome and finish pages.
!define MUI_WELCOMEFINISHPAGE_BITMAP "${__FILEDIR__}/welcome.bmp"
!define MUI_ABORTWARNING
; The uninstaller speaks the language the installer was run in.
!define MUI_LANGDLL_REGISTRY_ROOT HKLM
!define MUI_LANGDLL_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MUI_LANGDLL_REGISTRY_VALUENAME "Installer Language"
!define MUI_FINISHPAGE_RUN "$INSTDIR\Quellwipe.exe"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

UninstPage custom un.OptionsShow un.OptionsLeave
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "German"

VIProductVersion "${QW_VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "Quellwipe"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${QW_PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "Quellwipe Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${QW_VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${QW_VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Copyright (C) Quellwipe"

LangString StillRunning ${LANG_ENGLISH} "Quellwipe is running. Close it, then choose Retry."
LangString StillRunning ${LANG_GERMAN} "Quellwipe wird gerade ausgeführt. Beenden Sie es und wählen Sie dann Wiederholen."
LangString RegisterFailed ${LANG_ENGLISH} "$0 could not be registered (regsvr32 ended with code $1). Quellwipe warns about it at every start until it is installed again."
LangString RegisterFailed ${LANG_GERMAN} "$0 konnte nicht registriert werden (regsvr32 endete mit Code $1). Quellwipe weist bei jedem Start darauf hin, bis es erneut installiert wird."
LangString HelpShortcut ${LANG_ENGLISH} "Quellwipe Help"
LangString HelpShortcut ${LANG_GERMAN} "Quellwipe-Hilfe"
LangString UninstallShortcut ${LANG_ENGLISH} "Uninstall Quellwipe"
LangString UninstallShortcut ${LANG_GERMAN} "Quellwipe deinstallieren"
LangString OptionsTitle ${LANG_ENGLISH} "Your settings and activity log"
LangString OptionsTitle ${LANG_GERMAN} "Ihre Einstellungen und das Protokoll"
LangString OptionsSubtitle ${LANG_ENGLISH} "Choose whether to keep them for a later installation."
LangString OptionsSubtitle ${LANG_GERMAN} "Wählen Sie, ob sie für eine spätere Installation erhalten bleiben."
LangString OptionsText ${LANG_ENGLISH} "Quellwipe will be removed from your computer. Your settings and the activity log of scheduled runs (log.txt) are kept unless you tick the box below."
LangString OptionsText ${LANG_GERMAN} "Quellwipe wird von Ihrem Computer entfernt. Ihre Einstellungen und das Protokoll der geplanten Läufe (log.txt) bleiben erhalten, wenn Sie das Kästchen unten nicht ankreuzen."
LangString RemoveSettings ${LANG_ENGLISH} "&Remove my settings and log"
LangString RemoveSettings ${LANG_GERMAN} "&Meine Einstellungen und das Protokoll entfernen"

Var RemoveSettingsBox
Var RemoveSettings

; The x64 installer works in the 64-bit registry view and the real system
; folder; as a 64-bit program it has them anyway, and these say so.
!macro NativeRegistry
    !if ${QW_ARCH} == x64
        SetRegView 64
    !endif
!macroend

!macro NativeFiles
    !if ${QW_ARCH} == x64
        ${DisableX64FSRedirection}
    !endif
!macroend

!macro RedirectedFiles
    !if ${QW_ARCH} == x64
        ${EnableX64FSRedirection}
    !endif
!macroend

; Waits while an interactive Quellwipe.exe holds its single-instance mutex,
; named by the title text of the language pack it runs in: its files could
; be neither replaced nor removed. A silent run gives up at once (exit code 2).
!macro RefuseWhileRunning un
    Function ${un}RefuseWhileRunning
        ReadRegStr $0 HKCU "${SETTINGS_KEY}\Shred" "Language"
        ${If} $0 == ""
            StrCpy $0 "English"
        ${EndIf}
        ReadINIStr $1 "$INSTDIR\Lang\$0.ini" "${PACK_SECTION}" "9606"
        ${If} $1 == ""
            ; What the program calls a text its pack lacks.
            StrCpy $1 "Error"
        ${EndIf}
        running:
        ; SYNCHRONIZE access is enough to see that it exists.
        System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w r1) p .r2'
        ${If} $2 P<> 0
            System::Call 'kernel32::CloseHandle(p r2)'
            MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(StillRunning)" /SD IDCANCEL IDRETRY running
            SetErrorLevel 2
            Quit
        ${EndIf}
    FunctionEnd
!macroend
!insertmacro RefuseWhileRunning ""
!insertmacro RefuseWhileRunning "un."

; regsvr32 of the architecture the DLL is built for; $0 names the DLL for
; the message, $2 is its full path.
!macro RunRegsvr32 switches
    ExecWait '"$SYSDIR\regsvr32.exe" /s ${switches} "$2"' $1
!macroend

Function .onInit
    !insertmacro NativeRegistry
    ; An upgrade goes where the last install went, unless /D= says otherwise.
    ${If} $INSTDIR == ""
        ReadRegStr $INSTDIR HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${EndIf}
    ${If} $INSTDIR == ""
        !if ${QW_ARCH} == x64
            StrCpy $INSTDIR "$PROGRAMFILES64\Quellwipe"
        !else
            StrCpy $INSTDIR "$PROGRAMFILES\Quellwipe"
        !endif
    ${EndIf}
    !insertmacro MUI_LANGDLL_DISPLAY
FunctionEnd

Function RegisterDll
    !insertmacro RunRegsvr32 ""
    ${If} $1 != 0
        MessageBox MB_OK|MB_ICONEXCLAMATION "$(RegisterFailed)" /SD IDOK
        DetailPrint "$(RegisterFailed)"
        SetErrorLevel 2
    ${EndIf}
FunctionEnd

Section "Quellwipe"
    Call RefuseWhileRunning
    ; The settings key and log.txt are the user's: neither is written here
    ; but AppPath, so an upgrade keeps them.
    !insertmacro QW_INSTALL_FILES
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    !insertmacro NativeFiles
    ; Where the program's check looks for it: the system folder as a
    ; program of this architecture sees it.
    SetOutPath "$SYSDIR"
    File "${QW_DIST}/Taskloom.dll"
    StrCpy $0 "Taskloom.dll"
    StrCpy $2 "$SYSDIR\Taskloom.dll"
    Call RegisterDll
    StrCpy $0 "Shellvane.dll"
    StrCpy $2 "$INSTDIR\Shellvane.dll"
    Call RegisterDll
    SetOutPath "$INSTDIR"
    !insertmacro RedirectedFiles

    WriteRegStr HKCU "${SETTINGS_KEY}\Shred" "AppPath" "$INSTDIR"

    SetShellVarContext all
    CreateDirectory "$SMPROGRAMS\Quellwipe"
    CreateShortcut "$SMPROGRAMS\Quellwipe\Quellwipe.lnk" "$INSTDIR\Quellwipe.exe"
    ; One help file for both languages: it opens in English and leads to
    ; the German part from its first page.
    CreateShortcut "$SMPROGRAMS\Quellwipe\$(HelpShortcut).lnk" "$INSTDIR\HLP\Quellwipe.chm"
    CreateShortcut "$SMPROGRAMS\Quellwipe\$(UninstallShortcut).lnk" "$INSTDIR\Uninstall.exe"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Quellwipe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${QW_VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${QW_PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Quellwipe.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Installer Language" "$LANGUAGE"
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${QW_SIZE_KB}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function un.onInit
    !insertmacro NativeRegistry
    !insertmacro MUI_UNGETLANGUAGE
    Call un.RefuseWhileRunning
FunctionEnd

Function un.OptionsShow
    !insertmacro MUI_HEADER_TEXT "$(OptionsTitle)" "$(OptionsSubtitle)"
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateLabel} 0 0 100% 36u "$(OptionsText)"
    Pop $0
    ${NSD_CreateCheckbox} 0 44u 100% 12u "$(RemoveSettings)"
    Pop $RemoveSettingsBox
    ${NSD_SetState} $RemoveSettingsBox $RemoveSettings
    nsDialogs::Show
FunctionEnd

Function un.OptionsLeave
    ${NSD_GetState} $RemoveSettingsBox $RemoveSettings
FunctionEnd

Function un.UnregisterDll
    !insertmacro RunRegsvr32 "/u"
    DetailPrint "regsvr32 /u $2: $1"
FunctionEnd

Section "Uninstall"
    !insertmacro NativeFiles
    StrCpy $2 "$SYSDIR\Taskloom.dll"
    Call un.UnregisterDll
    StrCpy $2 "$INSTDIR\Shellvane.dll"
    Call un.UnregisterDll
    Delete /REBOOTOK "$SYSDIR\Taskloom.dll"
    !insertmacro RedirectedFiles

    ; The Recycle Bin verb Quellwipe.exe writes at every start, in the
    ; 64-bit view where Explorer reads it; the keys above it go only if
    ; nothing else is in them.
    !if ${QW_ARCH} == x64
        SetRegView 64
    !else
        ${If} ${RunningX64}
            SetRegView 64
        ${EndIf}
    !endif
    DeleteRegKey HKCU "${RECYCLE_BIN_KEY}\shell\Quellwipe"
    DeleteRegKey /ifempty HKCU "${RECYCLE_BIN_KEY}\shell"
    DeleteRegKey /ifempty HKCU "${RECYCLE_BIN_KEY}"
    SetRegView default
    !insertmacro NativeRegistry

    SetShellVarContext all
    Delete "$SMPROGRAMS\Quellwipe\Quellwipe.lnk"
    ; Both languages' names: the install may have run in the other one.
    Delete "$SMPROGRAMS\Quellwipe\Quellwipe Help.lnk"
    Delete "$SMPROGRAMS\Quellwipe\Quellwipe-Hilfe.lnk"
    Delete "$SMPROGRAMS\Quellwipe\Uninstall Quellwipe.lnk"
    Delete "$SMPROGRAMS\Quellwipe\Quellwipe deinstallieren.lnk"
    RMDir "$SMPROGRAMS\Quellwipe"

    ${If} $RemoveSettings == ${BST_CHECKED}
        DeleteRegKey HKCU "${SETTINGS_KEY}"
        Delete "$INSTDIR\log.txt"
    ${EndIf}
    !insertmacro QW_REMOVE_FILES
    Delete "$INSTDIR\Uninstall.exe"
    ; Only when empty: the folder may hold the log or the user's own files.
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
