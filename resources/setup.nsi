; The VELMO 2 installer. makensis is given:
;   ARCH     win32 or win64
;   VERSION  the program version, e.g. 2.0.1
;   STAGE    the folder holding the files to install
;   ICON     the program's icon, also the installer's and the uninstaller's
;   OUTFILE  the installer to write
; and, to sign, SIGN: a command that signs the program file named after it

Unicode true
!if ${ARCH} == win64
    Target amd64-unicode
    InstallDir "$PROGRAMFILES64\VELMO 2"
!else
    Target x86-unicode
    InstallDir "$PROGRAMFILES\VELMO 2"
!endif

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh

!define PRODUCT "VELMO 2"
!define MAKER "Mondrel Software"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VELMO 2"
!define SETTINGS_KEY "Software\Mondrel\VELMO 2"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
!ifdef SIGN
    ; The uninstaller as makensis writes it, before it is packed; then the installer
    !uninstfinalize `${SIGN} "%1"` = 0
    !finalize `${SIGN} "%1"` = 0
!endif
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show
BrandingText " "
; The folder of a copy already installed, unless /D= says otherwise. Read in the
; installer's own view: the 64-bit one for win64, the 32-bit one for win32
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 ProductName "${PRODUCT}"
VIAddVersionKey /LANG=1033 ProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 CompanyName "${MAKER}"
VIAddVersionKey /LANG=1033 LegalCopyright "Copyright (C) 2026 ${MAKER}"
VIAddVersionKey /LANG=1033 FileDescription "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 FileVersion "${VERSION}"

Var Welcome  ; the Welcome page's text: a new install or an upgrade
Var Upgrade  ; 1 when installing over a copy in $INSTDIR

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

!define MUI_WELCOMEPAGE_TEXT "$Welcome"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!define MUI_PAGE_CUSTOMFUNCTION_SHOW ShowDirectory
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Run ${PRODUCT}"
!define MUI_FINISHPAGE_RUN_FUNCTION RunProgram
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; Every file the installer puts down; the uninstaller removes exactly these
!macro Files action
    !insertmacro ${action} VELMO.exe
    !insertmacro ${action} VELMO.HLP
    !insertmacro ${action} VELMO.cnt
    !insertmacro ${action} VELMO.chm
    !insertmacro ${action} README.txt
    !insertmacro ${action} LICENSE.txt
    !insertmacro ${action} CHANGES.TXT
    !insertmacro ${action} 0.wav
    !insertmacro ${action} 1.wav
    !insertmacro ${action} 2.wav
    !insertmacro ${action} 3.wav
    !insertmacro ${action} 4.wav
    !insertmacro ${action} 5.wav
    !insertmacro ${action} 6.wav
    !insertmacro ${action} 7.wav
    !insertmacro ${action} 8.wav
    !insertmacro ${action} 9.wav
    !insertmacro ${action} point.wav
    !insertmacro ${action} plus.wav
    !insertmacro ${action} minus.wav
    !insertmacro ${action} e.wav
    !insertmacro ${action} enter.wav
    !insertmacro ${action} back.wav
    !insertmacro ${action} add.wav
    !insertmacro ${action} sub.wav
    !insertmacro ${action} mult.wav
    !insertmacro ${action} div.wav
    !insertmacro ${action} raise.wav
    !insertmacro ${action} recip.wav
    !insertmacro ${action} ch_sgn.wav
    !insertmacro ${action} sqrt.wav
    !insertmacro ${action} square.wav
    !insertmacro ${action} swap.wav
    !insertmacro ${action} drop.wav
    !insertmacro ${action} clear.wav
    !insertmacro ${action} error.wav
!macroend

!macro Put name
    File "${STAGE}\${name}"
!macroend

!macro Remove name
    Delete "$INSTDIR\${name}"
!macroend

Function .onInit
    SetShellVarContext all
!if ${ARCH} == win64
    SetRegView 64
!endif
    StrCpy $Upgrade 0
    StrCpy $Welcome "Setup will install version ${VERSION} of ${PRODUCT}, the Reverse Polish Notation calculator by ${MAKER}, on your computer.$\r$\n$\r$\nClick Next to continue."
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "DisplayVersion"
    ${If} $0 != ""
    ${AndIf} $0 == $INSTDIR
    ${AndIf} ${FileExists} "$INSTDIR\VELMO.exe"
        StrCpy $Upgrade 1
        StrCpy $Welcome "Setup will upgrade ${PRODUCT} from version $1 to version ${VERSION}, in the folder where it is installed:$\r$\n$\r$\n$INSTDIR$\r$\n$\r$\nYour settings are kept. Close ${PRODUCT} if it is running, then click Next to continue."
    ${EndIf}
FunctionEnd

; An upgrade stays in the installed copy's folder: shown, not to be changed
Function ShowDirectory
    ${If} $Upgrade == 1
        !insertmacro MUI_HEADER_TEXT "Upgrade Location" "${PRODUCT} is upgraded in the folder where it is installed."
        SendMessage $mui.DirectoryPage.Text ${WM_SETTEXT} 0 "STR:Setup will upgrade ${PRODUCT} in the following folder. Click Install to start the upgrade."
        EnableWindow $mui.DirectoryPage.Directory 0
        EnableWindow $mui.DirectoryPage.BrowseButton 0
    ${EndIf}
FunctionEnd

; Setup runs elevated, the program must not: a second explorer.exe hands the Start-menu
; shortcut to the user's running shell, which opens it unelevated, as a click on it would.
; The shortcut starts the program in its folder, where it finds its wave files
Function RunProgram
    Exec '"$WINDIR\explorer.exe" "$SMPROGRAMS\${PRODUCT}.lnk"'
FunctionEnd

Function un.onInit
    SetShellVarContext all
!if ${ARCH} == win64
    SetRegView 64
!endif
FunctionEnd

Section "VELMO 2"
    SetOutPath "$INSTDIR"
    !insertmacro Files Put
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; The shortcut starts the program in its folder, where it finds its sounds
    CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\VELMO.exe" "" "$INSTDIR\VELMO.exe" 0

    ; Over an existing copy the same key is written again: one entry. The user's
    ; settings (HKCU) are not touched
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${MAKER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\VELMO.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    ; _?= runs the uninstaller in place: without it, it would run a copy of itself
    ; that Windows is asked to delete at the next start
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" _?=$INSTDIR'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
    !insertmacro Files Remove
    ; Fails while it runs from here (_?=, as Add/Remove runs it): see un.onUninstSuccess
    Delete "$INSTDIR\uninstall.exe"
    ; What the help viewer may have made beside the help file
    Delete "$INSTDIR\VELMO.GID"
    Delete "$INSTDIR\VELMO.FTS"
    Delete "$INSTDIR\VELMO.FTG"
    ; Only when empty: files the user put there stay
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"

    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    ; The Sound setting of the user who uninstalls
    DeleteRegKey HKCU "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKCU "Software\Mondrel"
SectionEnd

; Run in place, uninstall.exe cannot be deleted while it runs, nor its folder removed.
; A hidden cmd.exe tries each second, for a minute, until we have exited; nothing is
; left for the next start of Windows
Function un.onUninstSuccess
    ${If} ${FileExists} "$INSTDIR\uninstall.exe"
        SetOutPath "$TEMP"  ; our current folder, and cmd's, must not be the one to remove
        ExecShell "" "$SYSDIR\cmd.exe" '/d /q /c for /l %i in (1,1,60) do (del /f /q "$INSTDIR\uninstall.exe" 2>nul & if not exist "$INSTDIR\uninstall.exe" (rmdir "$INSTDIR" 2>nul & exit) & "$SYSDIR\ping.exe" -n 2 127.0.0.1 >nul)' SW_HIDE
    ${EndIf}
FunctionEnd
