; The VELMO 2 installer. makensis is given:
;   ARCH     win32 or win64
;   VERSION  the program version, e.g. 2.0.1
;   STAGE    the folder holding the files to install
;   OUTFILE  the installer to write

Unicode true
!if ${ARCH} == win64
    Target amd64-unicode
    InstallDir "$PROGRAMFILES64\VELMO 2"
!else
    Target x86-unicode
    InstallDir "$PROGRAMFILES\VELMO 2"
!endif

!define PRODUCT "VELMO 2"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VELMO 2"
!define SETTINGS_KEY "Software\Mondrel\VELMO 2"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show
LicenseData "${STAGE}\LICENSE.txt"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 ProductName "${PRODUCT}"
VIAddVersionKey /LANG=1033 CompanyName "Mondrel Software"
VIAddVersionKey /LANG=1033 LegalCopyright "Copyright (C) 2026 Mondrel Software"
VIAddVersionKey /LANG=1033 FileDescription "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 FileVersion "${VERSION}"

Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Every file the installer puts down; the uninstaller removes exactly these
!macro Files action
    !insertmacro ${action} VELMO.exe
    !insertmacro ${action} VELMO.HLP
    !insertmacro ${action} VELMO.cnt
    !insertmacro ${action} README.txt
    !insertmacro ${action} LICENSE.txt
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
FunctionEnd

Function un.onInit
    SetShellVarContext all
FunctionEnd

Section "VELMO 2"
    SetOutPath "$INSTDIR"
    !insertmacro Files Put
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; The shortcut starts the program in its folder, where it finds its sounds
    CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\VELMO.exe" "" "$INSTDIR\VELMO.exe" 0

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Mondrel Software"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\VELMO.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    !insertmacro Files Remove
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

    ; This runs from a copy in a temporary folder, which Windows deletes at the
    ; next start; the folder, once empty, goes after it
    StrCmp $EXEDIR $INSTDIR +2
        RMDir /REBOOTOK "$EXEDIR"
SectionEnd
