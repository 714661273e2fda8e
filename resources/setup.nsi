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
!else
    Target x86-unicode
!endif

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include nsDialogs.nsh

!define PRODUCT "VELMO 2"
!define MAKER "Mondrel Software"
; Under HKCU for a copy installed just for one user, under HKLM for everyone
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VELMO 2"
!define SETTINGS_KEY "Software\Mondrel\VELMO 2"
; SHELLEXECUTEINFOW: its size and where its hProcess is
!if ${ARCH} == win64
    !define SEI_SIZE 112
    !define SEI_HPROCESS 104
!else
    !define SEI_SIZE 60
    !define SEI_HPROCESS 56
!endif

Name "${PRODUCT}"
OutFile "${OUTFILE}"
; No rights asked for at the start: "Just me" needs none, and "Everyone" starts
; this program again with administrator rights (Elevate)
RequestExecutionLevel user
!ifdef SIGN
    ; The uninstaller as makensis writes it, before it is packed; then the installer
    !uninstfinalize `${SIGN} "%1"` = 0
    !finalize `${SIGN} "%1"` = 0
!endif
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show
BrandingText " "
; No InstallDir: .onInit tells a folder given with /D= by $INSTDIR not being empty

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 ProductName "${PRODUCT}"
VIAddVersionKey /LANG=1033 ProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 CompanyName "${MAKER}"
VIAddVersionKey /LANG=1033 LegalCopyright "Copyright (C) 2026 ${MAKER}"
VIAddVersionKey /LANG=1033 FileDescription "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 FileVersion "${VERSION}"

Var Welcome  ; the Welcome page's text: a new install or an upgrade
Var Upgrade  ; 1 when installing over a copy in $INSTDIR
Var Scope    ; "all" for everyone (HKLM, Program Files), "user" for just me
Var Chosen   ; 1 when the command line or an installed copy chose the scope
Var Folder   ; the folder given with /D=, or empty
Var Again    ; 1 in the copy started again with administrator rights (/ELEVATED)
Var ScopePage.All
Var ScopePage.User

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipSeen
!define MUI_WELCOMEPAGE_TEXT "$Welcome"
!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipSeen
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
Page custom ScopePage ScopePageLeave
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

; $Scope from /ALLUSERS or /CURRENTUSER in the parameters $R0; Chosen 1 if one is there
!macro ScopeFromCommandLine
    StrCpy $Scope ""
    StrCpy $Chosen 0
    ClearErrors
    ${GetOptions} $R0 "/ALLUSERS" $R1
    ${IfNot} ${Errors}
        StrCpy $Scope all
        StrCpy $Chosen 1
    ${EndIf}
    ClearErrors
    ${GetOptions} $R0 "/CURRENTUSER" $R1
    ${IfNot} ${Errors}
        ${If} $Scope == all
            MessageBox MB_OK|MB_ICONSTOP "Give either /ALLUSERS or /CURRENTUSER, not both." /SD IDOK
            SetErrorLevel 2
            Quit
        ${EndIf}
        StrCpy $Scope user
        StrCpy $Chosen 1
    ${EndIf}
!macroend

; Shell folders ($SMPROGRAMS) and SHCTX for $Scope
!macro UseScopeFunction un
Function ${un}UseScope
    ${If} $Scope == all
        SetShellVarContext all
    ${Else}
        SetShellVarContext current
    ${EndIf}
FunctionEnd
!macroend
!insertmacro UseScopeFunction ""
!insertmacro UseScopeFunction "un."

; Runs this program again with administrator rights, Windows asking the user, with the
; parameters $R1, and waits for it. $R0: its exit code, or "" when it did not start
; (the user said no). Uses $7 to $9
!macro ElevateFunction un
Function ${un}Elevate
    StrCpy $R0 ""
    System::Call '*(&i${SEI_SIZE}) p .r9'
    ; SEE_MASK_NOCLOSEPROCESS: its process handle, to wait for it
    System::Call '*$9(i ${SEI_SIZE}, i 0x40, p $HWNDPARENT, w "runas", w "$EXEPATH", w r11, p 0, i ${SW_SHOWNORMAL})'
    System::Call 'shell32::ShellExecuteExW(p r9) i .r8'
    ${If} $8 <> 0
        System::Call '*$9(&i${SEI_HPROCESS}, p .r7)'
        System::Call 'kernel32::WaitForSingleObject(p r7, i -1)'
        System::Call 'kernel32::GetExitCodeProcess(p r7, *i .r10)'
        System::Call 'kernel32::CloseHandle(p r7)'
    ${EndIf}
    System::Free $9
FunctionEnd
!macroend
!insertmacro ElevateFunction ""
!insertmacro ElevateFunction "un."

; $R0: "Admin" when this process has administrator rights (elevated, or no UAC)
!macro RightsFunction un
Function ${un}Rights
    UserInfo::GetAccountType
    Pop $R0
FunctionEnd
!macroend
!insertmacro RightsFunction ""
!insertmacro RightsFunction "un."

Function .onInit
!if ${ARCH} == win64
    SetRegView 64
!endif
    StrCpy $Folder $INSTDIR
    ${GetParameters} $R0
    StrCpy $Again 0
    ClearErrors
    ${GetOptions} $R0 "/ELEVATED" $R1
    ${IfNot} ${Errors}
        StrCpy $Again 1
    ${EndIf}
    !insertmacro ScopeFromCommandLine
    ; Without one on the command line: the scope of a copy already installed, this
    ; user's first; otherwise just me, which the scope page offers to change
    ${If} $Scope == ""
        ReadRegStr $R1 HKCU "${UNINSTALL_KEY}" "InstallLocation"
        ReadRegStr $R2 HKLM "${UNINSTALL_KEY}" "InstallLocation"
        StrCpy $Scope user
        ${If} $R1 != ""
            StrCpy $Chosen 1
        ${ElseIf} $R2 != ""
            StrCpy $Scope all
            StrCpy $Chosen 1
        ${EndIf}
    ${EndIf}
    Call ApplyScope
    ; For everyone, as the command line or the installed copy says, without the rights:
    ; once more with them, before any page
    ${If} $Scope == all
        Call Rights
        ${If} $R0 != "Admin"
            StrCpy $R2 ""
            Call ElevateAgain
        ${EndIf}
    ${EndIf}
FunctionEnd

; The folder and the Welcome text for $Scope. A copy installed in this scope is upgraded
; in its folder, unless /D= names another
Function ApplyScope
    Call UseScope
    StrCpy $Upgrade 0
    ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
    ReadRegStr $1 SHCTX "${UNINSTALL_KEY}" "DisplayVersion"
    ${If} $Folder != ""
        StrCpy $INSTDIR $Folder
    ${ElseIf} $0 != ""
        StrCpy $INSTDIR $0
    ${ElseIf} $Scope == all
!if ${ARCH} == win64
        StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
!else
        StrCpy $INSTDIR "$PROGRAMFILES\${PRODUCT}"
!endif
    ${Else}
        StrCpy $INSTDIR "$LOCALAPPDATA\Programs\${PRODUCT}"
    ${EndIf}
    StrCpy $Welcome "Setup will install version ${VERSION} of ${PRODUCT}, the Reverse Polish Notation calculator by ${MAKER}, on your computer.$\r$\n$\r$\nClick Next to continue."
    ${If} $0 != ""
    ${AndIf} $0 == $INSTDIR
    ${AndIf} ${FileExists} "$INSTDIR\VELMO.exe"
        StrCpy $Upgrade 1
        StrCpy $Welcome "Setup will upgrade ${PRODUCT} from version $1 to version ${VERSION}, in the folder where it is installed:$\r$\n$\r$\n$INSTDIR$\r$\n$\r$\nYour settings are kept. Close ${PRODUCT} if it is running, then click Next to continue."
    ${EndIf}
FunctionEnd

; This installer again, for everyone, with administrator rights and the parameters $R2 added;
; this copy then ends with its exit code. Refused: back to the scope page when it asked
; ($R2 /ELEVATED), otherwise a message and exit code 2
Function ElevateAgain
    ${GetParameters} $R1
    StrCpy $R1 "/ALLUSERS $R2 $R1"
    ${If} $Folder != ""
        StrCpy $R1 "$R1 /D=$Folder"  ; /D= last, as it must be
    ${EndIf}
    HideWindow
    Call Elevate
    ${If} $R0 != ""
        SetErrorLevel $R0
        Quit
    ${EndIf}
    ${If} $R2 == ""
    ${OrIf} ${Silent}
        MessageBox MB_OK|MB_ICONSTOP "Installing ${PRODUCT} for everyone needs administrator rights." /SD IDOK
        SetErrorLevel 2
        Quit
    ${EndIf}
    BringToFront
FunctionEnd

; Started again with administrator rights: the Welcome and licence pages were seen already
Function SkipSeen
    ${If} $Again == 1
        Abort
    ${EndIf}
FunctionEnd

; For whom to install, unless the command line or an installed copy said so
Function ScopePage
    ${If} $Chosen == 1
        Abort
    ${EndIf}
    !insertmacro MUI_HEADER_TEXT "Choose Users" "Choose for whom to install ${PRODUCT}."
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateLabel} 0 0 100% 30u "Install ${PRODUCT} just for you, or for everyone who uses this computer? Installing for everyone needs administrator rights. Click Next to continue."
    Pop $0
    ${NSD_CreateRadioButton} 15u 40u -15u 12u "&Just for me (no administrator rights needed)"
    Pop $ScopePage.User
    ${NSD_OnClick} $ScopePage.User ScopeClicked
    ${NSD_CreateRadioButton} 15u 58u -15u 12u "&Everyone who uses this computer"
    Pop $ScopePage.All
    ${NSD_OnClick} $ScopePage.All ScopeClicked
    ${If} $Scope == all
        ${NSD_Check} $ScopePage.All
    ${Else}
        ${NSD_Check} $ScopePage.User
    ${EndIf}
    Push $ScopePage.All
    Call ScopeClicked
    nsDialogs::Show
FunctionEnd

; The shield on Next when it is to ask for administrator rights
Function ScopeClicked
    Pop $0  ; the control, when nsDialogs calls
    GetDlgItem $1 $HWNDPARENT 1
    ${NSD_GetState} $ScopePage.All $2
    Call Rights
    ${If} $2 == ${BST_CHECKED}
    ${AndIf} $R0 != "Admin"
        SendMessage $1 ${BCM_SETSHIELD} 0 1
    ${Else}
        SendMessage $1 ${BCM_SETSHIELD} 0 0
    ${EndIf}
FunctionEnd

Function ScopePageLeave
    GetDlgItem $1 $HWNDPARENT 1
    SendMessage $1 ${BCM_SETSHIELD} 0 0
    ${NSD_GetState} $ScopePage.All $2
    ${If} $2 == ${BST_CHECKED}
        StrCpy $Scope all
        Call Rights
        ${If} $R0 != "Admin"
            StrCpy $R2 "/ELEVATED"
            Call ElevateAgain
            Abort  ; refused: stay on this page
        ${EndIf}
    ${Else}
        StrCpy $Scope user
    ${EndIf}
    Call ApplyScope
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

; Setup may run elevated, the program must not: a second explorer.exe hands the Start-menu
; shortcut to the user's running shell, which opens it unelevated, as a click on it would.
; The shortcut starts the program in its folder, where it finds its wave files
Function RunProgram
    Exec '"$WINDIR\explorer.exe" "$SMPROGRAMS\${PRODUCT}.lnk"'
FunctionEnd

; The scope from the command line the entry gives (/ALLUSERS or /CURRENTUSER), else the one
; whose entry names this folder. For everyone without the rights: once more with them
Function un.onInit
!if ${ARCH} == win64
    SetRegView 64
!endif
    ${GetParameters} $R0
    !insertmacro ScopeFromCommandLine
    ${If} $Scope == ""
        ReadRegStr $R1 HKCU "${UNINSTALL_KEY}" "InstallLocation"
        ReadRegStr $R2 HKLM "${UNINSTALL_KEY}" "InstallLocation"
        StrCpy $Scope user
        ${If} $R1 != $INSTDIR
        ${AndIf} $R2 == $INSTDIR
            StrCpy $Scope all
        ${EndIf}
    ${EndIf}
    Call un.UseScope
    ${If} $Scope == all
        Call un.Rights
        ${If} $R0 != "Admin"
            ; In place, as this copy runs: _?= last
            ${GetParameters} $R1
            StrCpy $R1 "/ALLUSERS $R1 _?=$INSTDIR"
            Call un.Elevate
            ${If} $R0 == ""
                MessageBox MB_OK|MB_ICONSTOP "Removing ${PRODUCT} for everyone needs administrator rights." /SD IDOK
                StrCpy $R0 2
            ${EndIf}
            SetErrorLevel $R0
            Quit
        ${EndIf}
    ${EndIf}
FunctionEnd

Section "VELMO 2"
    SetOutPath "$INSTDIR"
    !insertmacro Files Put
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; The shortcut starts the program in its folder, where it finds its sounds
    CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\VELMO.exe" "" "$INSTDIR\VELMO.exe" 0

    ; Over an existing copy the same key is written again: one entry. The user's
    ; settings are not touched. SHCTX: HKLM for everyone, HKCU for just me
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${MAKER}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\VELMO.exe,0"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    ; _?= runs the uninstaller in place: without it, it would run a copy of itself
    ; that Windows is asked to delete at the next start. The scope tells it which entry
    ; and shortcut are its own
    ${If} $Scope == all
        StrCpy $0 "/ALLUSERS"
    ${Else}
        StrCpy $0 "/CURRENTUSER"
    ${EndIf}
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" $0 _?=$INSTDIR'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S $0 _?=$INSTDIR'
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
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
    Call un.ProgramsFolder
    ${If} $R3 != ""
        RMDir $R3
    ${EndIf}
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"

    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
    ; The Sound setting of the user who uninstalls
    DeleteRegKey HKCU "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKCU "Software\Mondrel"
SectionEnd

; $R3: the user's Programs folder when just me installed into it, else empty. Removed only
; when nothing else is left in it
Function un.ProgramsFolder
    StrCpy $R3 ""
    ${If} $Scope == user
    ${AndIf} $INSTDIR == "$LOCALAPPDATA\Programs\${PRODUCT}"
        StrCpy $R3 "$LOCALAPPDATA\Programs"
    ${EndIf}
FunctionEnd

; Run in place, uninstall.exe cannot be deleted while it runs, nor its folder removed.
; A hidden cmd.exe tries each second, for a minute, until we have exited; nothing is
; left for the next start of Windows
Function un.onUninstSuccess
    ${If} ${FileExists} "$INSTDIR\uninstall.exe"
        SetOutPath "$TEMP"  ; our current folder, and cmd's, must not be the one to remove
        Call un.ProgramsFolder
        ${If} $R3 != ""
            StrCpy $R3 '& rmdir "$R3" 2>nul '
        ${EndIf}
        ExecShell "" "$SYSDIR\cmd.exe" '/d /q /c for /l %i in (1,1,60) do (del /f /q "$INSTDIR\uninstall.exe" 2>nul & if not exist "$INSTDIR\uninstall.exe" (rmdir "$INSTDIR" 2>nul $R3& exit) & "$SYSDIR\ping.exe" -n 2 127.0.0.1 >nul)' SW_HIDE
    ${EndIf}
FunctionEnd
