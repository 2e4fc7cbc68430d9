; The Windows installer of Ordix: 64-bit, Russian, silent with /S and a
; folder given with /D=. Made by scripts/windows/make-installer.sh, which
; passes VERSION, STAGE (the folder of files to install), FILELIST (the
; uninstaller's list of those files) and OUTFILE.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "x64.nsh"

Name "Ordix ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Ordix"
InstallDirRegKey HKLM "Software\Ordix" "InstallDir"
RequestExecutionLevel admin
BrandingText "Ordix ${VERSION}"

!define MUI_ICON "${STAGE}\ordix.ico"
!define MUI_UNICON "${STAGE}\ordix.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\ordix.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Запустить Ordix"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Ordix"

Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Ordix" SecMain
  SectionIn RO
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The program keeps user.ini, the price list and the orders in its current
  ; folder: a folder of the user's own, where the shortcuts start it.
  CreateDirectory "$DOCUMENTS\Ordix"
  SetOutPath "$DOCUMENTS\Ordix"
  CreateDirectory "$SMPROGRAMS\Ordix"
  CreateShortcut "$SMPROGRAMS\Ordix\Ordix.lnk" "$INSTDIR\ordix.exe" "" "$INSTDIR\ordix.exe" 0 \
    SW_SHOWNORMAL "" "Заказ по прайс-листу поставщика"
  CreateShortcut "$SMPROGRAMS\Ordix\Справка Ordix.lnk" "$INSTDIR\readme.html"
  CreateShortcut "$SMPROGRAMS\Ordix\Удалить Ordix.lnk" "$INSTDIR\uninstall.exe"
  SetOutPath "$INSTDIR"

  WriteRegStr HKLM "Software\Ordix" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Ordix"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\ordix.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section /o "Ярлык на рабочем столе" SecDesktop
  SetOutPath "$DOCUMENTS\Ordix"
  CreateShortcut "$DESKTOP\Ordix.lnk" "$INSTDIR\ordix.exe" "" "$INSTDIR\ordix.exe" 0
  SetOutPath "$INSTDIR"
SectionEnd

Section "Uninstall"
  ; Exactly the files the installer put there; the user's folder with its
  ; price lists, orders and user.ini stays.
  !include "${FILELIST}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Ordix\Ordix.lnk"
  Delete "$SMPROGRAMS\Ordix\Справка Ordix.lnk"
  Delete "$SMPROGRAMS\Ordix\Удалить Ordix.lnk"
  RMDir "$SMPROGRAMS\Ordix"
  Delete "$DESKTOP\Ordix.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\Ordix"
SectionEnd
