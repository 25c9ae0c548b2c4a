; The Windows installer of the Norvane BD Drive Utility. One installer for
; both kinds of Windows: it installs the x64 program on 64-bit Windows and
; the x86 one otherwise, into Program Files, with a Start menu shortcut, the
; help files beside the program and an entry in "Apps and features"; its
; uninstaller removes exactly what it installed. English or Japanese by the
; user's language; /S installs and uninstalls silently.
;
; scripts/release/assemble.sh builds it:
;   makensis -INPUTCHARSET UTF8 -DVERSION=a.b.c.d -DX86_DIR=... -DX64_DIR=...
;            -DFILES_DIR=<help files, readmes, licence> -DICON=... -DOUTFILE=...
;            [-DSIGN=<command that signs the file it is given>]

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include MUI2.nsh
!include x64.nsh
!include FileFunc.nsh
!include WinVer.nsh

!define PRODUCT "Norvane BD Drive Utility"
!define PUBLISHER "Norvane"
!define EXE "NorvaneDriveUtility.exe"
!define UNINSTALLER "Uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\NorvaneDriveUtility"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"

!ifdef SIGN
  ; Both the uninstaller, before it goes into the installer, and the installer.
  !uninstfinalize '"${SIGN}" "%1"' = 0
  !finalize '"${SIGN}" "%1"' = 0
!endif

Name "${PRODUCT}"
OutFile "${OUTFILE}"
; Chosen in .onInit by the kind of Windows, unless /D= gave a folder.
InstallDir ""
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "Copyright (C) 2026 ${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"

!insertmacro MUI_PAGE_LICENSE "${FILES_DIR}\License.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The first language is the one for users of any other language.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Japanese"

LangString NeedsWindows7 ${LANG_ENGLISH} "${PRODUCT} needs Windows 7 or later."
LangString NeedsWindows7 ${LANG_JAPANESE} "${PRODUCT} には Windows 7 以降が必要です。"

; Every file the program folder gets, apart from the program and the uninstaller.
!macro ForEachFile Command
  ${Command} "NorvaneDriveUtility_English.chm"
  ${Command} "NorvaneDriveUtility_Japanese.chm"
  ${Command} "QDM-LT58_English.chm"
  ${Command} "QDM-LT58_Japanese.chm"
  ${Command} "ReadMe_English.txt"
  ${Command} "ReadMe_Japanese.txt"
  ${Command} "License.txt"
!macroend
!macro InstallFile Name
  File "${FILES_DIR}\${Name}"
!macroend
!macro RemoveFile Name
  Delete "$INSTDIR\${Name}"
!macroend

Function .onInit
  ${IfNot} ${AtLeastWin7}
    MessageBox MB_OK|MB_ICONSTOP "$(NeedsWindows7)" /SD IDOK
    Abort
  ${EndIf}
  ${If} ${RunningX64}
    SetRegView 64
    ${If} $INSTDIR == ""
      StrCpy $INSTDIR "$PROGRAMFILES64\Norvane\BD Drive Utility"
    ${EndIf}
  ${ElseIf} $INSTDIR == ""
    StrCpy $INSTDIR "$PROGRAMFILES\Norvane\BD Drive Utility"
  ${EndIf}
FunctionEnd

Section
  SetOutPath "$INSTDIR"
  ${If} ${RunningX64}
    File "${X64_DIR}\${EXE}"
  ${Else}
    File "${X86_DIR}\${EXE}"
  ${EndIf}
  !insertmacro ForEachFile "!insertmacro InstallFile"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  ; For every user, as the program is in Program Files for every user.
  SetShellVarContext all
  CreateShortcut "${SHORTCUT}" "$INSTDIR\${EXE}"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "${SHORTCUT}"
  Delete "$INSTDIR\${EXE}"
  !insertmacro ForEachFile "!insertmacro RemoveFile"
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Only folders left empty: never anything the user put there.
  RMDir "$INSTDIR"
  ${GetParent} "$INSTDIR" $0
  ${GetFileName} "$0" $1
  ${If} $1 == "Norvane"
    RMDir "$0"
  ${EndIf}
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
