; The Windows installer: puts the wizard qvupdater.exe, the command-line tool qvupdate.exe,
; hidapi.dll, the read-me, the licence notices and the simulated device into Program Files,
; adds a Start-menu shortcut that opens the wizard's file dialog, offers the wizard under
; "Open with" for .bin files and adds an entry under Add/Remove Programs; the uninstaller takes
; all of it away again. Both run silently with /S.
;
;   makensis -DVERSION=1.2 -DDIST=build-windows/dist -DICON=app_icon.ico \
;            -DFILES=build-windows/dist-files.nsh \
;            -DOUTFILE=build-windows/qvupdater-1.2-setup.exe packaging/windows/qvupdater.nsi
;
; FILES defines the macros InstallDistFiles and RemoveDistFiles, written by
; scripts/build-windows from what dist/ holds, so that the uninstaller removes exactly what the
; installer put there. scripts/build-windows runs it.
;
; A program of the install folder that is running keeps its files from being replaced or
; removed. Install, upgrade and uninstall look for one first and ask for it to be closed (Retry,
; Cancel); silently they fail with exit status 2 and say why on the standard error of whoever
; started them. None of them reports success while an old or leftover file is still there.

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
!insertmacro Required FILES
!insertmacro Required OUTFILE

!include "LogicLib.nsh"
!include "x64.nsh"
!include "${FILES}"

!define PRODUCT "QV firmware updater"
!define FOLDER "QV Updater"
!define SHORTCUT "$SMPROGRAMS\QV firmware updater.lnk"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QVUpdater"
; "Open with" for .bin: the wizard as an application that opens .bin files, and a file type of
; its own listed among the .bin file's other programs. The default program for .bin (the key's
; own value) is never touched.
!define APPLICATION_KEY "Software\Classes\Applications\qvupdater.exe"
!define FILE_TYPE "QVUpdater.Package"
!define FILE_TYPE_KEY "Software\Classes\${FILE_TYPE}"
!define EXTENSION_KEY "Software\Classes\.bin"
; The exit status of a run that could not finish its work (NSIS's own for "aborted").
!define FAILED 2

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$PROGRAMFILES64\${FOLDER}"
; An upgrade goes where the installed version is.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
; Program Files and the machine's uninstall entries need an administrator.
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show
; A file that cannot be written is never skipped: Retry or Cancel only.
AllowSkipFiles off

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; ---- what both the installer and the uninstaller use (NSIS wants an un. copy of each)

!macro SharedFunctions UN

; Says the text in $R9 on the standard error of whoever started a silent run (a console, or a
; script's redirection), where no window can say it.
Function ${UN}SayOnStandardError
  System::Call 'kernel32::GetStdHandle(i -12) p.r1'
  ${If} $1 == 0
  ${OrIf} $1 == -1
    ; Started from a console without redirection: a window program has no handle of its own.
    System::Call 'kernel32::AttachConsole(i -1) i.r2'
    ${If} $2 == 0
      Return
    ${EndIf}
    FileOpen $1 "CONOUT$$" a
    ${If} $1 == ""
      Return
    ${EndIf}
  ${EndIf}
  FileWrite $1 "$R9$\r$\n"
FunctionEnd

; Sets $R8 to the program of the install folder that is running, empty when none is: a running
; program's file (and the DLL it loaded) cannot be opened for writing.
Function ${UN}FindRunningProgram
  StrCpy $R8 ""
  ${If} ${FileExists} "$INSTDIR\qvupdater.exe"
    ClearErrors
    FileOpen $1 "$INSTDIR\qvupdater.exe" a
    ${If} ${Errors}
      StrCpy $R8 "The wizard qvupdater.exe"
      Return
    ${EndIf}
    FileClose $1
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\qvupdate.exe"
    ClearErrors
    FileOpen $1 "$INSTDIR\qvupdate.exe" a
    ${If} ${Errors}
      StrCpy $R8 "The command-line tool qvupdate.exe"
      Return
    ${EndIf}
    FileClose $1
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\hidapi.dll"
    ClearErrors
    FileOpen $1 "$INSTDIR\hidapi.dll" a
    ${If} ${Errors}
      StrCpy $R8 "A program that uses $INSTDIR\hidapi.dll"
      Return
    ${EndIf}
    FileClose $1
  ${EndIf}
FunctionEnd

; Waits until no program of the install folder runs: asks for it to be closed, Retry or Cancel.
; Cancel (and a silent run, which cannot ask) ends the run with ${FAILED}, before anything was
; changed. $R7 names what is being done ("installed", "removed").
Function ${UN}WaitUntilNoProgramRuns
  ${Do}
    Call ${UN}FindRunningProgram
    ${If} $R8 == ""
      Return
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$R8 is running from $INSTDIR.$\r$\n$\r$\nClose it, then choose Retry: ${PRODUCT} cannot be $R7 while it runs." /SD IDCANCEL IDRETRY retry
    StrCpy $R9 "$R8 is running from $INSTDIR; nothing was $R7. Close it and run this again."
    ${If} ${Silent}
      Call ${UN}SayOnStandardError
    ${EndIf}
    SetErrorLevel ${FAILED}
    Abort "$R9"
    retry:
  ${Loop}
FunctionEnd

; Tells the shell that file associations changed, so that "Open with" shows the change at once.
Function ${UN}AnnounceAssociations
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
FunctionEnd

!macroend
!insertmacro SharedFunctions ""
!insertmacro SharedFunctions "un."

; ---- install

; The programs are 64-bit: their folder, the registry view and the Start menu are the 64-bit
; system's, for every user.
Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} needs a 64-bit Windows." /SD IDOK
    StrCpy $R9 "${PRODUCT} needs a 64-bit Windows."
    Call SayOnStandardError
    SetErrorLevel ${FAILED}
    Quit
  ${EndIf}
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Install"
  StrCpy $R7 "installed"
  Call WaitUntilNoProgramRuns
  SetOverwrite on
  !insertmacro InstallDistFiles
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The shortcut asks for the package; a file dropped on it follows --choose and is read at once.
  CreateShortcut "${SHORTCUT}" "$INSTDIR\qvupdater.exe" "--choose" "$INSTDIR\qvupdater.exe" 0 \
    SW_SHOWNORMAL "" "Write an update package into a QV USB device"

  WriteRegStr HKLM "${APPLICATION_KEY}" "FriendlyAppName" "${PRODUCT}"
  WriteRegStr HKLM "${APPLICATION_KEY}\SupportedTypes" ".bin" ""
  WriteRegStr HKLM "${APPLICATION_KEY}\shell\open\command" "" '"$INSTDIR\qvupdater.exe" "%1"'
  WriteRegStr HKLM "${FILE_TYPE_KEY}" "" "QV update package"
  WriteRegStr HKLM "${FILE_TYPE_KEY}\DefaultIcon" "" "$INSTDIR\qvupdater.exe,0"
  WriteRegStr HKLM "${FILE_TYPE_KEY}\shell\open\command" "" '"$INSTDIR\qvupdater.exe" "%1"'
  WriteRegStr HKLM "${EXTENSION_KEY}\OpenWithProgids" "${FILE_TYPE}" ""
  Call AnnounceAssociations

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

; ---- uninstall

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

; Deletes the key when nothing is left in it: no value and no subkey. Other programs' entries
; under .bin stay.
!macro DeleteKeyIfEmpty KEY
  EnumRegValue $1 HKLM "${KEY}" 0
  EnumRegKey $2 HKLM "${KEY}" 0
  ${If} $1 == ""
  ${AndIf} $2 == ""
    DeleteRegKey HKLM "${KEY}"
  ${EndIf}
!macroend

; Removes exactly what the installer put there; the folder goes only when nothing else is left
; in it. The entry under Add/Remove Programs goes last, and only once every file is gone, so a
; failed uninstall can be run again.
Section "Uninstall"
  StrCpy $R7 "removed"
  Call un.WaitUntilNoProgramRuns
  ClearErrors
  !insertmacro RemoveDistFiles
  StrCpy $4 0
  ${If} ${Errors}
    StrCpy $4 1
  ${EndIf}
  ; This uninstaller runs from a copy of itself, and the original may still be ending; one
  ; started in place (_?=FOLDER, as scripts do to wait for its end) cannot remove itself, and its
  ; caller removes it.
  StrCpy $5 "$INSTDIR"
  StrCpy $6 "$5" "" -1
  ${If} $6 == "\"
    StrCpy $5 "$5" -1
  ${EndIf}
  StrCpy $3 0
  ${DoUntil} $EXEDIR == $5
    Delete "$INSTDIR\uninstall.exe"
    ${IfNot} ${FileExists} "$INSTDIR\uninstall.exe"
    ${OrIf} $3 >= 20
      ${Break}
    ${EndIf}
    Sleep 100
    IntOp $3 $3 + 1
  ${Loop}
  ${If} ${FileExists} "$INSTDIR\uninstall.exe"
  ${AndIf} $EXEDIR != $5
    StrCpy $4 1
  ${EndIf}
  ${If} $4 == 1
    StrCpy $R9 "Some files in $INSTDIR could not be removed; close every program that uses them and run the uninstaller again."
    MessageBox MB_OK|MB_ICONSTOP "$R9" /SD IDOK
    ${If} ${Silent}
      Call un.SayOnStandardError
    ${EndIf}
    SetErrorLevel ${FAILED}
    Abort "$R9"
  ${EndIf}
  RMDir "$INSTDIR"
  Delete "${SHORTCUT}"

  DeleteRegKey HKLM "${APPLICATION_KEY}"
  DeleteRegKey HKLM "${FILE_TYPE_KEY}"
  DeleteRegValue HKLM "${EXTENSION_KEY}\OpenWithProgids" "${FILE_TYPE}"
  !insertmacro DeleteKeyIfEmpty "${EXTENSION_KEY}\OpenWithProgids"
  !insertmacro DeleteKeyIfEmpty "${EXTENSION_KEY}"
  Call un.AnnounceAssociations

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
