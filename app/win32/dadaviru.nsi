; Windows installer of Dadaviru: both programs in the 32-bit Program Files folder, a Start-menu entry,
; an uninstaller, an "Apps & features" entry, and the autostart the user chooses.
; Made by tools/pakete.sh: makensis -DVERSION=version -DNUMERISCH=a.b.c.d -DQUELLE=dir -DLIZENZ=file -DAUSGABE=file
; SPDX-License-Identifier: MIT
Unicode true
; The shipped installer is 32-bit. Only the installer test builds it as amd64-unicode, on machines
; whose Wine can run 64-bit programs only; the script is the same.
!ifdef ZIEL
  Target ${ZIEL}
!endif
!ifndef VERSION | NUMERISCH | QUELLE | LIZENZ | AUSGABE
  !error "VERSION, NUMERISCH, QUELLE, LIZENZ and AUSGABE must be defined"
!endif
; Signs the installer and the uninstaller inside it, when the packaging names a certificate.
!ifdef SIGNIEREN
  !finalize '${SIGNIEREN} "%1"'
  !uninstfinalize '${SIGNIEREN} "%1"'
!endif

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include nsDialogs.nsh
!include StrFunc.nsh
${StrRep}

!define HERAUSGEBER "The Dadaviru developers"
!define DEINSTALLATION "Software\Microsoft\Windows\CurrentVersion\Uninstall\Dadaviru"
!define AUFGABE "Dadaviru_Autostart"
!define DEINSTALLIERER "Uninstall.exe"

Name "Dadaviru"
OutFile "${AUSGABE}"
; Only here, never in a folder of the user's choosing: the logon task runs Dadaviru_Autostart.exe
; elevated for every administrator, in this folder, so whoever may change the folder may run code as
; administrator. Program Files lets only administrators change what is in it, and a folder made in
; it takes that over; any other folder (C:\Dadaviru, a data drive) may let every user write.
InstallDir "$PROGRAMFILES\Dadaviru"
; Program Files, the all-users menus and the task need an administrator.
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show

VIProductVersion ${NUMERISCH}
VIAddVersionKey /LANG=0 ProductName "Dadaviru"
VIAddVersionKey /LANG=0 ProductVersion "${VERSION}"
VIAddVersionKey /LANG=0 FileVersion "${VERSION}"
VIAddVersionKey /LANG=0 FileDescription "Dadaviru Setup"
VIAddVersionKey /LANG=0 CompanyName "${HERAUSGEBER}"
VIAddVersionKey /LANG=0 LegalCopyright "Copyright (c) 2026 ${HERAUSGEBER}, MIT licence"

; aufgabe (a logon task with the highest privileges), ordner (a Startup-folder shortcut) or keine.
Var Autostart
Var Knopf_Aufgabe
Var Knopf_Ordner
Var Knopf_Keine

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_LICENSE "${LIZENZ}"
Page custom AutostartSeite AutostartSeiteVerlassen
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "German"

LangString Autostart_Titel ${LANG_ENGLISH} "Autostart"
LangString Autostart_Titel ${LANG_GERMAN} "Autostart"
LangString Autostart_Frage ${LANG_ENGLISH} "Set the clock 30 seconds after each logon?"
LangString Autostart_Frage ${LANG_GERMAN} "Die Uhr 30 Sekunden nach jeder Anmeldung stellen?"
LangString Autostart_Aufgabe ${LANG_ENGLISH} "Yes, as a scheduled task with the highest privileges (recommended: sets the clock for administrators too, without a prompt)"
LangString Autostart_Aufgabe ${LANG_GERMAN} "Ja, als geplante Aufgabe mit höchsten Rechten (empfohlen: stellt die Uhr auch für Administratoren, ohne Rückfrage)"
LangString Autostart_Ordner ${LANG_ENGLISH} "Yes, from the Startup folder (only for accounts that hold the right to change the time)"
LangString Autostart_Ordner ${LANG_GERMAN} "Ja, aus dem Autostart-Ordner (nur für Konten mit dem Recht, die Systemzeit zu ändern)"
LangString Autostart_Keine ${LANG_ENGLISH} "No"
LangString Autostart_Keine ${LANG_GERMAN} "Nein"
LangString Autostart_Falsch ${LANG_ENGLISH} "/AUTOSTART= takes aufgabe, ordner or keine."
LangString Autostart_Falsch ${LANG_GERMAN} "/AUTOSTART= erwartet aufgabe, ordner oder keine."
LangString Ordner_Falsch ${LANG_ENGLISH} "Dadaviru installs only into $PROGRAMFILES\Dadaviru, where only administrators can change its files."
LangString Ordner_Falsch ${LANG_GERMAN} "Dadaviru wird nur nach $PROGRAMFILES\Dadaviru installiert, wo nur Administratoren seine Dateien ändern können."
LangString Aufgabe_Fehler ${LANG_ENGLISH} "The scheduled task could not be created (schtasks exit code $0)."
LangString Aufgabe_Fehler ${LANG_GERMAN} "Die geplante Aufgabe ließ sich nicht anlegen (schtasks-Rückgabewert $0)."

Function .onInit
    !insertmacro MUI_LANGDLL_DISPLAY
    ; /D= has set $INSTDIR by now.
    ${If} $INSTDIR != "$PROGRAMFILES\Dadaviru"
        MessageBox MB_ICONSTOP "$(Ordner_Falsch)" /SD IDOK
        SetErrorLevel 2
        Quit
    ${EndIf}
    StrCpy $Autostart "aufgabe"
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/AUTOSTART=" $R1
    ${IfNot} ${Errors}
        ${If} $R1 == "aufgabe"
        ${OrIf} $R1 == "ordner"
        ${OrIf} $R1 == "keine"
            StrCpy $Autostart $R1
        ${Else}
            MessageBox MB_ICONSTOP "$(Autostart_Falsch)" /SD IDOK
            SetErrorLevel 2
            Quit
        ${EndIf}
    ${EndIf}
FunctionEnd

Function AutostartSeite
    !insertmacro MUI_HEADER_TEXT "$(Autostart_Titel)" "$(Autostart_Frage)"
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateRadioButton} 0 0 100% 30u "$(Autostart_Aufgabe)"
    Pop $Knopf_Aufgabe
    ${NSD_CreateRadioButton} 0 34u 100% 24u "$(Autostart_Ordner)"
    Pop $Knopf_Ordner
    ${NSD_CreateRadioButton} 0 62u 100% 12u "$(Autostart_Keine)"
    Pop $Knopf_Keine
    ${Select} $Autostart
    ${Case} "ordner"
        ${NSD_Check} $Knopf_Ordner
    ${Case} "keine"
        ${NSD_Check} $Knopf_Keine
    ${CaseElse}
        ${NSD_Check} $Knopf_Aufgabe
    ${EndSelect}
    nsDialogs::Show
FunctionEnd

Function AutostartSeiteVerlassen
    StrCpy $Autostart "keine"
    ${NSD_GetState} $Knopf_Aufgabe $0
    ${If} $0 == ${BST_CHECKED}
        StrCpy $Autostart "aufgabe"
    ${EndIf}
    ${NSD_GetState} $Knopf_Ordner $0
    ${If} $0 == ${BST_CHECKED}
        StrCpy $Autostart "ordner"
    ${EndIf}
FunctionEnd

; A task, not a Startup shortcut, because under UAC only an elevated process holds the right to
; change the time. Written as XML because the command-line form can set neither the working folder
; (where dadaviru.txt is looked up) nor a start on battery power. It runs for every user who logs
; on, each with the highest rights that user has.
Function AufgabeAnlegen
    ; The folder as XML text: & first, so the entities made after it stay as they are.
    ${StrRep} $2 $INSTDIR "&" "&amp;"
    ${StrRep} $2 $2 "<" "&lt;"
    ${StrRep} $2 $2 ">" "&gt;"
    FileOpen $1 "$PLUGINSDIR\aufgabe.xml" w
    FileWriteUTF16LE /BOM $1 '<?xml version="1.0" encoding="UTF-16"?>$\r$\n'
    FileWriteUTF16LE $1 '<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">$\r$\n'
    FileWriteUTF16LE $1 '  <RegistrationInfo><Author>${HERAUSGEBER}</Author><Description>Dadaviru sets the clock 30 seconds after each logon.</Description></RegistrationInfo>$\r$\n'
    FileWriteUTF16LE $1 '  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>$\r$\n'
    FileWriteUTF16LE $1 '  <Principals><Principal id="Benutzer"><GroupId>S-1-5-32-545</GroupId><RunLevel>HighestAvailable</RunLevel></Principal></Principals>$\r$\n'
    FileWriteUTF16LE $1 '  <Settings><MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy><DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries><StopIfGoingOnBatteries>false</StopIfGoingOnBatteries><ExecutionTimeLimit>PT10M</ExecutionTimeLimit><Enabled>true</Enabled></Settings>$\r$\n'
    FileWriteUTF16LE $1 '  <Actions Context="Benutzer"><Exec><Command>"$2\Dadaviru_Autostart.exe"</Command><WorkingDirectory>$2</WorkingDirectory></Exec></Actions>$\r$\n'
    FileWriteUTF16LE $1 '</Task>$\r$\n'
    FileClose $1
    nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /Create /TN "${AUFGABE}" /XML "$PLUGINSDIR\aufgabe.xml" /F'
    Pop $0
    ${If} $0 != 0
        MessageBox MB_ICONEXCLAMATION "$(Aufgabe_Fehler)" /SD IDOK
    ${EndIf}
FunctionEnd

; A task that is not there makes schtasks fail, which is all right here.
!macro AufgabeEntfernen
    nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /Delete /TN "${AUFGABE}" /F'
    Pop $0
!macroend

Section
    SetShellVarContext all
    InitPluginsDir
    SetOutPath "$INSTDIR"
    File "${QUELLE}/Dadaviru.exe"
    File "${QUELLE}/Dadaviru_Autostart.exe"
    File /oname=LICENSE.txt "${LIZENZ}"
    WriteUninstaller "$INSTDIR\${DEINSTALLIERER}"
    CreateShortCut "$SMPROGRAMS\Dadaviru.lnk" "$INSTDIR\Dadaviru.exe"

    WriteRegStr HKLM "${DEINSTALLATION}" "DisplayName" "Dadaviru"
    WriteRegStr HKLM "${DEINSTALLATION}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${DEINSTALLATION}" "DisplayIcon" "$INSTDIR\Dadaviru.exe,0"
    WriteRegStr HKLM "${DEINSTALLATION}" "Publisher" "${HERAUSGEBER}"
    WriteRegStr HKLM "${DEINSTALLATION}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${DEINSTALLATION}" "UninstallString" '"$INSTDIR\${DEINSTALLIERER}"'
    WriteRegStr HKLM "${DEINSTALLATION}" "QuietUninstallString" '"$INSTDIR\${DEINSTALLIERER}" /S'
    WriteRegDWORD HKLM "${DEINSTALLATION}" "NoModify" 1
    WriteRegDWORD HKLM "${DEINSTALLATION}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${DEINSTALLATION}" "EstimatedSize" $0

    ; Installed over an earlier install, the autostart it had goes unless it is the one chosen
    ; now; otherwise the program would start twice at each logon.
    ${If} $Autostart == "aufgabe"
        Delete "$SMSTARTUP\Dadaviru_Autostart.lnk"
        Call AufgabeAnlegen
    ${ElseIf} $Autostart == "ordner"
        !insertmacro AufgabeEntfernen
        ; The all-users Startup folder, started in the install folder, where dadaviru.txt is looked up.
        CreateShortCut "$SMSTARTUP\Dadaviru_Autostart.lnk" "$INSTDIR\Dadaviru_Autostart.exe"
    ${Else}
        !insertmacro AufgabeEntfernen
        Delete "$SMSTARTUP\Dadaviru_Autostart.lnk"
    ${EndIf}
SectionEnd

; Removes whichever autostart was chosen: there is at most one, and the others are simply absent.
Section Uninstall
    SetShellVarContext all
    !insertmacro AufgabeEntfernen
    Delete "$SMSTARTUP\Dadaviru_Autostart.lnk"
    Delete "$SMPROGRAMS\Dadaviru.lnk"
    Delete "$INSTDIR\Dadaviru.exe"
    Delete "$INSTDIR\Dadaviru_Autostart.exe"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\${DEINSTALLIERER}"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${DEINSTALLATION}"
SectionEnd

Function un.onInit
    !insertmacro MUI_UNGETLANGUAGE
FunctionEnd
