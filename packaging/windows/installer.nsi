; Pellmora's installer for 64-bit Windows, for the user who runs it (no
; administrator needed): the programs and their run-time files in
; %LOCALAPPDATA%\Programs\Pellmora, Start-menu entries for Pellmora and
; Pellmora Sweep, pellmora-sweep on the user's PATH if asked (the
; component, or /PATH with /S), and an uninstaller in Apps & features.
; makensis -DVERSION=0.0.0 -DSTAGE=folder -DOUTFILE=setup.exe -DICON=pellmora.ico -DUNINSTALL_LIST=files.nsh installer.nsi
; UNINSTALL_LIST names what STAGE holds (Delete and RMDir lines, deepest
; first), so that the uninstaller takes away those and nothing else.

; A 64-bit installer, as the programs are: it runs where they run.
Target amd64-unicode
SetCompressor /SOLID lzma
!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "StrFunc.nsh"
${StrStr}
${UnStrRep}

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Pellmora"

Name "Pellmora ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Pellmora"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel user
Icon "${ICON}"
UninstallIcon "${ICON}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Pellmora"
VIAddVersionKey "CompanyName" "Pellmora developers"
VIAddVersionKey "FileDescription" "Pellmora ${VERSION} setup"
VIAddVersionKey "FileVersion" "${VERSION}.0"
VIAddVersionKey "ProductVersion" "${VERSION}.0"
VIAddVersionKey "LegalCopyright" ""

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Pellmora and Pellmora Sweep" SectionPrograms
    SectionIn RO
    SetOutPath "$INSTDIR"
    File /r "${STAGE}\*.*"
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    CreateDirectory "$SMPROGRAMS\Pellmora"
    CreateShortcut "$SMPROGRAMS\Pellmora\Pellmora.lnk" "$INSTDIR\Pellmora.exe"
    CreateShortcut "$SMPROGRAMS\Pellmora\Pellmora Sweep.lnk" "$INSTDIR\pellmora-sweep-window.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Pellmora"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Pellmora developers"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Pellmora.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" "$\"$INSTDIR\Uninstall.exe$\""
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" "$\"$INSTDIR\Uninstall.exe$\" /S"
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    IntFmt $0 "0x%08X" $0
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section /o "Put pellmora-sweep on the PATH" SectionPath
    ReadRegStr $0 HKCU "Environment" "Path"
    ${StrStr} $1 "$0;" "$INSTDIR;"
    ${If} $1 == ""
        ${If} $0 == ""
            WriteRegExpandStr HKCU "Environment" "Path" "$INSTDIR"
        ${Else}
            WriteRegExpandStr HKCU "Environment" "Path" "$0;$INSTDIR"
        ${EndIf}
        SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
    ${EndIf}
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "OnPath" 1
SectionEnd

LangString DESC_Programs ${LANG_ENGLISH} "The programs, their Qt and MinGW run-time files, and Start-menu entries."
LangString DESC_Path ${LANG_ENGLISH} "So that a command prompt or a script finds pellmora-sweep by its name."
!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SectionPrograms} $(DESC_Programs)
    !insertmacro MUI_DESCRIPTION_TEXT ${SectionPath} $(DESC_Path)
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; A silent install (/S) asks nothing: /PATH puts pellmora-sweep on the PATH.
Function .onInit
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/PATH" $1
    ${IfNot} ${Errors}
        SectionSetFlags ${SectionPath} ${SF_SELECTED}
    ${EndIf}
FunctionEnd

Section "Uninstall"
    ReadRegDWORD $0 HKCU "${UNINSTALL_KEY}" "OnPath"
    ${If} $0 == 1
        ReadRegStr $1 HKCU "Environment" "Path"
        ${UnStrRep} $1 "$1" ";$INSTDIR" ""
        ${UnStrRep} $1 "$1" "$INSTDIR;" ""
        ${UnStrRep} $1 "$1" "$INSTDIR" ""
        WriteRegExpandStr HKCU "Environment" "Path" "$1"
        SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
    ${EndIf}
    Delete "$SMPROGRAMS\Pellmora\Pellmora.lnk"
    Delete "$SMPROGRAMS\Pellmora\Pellmora Sweep.lnk"
    RMDir "$SMPROGRAMS\Pellmora"
    ; What was installed, and the folder where nothing else was put there.
    !include "${UNINSTALL_LIST}"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
