; The Windows installer: the window, sundrix-cli.exe, the Qt and runtime DLLs, the
; platform plugin and the language files in one folder, a Start-menu entry and an
; uninstaller. It installs for the current user, with no administrator: the program's
; context-menu entries live under the user's own classes key as well.
; Made by the build's "installer" target (packaging/windows/CMakeLists.txt), which passes
; VERSION, LISTS (the folder of install.nsh and uninstall.nsh), LICENSE and OUTFILE.
; /S installs or uninstalls silently.

; A 64-bit installer for the 64-bit programs (it also needs no 32-bit layer under wine).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!define NAME "Sundrix"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Sundrix"

Name "${NAME} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${NAME}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

LicenseData "${LICENSE}"
Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Install"
  SetShellVarContext current
  !include "${LISTS}/install.nsh"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\sundrix.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${NAME} ${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\sundrix.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; A context-menu verb goes only when its command starts this install's program (the
; comparison ignores letter case, as paths on Windows do): an entry another program wrote
; under the same name stays.
!macro RemoveVerb VERB SWITCH
  ReadRegStr $0 HKCU "Software\Classes\*\shell\${VERB}\command" ""
  StrCmp $0 '"$INSTDIR\sundrix.exe" "${SWITCH}" "%1"' 0 +2
  DeleteRegKey HKCU "Software\Classes\*\shell\${VERB}"
!macroend

Section "Uninstall"
  SetShellVarContext current
  !insertmacro RemoveVerb "split" "-s"
  !insertmacro RemoveVerb "join" "-j"
  ; The settings the window saved beside itself go with it.
  Delete "$INSTDIR\sundrix.ini"
  !include "${LISTS}/uninstall.nsh"
  Delete "$INSTDIR\uninstall.exe"
  ; Removed only when empty: files the user put there stay, and so does the folder.
  RMDir "$INSTDIR"
  ; The entry among the installed programs and the Start-menu entry are written by the
  ; latest install: when that was another copy, still in its folder, both are that copy's
  ; and stay. They go when they name this folder, or a folder with no uninstaller left
  ; (this copy's, moved).
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  StrCmp $0 "$INSTDIR" remove_entry
  StrCmp $0 "" remove_entry
  IfFileExists "$0\uninstall.exe" keep_entry
remove_entry:
  Delete "$SMPROGRAMS\${NAME}.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
keep_entry:
SectionEnd
