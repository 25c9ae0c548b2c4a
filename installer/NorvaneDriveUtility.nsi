; The Windows installer of the Norvane BD Drive Utility. One installer for
; both kinds of Windows: it installs the x64 program on 64-bit Windows and
; the x86 one otherwise, into Program Files, with a Start menu shortcut, the
; help files beside the program and an entry in "Apps and features"; its
; uninstaller removes exactly what it installed. Beside the window goes
; norvane-drive.exe, the command-line tool; a component that is off unless
; chosen (or /AddToPath given) puts the program's folder on the system's
; PATH, and the uninstaller takes it off again. English or Japanese by the
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
!include WordFunc.nsh
!include WinMessages.nsh

!define PRODUCT "Norvane BD Drive Utility"
!define PUBLISHER "Norvane"
!define EXE "NorvaneDriveUtility.exe"
!define TOOL "norvane-drive.exe"
; The system's PATH, which every new console and script takes.
!define ENVIRONMENT_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
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
!insertmacro MUI_PAGE_COMPONENTS
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
LangString ProgramSection ${LANG_ENGLISH} "${PRODUCT} and norvane-drive"
LangString ProgramSection ${LANG_JAPANESE} "${PRODUCT} と norvane-drive"
LangString PathSection ${LANG_ENGLISH} "Add norvane-drive to PATH"
LangString PathSection ${LANG_JAPANESE} "norvane-drive を PATH に追加する"
LangString PathTooLong ${LANG_ENGLISH} "The system's PATH is too long for Setup to change it safely, so it was left as it is. To run norvane-drive from any prompt, add this folder to PATH yourself:$\r$\n$INSTDIR"
LangString PathTooLong ${LANG_JAPANESE} "システムの PATH が長すぎるため、安全に変更できません。PATH は変更していません。どのプロンプトからでも norvane-drive を実行するには、次のフォルダーを PATH に追加してください:$\r$\n$INSTDIR"
LangString PathLeft ${LANG_ENGLISH} "The system's PATH is too long to change safely, so this folder was left on it: $INSTDIR"
LangString PathLeft ${LANG_JAPANESE} "システムの PATH が長すぎるため、安全に変更できません。次のフォルダーは PATH に残っています: $INSTDIR"

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
  Call ChoosePathOnRequest
FunctionEnd

Section "$(ProgramSection)" ProgramSection
  SectionIn RO
  SetOutPath "$INSTDIR"
  ${If} ${RunningX64}
    File "${X64_DIR}\${EXE}"
    File "${X64_DIR}\${TOOL}"
  ${Else}
    File "${X86_DIR}\${EXE}"
    File "${X86_DIR}\${TOOL}"
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

; NSIS strings hold NSIS_MAX_STRLEN characters: a longer PATH reads as an
; error, and a PATH that would grow past it is not written, so a PATH is
; never cut short. The uninstaller removes the entry only where Setup added it.
Section /o "$(PathSection)" PathSection
  ClearErrors
  ReadRegStr $0 HKLM "${ENVIRONMENT_KEY}" "Path"
  StrLen $1 $0
  StrLen $2 "$INSTDIR;"
  IntOp $1 $1 + $2
  ${If} ${Errors}
  ${OrIf} $1 >= ${NSIS_MAX_STRLEN}
    MessageBox MB_OK|MB_ICONEXCLAMATION "$(PathTooLong)" /SD IDOK
    Return
  ${EndIf}
  ${WordAdd} "$0" ";" "+$INSTDIR" $1
  ${If} $1 != $0
    WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$1"
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "PathEntry" 1
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
  ${EndIf}
SectionEnd

; For unattended installations: /AddToPath chooses the PATH component.
Function ChoosePathOnRequest
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/AddToPath" $1
  ${IfNot} ${Errors}
    SectionSetFlags ${PathSection} ${SF_SELECTED}
  ${EndIf}
FunctionEnd


Function un.onInit
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ReadRegDWORD $0 HKLM "${UNINSTALL_KEY}" "PathEntry"
  ${If} $0 == 1
    ClearErrors
    ReadRegStr $1 HKLM "${ENVIRONMENT_KEY}" "Path"
    ${If} ${Errors}
      MessageBox MB_OK|MB_ICONEXCLAMATION "$(PathLeft)" /SD IDOK
    ${Else}
      ${un.WordAdd} "$1" ";" "-$INSTDIR" $2
      WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$2"
      SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
    ${EndIf}
  ${EndIf}

  SetShellVarContext all
  Delete "${SHORTCUT}"
  Delete "$INSTDIR\${EXE}"
  Delete "$INSTDIR\${TOOL}"
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
