// Italian (all regions): every text of the program's resources. UTF-8; \042 is a double
// quote, \n a line break. en-US.h is the reference.
#define ZU_LANG_TAG "it"
#define ZU_LANG_PRIMARY LANG_ITALIAN
#define ZU_LANG_SUB SUBLANG_NEUTRAL
#define ZU_DIALOG_FONT_SIZE 8
#define ZU_DIALOG_FONT_NAME "MS Sans Serif"

#define STR_ZAB_DESCRIPTION \
  "Zuna Access Bridge, di Vantor, Inc., consente alle tecnologie assistive di accedere alle applicazioni Zuna"
#define STR_ZAB_APPLICATION_NAME "Attiva Zuna Access Bridge"

#define STR_SC_VISIT_NAME "Visita zuna.example"
#define STR_SC_VISIT_DESCRIPTION "Ulteriori informazioni su Zuna."
#define STR_SC_HELP_NAME "Guida e supporto"
#define STR_SC_HELP_DESCRIPTION "Trova soluzioni ai problemi di installazione ed esecuzione di Zuna."
#define STR_SC_CONFIGURE_NAME "Configura Zuna"
#define STR_SC_CONFIGURE_DESCRIPTION "Visualizza o modifica le impostazioni di Zuna."
#define STR_SC_UPDATE_NAME "Verifica aggiornamenti"
#define STR_SC_UPDATE_DESCRIPTION "Controlla se sono disponibili nuovi aggiornamenti di Zuna."
#define STR_SC_ABOUT_NAME "Informazioni su Zuna"
#define STR_SC_ABOUT_DESCRIPTION "Visualizza le informazioni sulla versione di Zuna."
#define STR_SC_DOCS_NAME "Documentazione di riferimento"
#define STR_SC_DOCS_DESCRIPTION "Visualizza le risorse per sviluppatori, compresa la documentazione API online."
#define STR_SC_FLIGHTDECK_NAME "Zuna Flight Deck"
#define STR_SC_FLIGHTDECK_DESCRIPTION "Avvia la suite di strumenti di profilazione e diagnostica Zuna Flight Deck."

#define STR_FIU_PROGRAMS_CAPTION "Installazione di Zuna - Chiudi programmi"
#define STR_FIU_PROGRAMS_TITLE "Chiudere i programmi per continuare"
#define STR_FIU_PROGRAMS_EXPLANATION \
  "I programmi elencati stanno usando Zuna. Devono essere chiusi per poter aggiornare i file di Zuna."
#define STR_FIU_PROGRAMS_SAVE_WORK "Salvare il lavoro, quindi fare clic su \042Chiudi e continua\042."
#define STR_FIU_PROGRAMS_BUTTON "Chiudi e continua"
#define STR_FIU_CONFIRM_PROGRAMS \
  "Salvare il lavoro e i dati!\n\nQuindi fare clic su OK per chiudere i programmi e completare l'aggiornamento di Zuna."
#define STR_FIU_BROWSERS_CAPTION "Installazione di Zuna - Chiudi browser"
#define STR_FIU_BROWSERS_TITLE "Chiudere i browser per continuare"
#define STR_FIU_BROWSERS_EXPLANATION \
  "Il browser sta usando Zuna e deve essere chiuso per poter aggiornare i file di Zuna."
#define STR_FIU_BROWSERS_SAVE_WORK "Salvare il lavoro, quindi fare clic su \042Chiudi e continua\042."
#define STR_FIU_BROWSERS_BUTTON "Chiudi e continua"
#define STR_FIU_CONFIRM_BROWSERS \
  "Salvare il lavoro e i dati!\n\nQuindi fare clic su OK per chiudere i browser e completare l'aggiornamento di Zuna."
#define STR_FIU_BROWSER_IE "•  Windows Internet Explorer\n"
#define STR_FIU_BROWSER_FIREFOX "•  Mozilla Firefox\n"
#define STR_FIU_BROWSER_SAFARI "•  Safari\n"
#define STR_FIU_BROWSER_CHROME "•  Google Chrome\n"

#define STR_CONFIG_ERROR_CAPTION "Disinstallazione di Zuna - Errore di configurazione"
#define STR_CONFIG_PATH_TOO_LONG "Il percorso di un file di configurazione è troppo lungo. I percorsi devono contenere meno di 260 caratteri."
#define STR_CONFIG_CANNOT_OPEN "Impossibile aprire il file di configurazione %s."
#define STR_CONFIG_NOT_UTF8_TEXT "Il file di configurazione %s non contiene testo UTF-8 valido."
#define STR_CONFIG_PATH_NOT_ACCEPTABLE \
  "Il percorso di un file di configurazione non è accettabile. Usare un percorso completo senza nomi riservati né caratteri jolly."
#define STR_CONFIG_NOT_FOUND "Impossibile trovare il file di configurazione %s."
#define STR_CONFIG_FAULTY_LINE "Il file di configurazione %s contiene un errore alla riga %s."
#define STR_CONFIG_INCOMPLETE_WRITE "Impossibile scrivere completamente il file di configurazione."
#define STR_CONFIG_READ_ERROR "Impossibile leggere il file di configurazione %s."
#define STR_CONFIG_UNEXPECTED "Si è verificato un errore imprevisto durante la lettura della configurazione."
#define STR_CONFIG_CANNOT_CLOSE "Impossibile chiudere un file di configurazione."
#define STR_CONFIG_CANNOT_DELETE "Impossibile eliminare un file di configurazione."
#define STR_CONFIG_MISSING_ARGUMENT "Non è stato indicato un file o un valore di configurazione necessario."
#define STR_CONFIG_PATH_NOT_UTF8 "Il percorso di un file di configurazione non è testo UTF-8 valido."
#define STR_CONFIG_FILE_TOO_LARGE "Il file di configurazione %s è troppo grande. Deve essere inferiore a 1 MB."
#define STR_CONFIG_BAD_ARGUMENTS "Questi argomenti della riga di comando non sono supportati o hanno valori non validi:\n\n%s"
