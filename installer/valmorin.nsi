; Valmorin's setup program: a per-user installation without administrator
; rights, in German. scripts/package builds it with
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.0.0.0 -DPROGRAM=...\Valmorin.exe
;            -DOUTFILE=...\Valmorin-1.0.0-Setup.exe installer/valmorin.nsi
;
; Command line of the setup program:
;   /S              silent
;   /AUTOSTART      with the component "Beim Anmelden starten"
;   /AUTOSTART=0    without it
;   /D=<folder>     the installation folder (last, unquoted)
; Without /AUTOSTART the component starts as the last installation left it
; (off on a first installation), so that a silent update keeps it.
; Command line of Uninstall.exe:
;   /S              silent; the watch list and the settings stay
;   /REMOVEDATA     removes them too (the page's box, ticked)

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!ifndef VERSION | PROGRAM | OUTFILE
    !error "VERSION, PROGRAM and OUTFILE must be defined (see scripts/package)"
!endif

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "Sections.nsh"
!include "WinMessages.nsh"

!define PRODUCT "Valmorin"
!define PUBLISHER "Brennick Software"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; The program's main window: its class and caption.
!define MAIN_CLASS "TValmorinForm"
!define MAIN_CAPTION "Brennick Valmorin 1.0"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
; An update goes where the last installation went.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

; Relative paths are from this folder, where makensis works.
!define MUI_ICON "../res/valmorin.ico"
!define MUI_UNICON "../res/valmorin.ico"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_SMALLDESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\Valmorin.exe"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!define MUI_COMPONENTSPAGE_TEXT_TOP "Die Liste der überwachten Verzeichnisse und die Einstellungen bleiben erhalten, solange das Kästchen leer ist."
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "German"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_GERMAN} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_GERMAN} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_GERMAN} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_GERMAN} "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=${LANG_GERMAN} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_GERMAN} "LegalCopyright" "© ${PUBLISHER}"

; A running Valmorin holds its program file and keeps its watch list in
; memory: it is asked to close as its own close box would, which also saves
; its settings, and given a few seconds for it.
!macro CloseRunningValmorin
    FindWindow $0 "${MAIN_CLASS}" "${MAIN_CAPTION}"
    ${If} $0 <> 0
        MessageBox MB_OKCANCEL|MB_ICONINFORMATION "Valmorin läuft noch und wird jetzt beendet." /SD IDOK IDOK +2
        Abort
        SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
        ${For} $1 1 50
            Sleep 100
            FindWindow $0 "${MAIN_CLASS}" "${MAIN_CAPTION}"
            ${IfThen} $0 = 0 ${|} ${ExitFor} ${|}
        ${Next}
        ; Its process may still hold the file for a moment after the window.
        Sleep 500
    ${EndIf}
!macroend

Section "Valmorin (erforderlich)" SecProgram
    SectionIn RO
    !insertmacro CloseRunningValmorin
    SetOutPath "$INSTDIR"
    File "/oname=Valmorin.exe" "${PROGRAM}"
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\Valmorin.exe" "" \
        "$INSTDIR\Valmorin.exe" 0 SW_SHOWNORMAL "" "Verzeichnisse überwachen"
SectionEnd

Section "Beim Anmelden starten (Überwachung sofort aktiv)" SecAutostart
    WriteRegStr HKCU "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\Valmorin.exe" -mini'
SectionEnd

Section "-Registration"
    ${IfNot} ${SectionIsSelected} ${SecAutostart}
        DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
    ${EndIf}
    ; One key, whatever was installed before: an update replaces the entry.
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Valmorin.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    IntFmt $0 "0x%08X" $0
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "Das Programm und sein Eintrag im Startmenü."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecAutostart} "Startet Valmorin mit -mini bei jeder Anmeldung an Windows: die Überwachung beginnt sofort."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function .onInit
    SetShellVarContext current
    ReadRegStr $0 HKCU "${RUN_KEY}" "${PRODUCT}"
    ${If} $0 != ""
        !insertmacro SelectSection ${SecAutostart}
    ${Else}
        !insertmacro UnselectSection ${SecAutostart}
    ${EndIf}
    ${GetParameters} $1
    ClearErrors
    ${GetOptions} $1 "/AUTOSTART" $2
    ${IfNot} ${Errors}
        ${If} $2 == "=0"
            !insertmacro UnselectSection ${SecAutostart}
        ${Else}
            !insertmacro SelectSection ${SecAutostart}
        ${EndIf}
    ${EndIf}
FunctionEnd

Section "-un.Valmorin"
    !insertmacro CloseRunningValmorin
    Delete "$INSTDIR\Valmorin.exe"
    Delete "$INSTDIR\Uninstall.exe"
    ; Only when empty: a folder chosen with /D may hold more than ours.
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

Section /o "un.Überwachungsliste und Einstellungen löschen" SecData
    RMDir /r "$APPDATA\Brennick\Valmorin"
    RMDir "$APPDATA\Brennick"
    DeleteRegKey HKCU "Software\Valmorin"
SectionEnd

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecData} "Löscht auch options.dat in %APPDATA%\Brennick\Valmorin und die Einstellungen in der Registry."
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END

Function un.onInit
    SetShellVarContext current
    ${GetParameters} $1
    ClearErrors
    ${GetOptions} $1 "/REMOVEDATA" $2
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${SecData}
    ${EndIf}
FunctionEnd
