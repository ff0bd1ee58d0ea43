// German (all regions): every text of the program's resources. UTF-8; \042 is a double
// quote, \n a line break. en-US.h is the reference.
#define ZU_LANG_TAG "de"
#define ZU_LANG_PRIMARY LANG_GERMAN
#define ZU_LANG_SUB SUBLANG_NEUTRAL
#define ZU_DIALOG_FONT_SIZE 8
#define ZU_DIALOG_FONT_NAME "MS Sans Serif"

#define STR_ZAB_DESCRIPTION \
  "Zuna Access Bridge von Vantor, Inc. ermöglicht Hilfstechnologien den Zugriff auf Zuna-Anwendungen"
#define STR_ZAB_APPLICATION_NAME "Zuna Access Bridge aktivieren"

#define STR_SC_VISIT_NAME "zuna.example besuchen"
#define STR_SC_VISIT_DESCRIPTION "Mehr über Zuna erfahren."
#define STR_SC_HELP_NAME "Hilfe erhalten"
#define STR_SC_HELP_DESCRIPTION "Lösungen für Probleme bei der Installation und Ausführung von Zuna finden."
#define STR_SC_CONFIGURE_NAME "Zuna konfigurieren"
#define STR_SC_CONFIGURE_DESCRIPTION "Zuna-Einstellungen anzeigen oder ändern."
#define STR_SC_UPDATE_NAME "Nach Updates suchen"
#define STR_SC_UPDATE_DESCRIPTION "Prüfen, ob neue Zuna-Updates verfügbar sind."
#define STR_SC_ABOUT_NAME "Info über Zuna"
#define STR_SC_ABOUT_DESCRIPTION "Zuna-Versionsinformationen anzeigen."
#define STR_SC_DOCS_NAME "Referenzdokumentation"
#define STR_SC_DOCS_DESCRIPTION "Entwicklerressourcen einschließlich der Online-API-Dokumentation anzeigen."
#define STR_SC_FLIGHTDECK_NAME "Zuna Flight Deck"
#define STR_SC_FLIGHTDECK_DESCRIPTION "Die Profiling- und Diagnosewerkzeuge von Zuna Flight Deck starten."

#define STR_FIU_PROGRAMS_CAPTION "Zuna-Setup - Programme schließen"
#define STR_FIU_PROGRAMS_TITLE "Programme schließen, um fortzufahren"
#define STR_FIU_PROGRAMS_EXPLANATION \
  "Die aufgeführten Programme verwenden gerade Zuna. Sie müssen geschlossen werden, damit Zuna-Dateien aktualisiert werden können."
#define STR_FIU_PROGRAMS_SAVE_WORK "Speichern Sie Ihre Arbeit und klicken Sie auf \042Schließen und fortfahren\042."
#define STR_FIU_PROGRAMS_BUTTON "Schließen und fortfahren"
#define STR_FIU_CONFIRM_PROGRAMS \
  "Speichern Sie Ihre Arbeit und Ihre Daten!\n\nKlicken Sie dann auf OK, um Ihre Programme zu schließen und das Zuna-Update abzuschließen."
#define STR_FIU_BROWSERS_CAPTION "Zuna-Setup - Browser schließen"
#define STR_FIU_BROWSERS_TITLE "Browser schließen, um fortzufahren"
#define STR_FIU_BROWSERS_EXPLANATION \
  "Ihr Browser verwendet gerade Zuna und muss geschlossen werden, damit Zuna-Dateien aktualisiert werden können."
#define STR_FIU_BROWSERS_SAVE_WORK "Speichern Sie Ihre Arbeit und klicken Sie auf \042Schließen und fortfahren\042."
#define STR_FIU_BROWSERS_BUTTON "Schließen und fortfahren"
#define STR_FIU_CONFIRM_BROWSERS \
  "Speichern Sie Ihre Arbeit und Ihre Daten!\n\nKlicken Sie dann auf OK, um Ihre Browser zu schließen und das Zuna-Update abzuschließen."
#define STR_FIU_BROWSER_IE "•  Windows Internet Explorer\n"
#define STR_FIU_BROWSER_FIREFOX "•  Mozilla Firefox\n"
#define STR_FIU_BROWSER_SAFARI "•  Safari\n"
#define STR_FIU_BROWSER_CHROME "•  Google Chrome\n"

#define STR_CONFIG_ERROR_CAPTION "Zuna-Deinstallation - Konfigurationsfehler"
#define STR_CONFIG_PATH_TOO_LONG "Der Pfad einer Konfigurationsdatei ist zu lang. Pfade müssen kürzer als 260 Zeichen sein."
#define STR_CONFIG_CANNOT_OPEN "Die Konfigurationsdatei %s konnte nicht geöffnet werden."
#define STR_CONFIG_NOT_UTF8_TEXT "Die Konfigurationsdatei %s ist kein gültiger UTF-8-Text."
#define STR_CONFIG_PATH_NOT_ACCEPTABLE \
  "Der Pfad einer Konfigurationsdatei ist nicht zulässig. Verwenden Sie einen vollständigen Pfad ohne reservierte Namen oder Platzhalter."
#define STR_CONFIG_NOT_FOUND "Die Konfigurationsdatei %s wurde nicht gefunden."
#define STR_CONFIG_FAULTY_LINE "Die Konfigurationsdatei %s enthält in Zeile %s einen Fehler."
#define STR_CONFIG_INCOMPLETE_WRITE "Die Konfigurationsdatei konnte nicht vollständig geschrieben werden."
#define STR_CONFIG_READ_ERROR "Die Konfigurationsdatei %s konnte nicht gelesen werden."
#define STR_CONFIG_UNEXPECTED "Beim Lesen der Konfiguration ist ein unerwarteter Fehler aufgetreten."
#define STR_CONFIG_CANNOT_CLOSE "Eine Konfigurationsdatei konnte nicht geschlossen werden."
#define STR_CONFIG_CANNOT_DELETE "Eine Konfigurationsdatei konnte nicht gelöscht werden."
#define STR_CONFIG_MISSING_ARGUMENT "Eine benötigte Konfigurationsdatei oder ein benötigter Wert wurde nicht angegeben."
#define STR_CONFIG_PATH_NOT_UTF8 "Der Pfad einer Konfigurationsdatei ist kein gültiger UTF-8-Text."
#define STR_CONFIG_FILE_TOO_LARGE "Die Konfigurationsdatei %s ist zu groß. Sie muss kleiner als 1 MB sein."
#define STR_CONFIG_BAD_ARGUMENTS "Diese Befehlszeilenargumente werden nicht unterstützt oder haben ungültige Werte:\n\n%s"
