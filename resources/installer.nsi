; The Windows installer, Sumvane-<version>-setup.exe, made by makensis from
; the i686 build (cmake/Installer.cmake passes every !define below).
;
; For all users (an administrator; the default when the account may) it
; installs into Program Files, the Start-menu entry for every user, the
; context-menu entry "Sumvane" for every user and the "Apps & features"
; entry under HKLM; for the current user alone (/CurrentUser, or an
; account without administrator rights) into %LOCALAPPDATA%\Programs and
; under HKCU. The 32-bit program goes everywhere; on 64-bit Windows the
; 64-bit one goes beside it as Sumvane64.exe. The uninstaller takes away
; every file, folder, shortcut and key it made.
;
;   Sumvane-<version>-setup.exe /S                 silent, for all users
;   Sumvane-<version>-setup.exe /S /CurrentUser    silent, for you alone
;   "<folder>\Uninstall.exe" /S                    silent removal

Unicode true
ManifestDPIAware true
RequestExecutionLevel highest
SetCompressor /SOLID lzma

!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Sumvane"
!define VERB_KEY "Software\Classes\*\shell\Sumvane"

Name "Sumvane ${VERSION}"
OutFile "${OUTPUT}"
Icon "${SOURCE_DIR}\resources\sumvane.ico"
UninstallIcon "${SOURCE_DIR}\resources\sumvane.ico"
BrandingText "Sumvane ${VERSION}"
InstallDir "$PROGRAMFILES\Sumvane"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 ProductName "Sumvane"
VIAddVersionKey /LANG=1033 ProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 FileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 CompanyName "${MAKER}"
VIAddVersionKey /LANG=1033 FileDescription "Sumvane ${VERSION} setup"
VIAddVersionKey /LANG=1033 LegalCopyright "Copyright (C) ${MAKER}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var AllUsers

; Sets the shell context (SHCTX, $SMPROGRAMS) and, unless given by /D, the
; folder for the mode chosen.
!macro UseMode un
Function ${un}UseMode
    ${If} $AllUsers == 1
        SetShellVarContext all
    ${Else}
        SetShellVarContext current
    ${EndIf}
FunctionEnd
!macroend
!insertmacro UseMode ""
!insertmacro UseMode "un."

Function .onInit
    ; The 64-bit registry view on 64-bit Windows: the uninstall entry and
    ; the verb where the system's own programs read them.
    ${If} ${RunningX64}
        SetRegView 64
    ${EndIf}
    UserInfo::GetAccountType
    Pop $0
    StrCpy $AllUsers 0
    ${If} $0 == "Admin"
        StrCpy $AllUsers 1
    ${EndIf}
    ${GetParameters} $1
    ClearErrors
    ${GetOptions} $1 "/CurrentUser" $2
    ${IfNot} ${Errors}
        StrCpy $AllUsers 0
    ${ElseIf} $AllUsers == 1
    ${AndIfNot} ${Silent}
        MessageBox MB_YESNO|MB_ICONQUESTION \
            "Install Sumvane for every user of this computer?$\n$\nNo installs it for you alone." \
            /SD IDYES IDYES +2
        StrCpy $AllUsers 0
    ${EndIf}
    Call UseMode
    ; A folder given with /D stays as given.
    ${If} $INSTDIR == "$PROGRAMFILES\Sumvane"
        ${If} $AllUsers == 1
            ${If} ${RunningX64}
                StrCpy $INSTDIR "$PROGRAMFILES64\Sumvane"
            ${EndIf}
        ${Else}
            StrCpy $INSTDIR "$LOCALAPPDATA\Programs\Sumvane"
        ${EndIf}
    ${EndIf}
FunctionEnd

Section "Sumvane"
    SetOutPath "$INSTDIR"
    File "/oname=Sumvane.exe" "${WIN32_BUILD}\Sumvane.exe"
    File "/oname=SumvaneW.exe" "${WIN32_BUILD}\SumvaneW.exe"
    ${If} ${RunningX64}
        File "/oname=Sumvane64.exe" "${WIN64_BUILD}\Sumvane.exe"
    ${EndIf}
    File "/oname=Sumvane.chm" "${WIN32_BUILD}\help\Sumvane.chm"
    File "/oname=README.txt" "${WIN32_BUILD}\package\README.txt"
    File "/oname=sumvane-alerts.yml" "${WIN32_BUILD}\package\sumvane-alerts.yml"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    CreateDirectory "$SMPROGRAMS\Sumvane"
    CreateShortcut "$SMPROGRAMS\Sumvane\Sumvane Help.lnk" "$INSTDIR\Sumvane.chm"

    ; The context-menu entry, as Sumvane.exe -i writes it: the window
    ; program, so that no console opens, given the file after -z.
    WriteRegStr SHCTX "${VERB_KEY}\command" "" '"$INSTDIR\SumvaneW.exe" "-z%1"'

    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "Sumvane"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${MAKER}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "URLInfoAbout" "${WEB_ADDRESS}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Sumvane.exe"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    IntFmt $0 "0x%08X" $0
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Function un.onInit
    ${If} ${RunningX64}
        SetRegView 64
    ${EndIf}
    ; The mode of the install this uninstaller belongs to: the one whose
    ; entry names its folder.
    StrCpy $AllUsers 0
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == $INSTDIR
        StrCpy $AllUsers 1
    ${EndIf}
    Call un.UseMode
FunctionEnd

; Deletes the verb under ROOT when it is the one this install made.
!macro RemoveVerb ROOT
    ReadRegStr $0 ${ROOT} "${VERB_KEY}\command" ""
    ${If} $0 == '"$INSTDIR\SumvaneW.exe" "-z%1"'
        DeleteRegKey ${ROOT} "${VERB_KEY}"
    ${EndIf}
!macroend

Section "Uninstall"
    ; The installer's entry, and one Sumvane.exe -i made from this folder
    ; for the current user.
    !insertmacro RemoveVerb SHCTX
    !insertmacro RemoveVerb HKCU
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"

    Delete "$SMPROGRAMS\Sumvane\Sumvane Help.lnk"
    RMDir "$SMPROGRAMS\Sumvane"

    Delete "$INSTDIR\Sumvane.exe"
    Delete "$INSTDIR\SumvaneW.exe"
    Delete "$INSTDIR\Sumvane64.exe"
    Delete "$INSTDIR\Sumvane.chm"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\sumvane-alerts.yml"
    Delete "$INSTDIR\Uninstall.exe"
    ; Only when empty: a summary or a log someone kept there stays.
    RMDir "$INSTDIR"
SectionEnd
