; Per-user installer of the agent: no elevation, the program under %LOCALAPPDATA%\Programs, a
; Start-menu shortcut, autostart at log-on, the agent started at the end. /S installs silently.
; A running agent is ended through its hidden window (as its exit item does) before any file is
; replaced or removed, so that its journal gets its last line; one that does not end stops the
; installer (and the uninstaller) before anything is changed. The uninstaller removes only what
; the installer made: the audit folder, the journals and the settings key stay.
;
; makensis -INPUTCHARSET UTF8 -DEXE=<uploader.exe> -DOUTFILE=<setup.exe> -DFILE_VERSION=<3.40>
;          -DPRODUCT_VERSION=<2.00> installer/uploader.nsi
; (installer/CMakeLists.txt reads both versions from the program's version resource.)

; A 64-bit installer for a 64-bit program (and no 32-bit Wine needed to test it).
Target amd64-unicode
!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "WinMessages.nsh"
!include "FileFunc.nsh"

!ifdef EXE & OUTFILE & FILE_VERSION & PRODUCT_VERSION
!else
  !error "give -DEXE, -DOUTFILE, -DFILE_VERSION and -DPRODUCT_VERSION"
!endif
!define PRODUCT "ZELTAVIO EXPRESS UPLOADER"
!define AGENT_CLASS "TOLMARIN_SS_UPLOADER"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "ZeltavioExpressUploader"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZeltavioExpressUploader"
; How long a running agent is given to end after its close request: it stops its upload at the
; next step and writes its journal's last line, which takes seconds at most.
!define AGENT_WAIT_MS 20000
; The exit code of an installer or uninstaller stopped by an agent that did not end (NSIS
; itself uses 1 for a cancel and 2 for other stops).
!define EXIT_AGENT_RUNNING 3
; The four numbers of the program's own version resource, for the installer's.
!getdllversion "${EXE}" EXE_VERSION_

Name "${PRODUCT}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
; Sharp text on a scaled display: Windows does not stretch the installer's pages as a bitmap.
ManifestDPIAware true
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
SetCompressor /SOLID lzma

VIProductVersion "${EXE_VERSION_1}.${EXE_VERSION_2}.${EXE_VERSION_3}.${EXE_VERSION_4}"
VIAddVersionKey /LANG=1049 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1049 "CompanyName" "ZELTAVIO"
VIAddVersionKey /LANG=1049 "FileDescription" "Установка ${PRODUCT}"
VIAddVersionKey /LANG=1049 "LegalCopyright" "ZELTAVIO"
VIAddVersionKey /LANG=1049 "FileVersion" "${FILE_VERSION}"
VIAddVersionKey /LANG=1049 "ProductVersion" "${PRODUCT_VERSION}"

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

; Ends a running agent: WM_CLOSE to its hidden window, then a wait for its process. One still
; running after that keeps uploader.exe open, and replacing or deleting it would fail half-way:
; then nothing is changed, the user is told (a silent run gets only the exit code) and the
; installer stops. AGAIN names what to start again once the agent is ended.
!macro EndRunningAgent AGAIN
  FindWindow $0 "${AGENT_CLASS}" "${PRODUCT}"
  ${If} $0 <> 0
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1)'
    System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2'  ; SYNCHRONIZE
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    ${If} $2 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i ${AGENT_WAIT_MS}) i .r3'  ; 0: it ended
      System::Call 'kernel32::CloseHandle(p r2)'
    ${Else}
      ; No handle on its process: its window going away is the only sign left.
      StrCpy $4 0
      ${Do}
        System::Call 'user32::IsWindow(p r0) i .r3'
        ${IfThen} $3 = 0 ${|} ${Break} ${|}
        Sleep 100
        IntOp $4 $4 + 100
      ${LoopUntil} $4 >= ${AGENT_WAIT_MS}
    ${EndIf}
    ${If} $3 <> 0
      StrCpy $5 "Программа ${PRODUCT} работает и не завершилась по запросу. Ничего не изменено.$\r$\n$\r$\nЗавершите её (пункт «Выход» в меню её значка в области уведомлений) и запустите ${AGAIN} снова."
      DetailPrint "$5"
      MessageBox MB_OK|MB_ICONSTOP "$5" /SD IDOK
      SetErrorLevel ${EXIT_AGENT_RUNNING}
      Abort
    ${EndIf}
  ${EndIf}
!macroend

Section "Install"
  !insertmacro EndRunningAgent "установку"
  SetOutPath "$INSTDIR"
  File "/oname=uploader.exe" "${EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\uploader.exe"
  WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\uploader.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${FILE_VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "ZELTAVIO"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\uploader.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ; The size Apps shows, in KB: the two files written here (the agent's audit folder and
  ; journals beside them are the user's data, not the program).
  ${GetSize} "$INSTDIR" "/M=uploader.exe /S=0B /G=0" $0 $1 $2
  ${GetSize} "$INSTDIR" "/M=uninstall.exe /S=0B /G=0" $3 $1 $2
  IntOp $0 $0 + $3
  IntOp $0 $0 + 1023
  IntOp $0 $0 / 1024
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
  ; The finish page offers the start; a silent install starts it here.
  IfSilent 0 +2
    Exec '"$INSTDIR\uploader.exe"'
SectionEnd

Section "Uninstall"
  !insertmacro EndRunningAgent "удаление"
  Delete "$INSTDIR\uploader.exe"
  Delete "$INSTDIR\uninstall.exe"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ; Only when empty: the default audit folder and the journals live here and stay.
  RMDir "$INSTDIR"
SectionEnd
