; Per-user installer of the agent: no elevation, the program under %LOCALAPPDATA%\Programs, a
; Start-menu shortcut, autostart at log-on, the agent started at the end. /S installs silently.
; A running agent is ended through its hidden window (as its exit item does) before any file is
; replaced or removed, so that its journal gets its last line. The uninstaller removes only what
; the installer made: the audit folder, the journals and the settings key stay.
;
; makensis -DEXE=<uploader.exe> -DOUTFILE=<setup.exe> installer/uploader.nsi

; A 64-bit installer for a 64-bit program (and no 32-bit Wine needed to test it).
Target amd64-unicode
!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "WinMessages.nsh"

!define PRODUCT "ZELTAVIO EXPRESS UPLOADER"
!define VERSION "2.00"
!define AGENT_CLASS "TOLMARIN_SS_UPLOADER"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "ZeltavioExpressUploader"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZeltavioExpressUploader"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
SetCompressor /SOLID lzma

VIProductVersion "3.40.0.0"
VIAddVersionKey /LANG=1049 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1049 "CompanyName" "ZELTAVIO"
VIAddVersionKey /LANG=1049 "FileDescription" "Установка ${PRODUCT}"
VIAddVersionKey /LANG=1049 "LegalCopyright" "ZELTAVIO"
VIAddVersionKey /LANG=1049 "FileVersion" "3.40"
VIAddVersionKey /LANG=1049 "ProductVersion" "${VERSION}"

!define MUI_FINISHPAGE_RUN "$INSTDIR\uploader.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "Программа удалена"
!define MUI_FINISHPAGE_TEXT "Программа, её ярлык и автозапуск удалены.$\r$\n$\r$\nПапка аудита с заказами, журналы и настройки (HKCU\Software\ZELTAVIO) не тронуты: удалите их вручную, если они больше не нужны."
!insertmacro MUI_UNPAGE_FINISH
!insertmacro MUI_LANGUAGE "Russian"

; Ends a running agent: WM_CLOSE to its hidden window, then waits up to 20 s for its process.
!macro EndRunningAgent
  FindWindow $0 "${AGENT_CLASS}" "${PRODUCT}"
  ${If} $0 <> 0
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1)'
    System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2'
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    ${If} $2 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i 20000)'
      System::Call 'kernel32::CloseHandle(p r2)'
    ${EndIf}
  ${EndIf}
!macroend

Section "Install"
  !insertmacro EndRunningAgent
  SetOutPath "$INSTDIR"
  File "/oname=uploader.exe" "${EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\uploader.exe"
  WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\uploader.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "ZELTAVIO"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\uploader.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ; The finish page offers the start; a silent install starts it here.
  IfSilent 0 +2
    Exec '"$INSTDIR\uploader.exe"'
SectionEnd

Section "Uninstall"
  !insertmacro EndRunningAgent
  Delete "$INSTDIR\uploader.exe"
  Delete "$INSTDIR\uninstall.exe"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ; Only when empty: the default audit folder and the journals live here and stay.
  RMDir "$INSTDIR"
SectionEnd
