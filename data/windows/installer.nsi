; The squarefield installer, made with makensis from the Windows build:
;   makensis -DVERSION=.. -DBUILD=.. -DSOURCE=.. -DOUTFILE=.. installer.nsi
; Per machine: the screensaver goes into System32, the only folder the Screen
; Saver settings list screensavers from for every user, and the program into
; Program Files. Silent: /S; /SETSAVER also makes squarefield the current
; user's screensaver (asked for when not silent).
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "FileFunc.nsh"
!include "x64.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\squarefield"

Name "squarefield ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\squarefield"
Icon "${SOURCE}\data\squarefield.ico"
UninstallIcon "${SOURCE}\data\squarefield.ico"
LicenseData "${SOURCE}\LICENSE"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "squarefield"
VIAddVersionKey "FileDescription" "squarefield ${VERSION} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 the squarefield developers (MIT License)"

Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; A program file in use (the program or its screensaver running) cannot be
; replaced or removed: stop with a message and status 2 rather than leave half
; of an install or an uninstall behind. The file's name is in $R8.
!macro REFUSE_IF_RUNNING prefix
Function ${prefix}RefuseIfRunning
  IfFileExists "$R8" 0 free
  ClearErrors
  FileOpen $R9 "$R8" a
  IfErrors running
  FileClose $R9
  Goto free
running:
  MessageBox MB_OK|MB_ICONSTOP "squarefield is running ($R8 is in use): end it, then try again." /SD IDOK
  SetErrorLevel 2
  Abort
free:
FunctionEnd
!macroend
!insertmacro REFUSE_IF_RUNNING ""
!insertmacro REFUSE_IF_RUNNING "un."

; The uninstaller removes only where it installed: a copy of it elsewhere
; refuses, and so does one whose install is already gone.
Function un.onInit
  SetRegView 64
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  StrCmp $R0 $INSTDIR mine
  MessageBox MB_OK|MB_ICONSTOP "This uninstaller is not the one of squarefield's install (in $R0): nothing removed from $INSTDIR." /SD IDOK
  SetErrorLevel 2
  Quit
mine:
FunctionEnd

Section "squarefield"
  SetRegView 64
  ${DisableX64FSRedirection}
  ; A folder of its own: one that holds files and is not where the record
  ; says we are installed gets a squarefield folder inside it, so nothing of
  ; another program's is overwritten now or removed by the uninstall (a file
  ; name, even uninstall.exe, says nothing of whose it is).
  ReadRegStr $R7 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  StrCmp $R7 $INSTDIR own_folder
  ${DirState} "$INSTDIR" $R0
  IntCmp $R0 1 0 own_folder own_folder
  StrCpy $INSTDIR "$INSTDIR\squarefield"
own_folder:
  StrCpy $R8 "$INSTDIR\squarefield.exe"
  Call RefuseIfRunning
  StrCpy $R8 "$SYSDIR\squarefield.scr"
  Call RefuseIfRunning
  ; Installed elsewhere before: the installation moves here, and the earlier
  ; copy's files, ours by the record, go (an orphan would keep no Apps entry).
  StrCmp $R7 "" moved
  StrCmp $R7 $INSTDIR moved
  StrCpy $R8 "$R7\squarefield.exe"
  Call RefuseIfRunning
  Delete "$R7\squarefield.exe"
  Delete "$R7\LICENSE.txt"
  Delete "$R7\README.txt"
  Delete "$R7\uninstall.exe"
  RMDir "$R7"
moved:
  SetOutPath "$INSTDIR"
  File "${BUILD}\squarefield.exe"
  File "/oname=LICENSE.txt" "${SOURCE}\LICENSE"
  File "/oname=README.txt" "${BUILD}\README.txt"
  SetOutPath "$SYSDIR"
  File "${BUILD}\squarefield.scr"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetShellVarContext all
  CreateDirectory "$SMPROGRAMS\squarefield"
  CreateShortcut "$SMPROGRAMS\squarefield\squarefield.lnk" "$INSTDIR\squarefield.exe"
  CreateShortcut "$SMPROGRAMS\squarefield\squarefield screensaver settings.lnk" "$SYSDIR\squarefield.scr" "/c"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "squarefield"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "the squarefield developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\squarefield.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  ; The current screensaver: asked, or /SETSAVER when silent.
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/SETSAVER" $R1
  IfErrors 0 set_saver
  IfSilent done
  MessageBox MB_YESNO "Make squarefield your screensaver?" /SD IDNO IDNO done
set_saver:
  ; What was there before, so that uninstalling puts it back; when it is ours
  ; already (installed again), the one recorded before ours stays.
  ClearErrors
  ReadRegStr $R2 HKCU "Control Panel\Desktop" "SCRNSAVE.EXE"
  StrCmp $R2 "$SYSDIR\squarefield.scr" make_ours
  IfErrors 0 +2
  StrCpy $R2 "(none)"
  WriteRegStr HKCU "Software\squarefield" "PreviousScreenSaver" "$R2"
  ClearErrors
  ReadRegStr $R2 HKCU "Control Panel\Desktop" "ScreenSaveActive"
  IfErrors 0 +2
  StrCpy $R2 "(none)"
  WriteRegStr HKCU "Software\squarefield" "PreviousScreenSaveActive" "$R2"
make_ours:
  WriteRegStr HKCU "Control Panel\Desktop" "SCRNSAVE.EXE" "$SYSDIR\squarefield.scr"
  WriteRegStr HKCU "Control Panel\Desktop" "ScreenSaveActive" "1"
done:
  ${EnableX64FSRedirection}
SectionEnd

Section "Uninstall"
  SetRegView 64
  ${DisableX64FSRedirection}
  StrCpy $R8 "$SYSDIR\squarefield.scr"
  Call un.RefuseIfRunning
  StrCpy $R8 "$INSTDIR\squarefield.exe"
  Call un.RefuseIfRunning
  Delete "$SYSDIR\squarefield.scr"
  Delete "$INSTDIR\squarefield.exe"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  SetShellVarContext all
  Delete "$SMPROGRAMS\squarefield\squarefield.lnk"
  Delete "$SMPROGRAMS\squarefield\squarefield screensaver settings.lnk"
  RMDir "$SMPROGRAMS\squarefield"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; The screensaver setting only if it is still ours.
  ReadRegStr $R0 HKCU "Control Panel\Desktop" "SCRNSAVE.EXE"
  StrCmp $R0 "$SYSDIR\squarefield.scr" 0 kept
  ClearErrors
  ReadRegStr $R1 HKCU "Software\squarefield" "PreviousScreenSaver"
  ; Chosen by hand in the settings, not by us: with its file gone, none, as
  ; Windows itself shows it; whether screensavers are on stays the user's.
  IfErrors 0 +3
  DeleteRegValue HKCU "Control Panel\Desktop" "SCRNSAVE.EXE"
  Goto kept
  StrCmp $R1 "(none)" 0 +3
  DeleteRegValue HKCU "Control Panel\Desktop" "SCRNSAVE.EXE"
  Goto active
  WriteRegStr HKCU "Control Panel\Desktop" "SCRNSAVE.EXE" "$R1"
active:
  ReadRegStr $R1 HKCU "Software\squarefield" "PreviousScreenSaveActive"
  StrCmp $R1 "(none)" 0 +3
  DeleteRegValue HKCU "Control Panel\Desktop" "ScreenSaveActive"
  Goto kept
  WriteRegStr HKCU "Control Panel\Desktop" "ScreenSaveActive" "$R1"
kept:
  DeleteRegKey HKCU "Software\squarefield"
  ${EnableX64FSRedirection}
SectionEnd
