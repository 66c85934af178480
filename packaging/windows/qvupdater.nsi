; The Windows installer: puts the wizard qvupdater.exe, the command-line tool qvupdate.exe and
; hidapi.dll into Program Files, adds a Start-menu shortcut to the wizard and an entry under
; Add/Remove Programs, and writes an uninstaller that takes all of it away again. Both run
; silently with /S.
;
;   makensis -DVERSION=1.2 -DDIST=build-windows/dist -DICON=app_icon.ico \
;            -DOUTFILE=build-windows/qvupdater-1.2-setup.exe packaging/windows/qvupdater.nsi
;
; scripts/build-windows runs it.

; A 64-bit installer, like the programs it installs: it runs where they run (a 32-bit one would
; need the 32-bit subsystem, which wine on a 64-bit-only machine lacks) and sees the 64-bit
; Program Files and registry without redirection.
Target amd64-unicode

!macro Required NAME
  !ifndef ${NAME}
    !error "give -D${NAME}=... (see the head of this file)"
  !endif
!macroend
!insertmacro Required VERSION
!insertmacro Required DIST
!insertmacro Required ICON
!insertmacro Required OUTFILE

!include "LogicLib.nsh"
!include "x64.nsh"

!define PRODUCT "QV firmware updater"
!define FOLDER "QV Updater"
!define SHORTCUT "$SMPROGRAMS\QV firmware updater.lnk"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QVUpdater"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$PROGRAMFILES64\${FOLDER}"
; Program Files and the machine's uninstall entries need an administrator.
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; The programs are 64-bit: their folder, the registry view and the Start menu are the 64-bit
; system's, for every user.
Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} needs a 64-bit Windows." /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Install"
  SetOutPath "$INSTDIR"
  File "${DIST}/qvupdater.exe"
  File "${DIST}/qvupdate.exe"
  File "${DIST}/hidapi.dll"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "${SHORTCUT}" "$INSTDIR\qvupdater.exe" "" "$INSTDIR\qvupdater.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "QV"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\qvupdater.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Removes exactly what the installer put there; the folder goes only when nothing else is left
; in it.
Section "Uninstall"
  Delete "$INSTDIR\qvupdater.exe"
  Delete "$INSTDIR\qvupdate.exe"
  Delete "$INSTDIR\hidapi.dll"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "${SHORTCUT}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
