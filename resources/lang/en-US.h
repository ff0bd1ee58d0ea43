// English (United States): every text of the program's resources. The reference for the
// other languages, and the language used where the program carries none of the user's.
// Texts are UTF-8; \042 is a double quote, \n a line break.
#define ZU_LANG_TAG "en-US"
#define ZU_LANG_PRIMARY LANG_ENGLISH
#define ZU_LANG_SUB SUBLANG_ENGLISH_US
#define ZU_DIALOG_FONT_SIZE 8
#define ZU_DIALOG_FONT_NAME "MS Sans Serif"

// Access bridge
#define STR_ZAB_DESCRIPTION \
  "Zuna Access Bridge, from Vantor, Inc. providing Assistive Technology access to Zuna applications"
#define STR_ZAB_APPLICATION_NAME "Enable Zuna Access Bridge"

// Start-menu shortcuts (names become file names)
#define STR_SC_VISIT_NAME "Visit zuna.example"
#define STR_SC_VISIT_DESCRIPTION "Learn more about Zuna."
#define STR_SC_HELP_NAME "Get Help"
#define STR_SC_HELP_DESCRIPTION "Find solutions to issues related to installing and running Zuna."
#define STR_SC_CONFIGURE_NAME "Configure Zuna"
#define STR_SC_CONFIGURE_DESCRIPTION "View or change Zuna settings."
#define STR_SC_UPDATE_NAME "Check For Updates"
#define STR_SC_UPDATE_DESCRIPTION "See if new Zuna updates are available."
#define STR_SC_ABOUT_NAME "About Zuna"
#define STR_SC_ABOUT_DESCRIPTION "View Zuna version information."
#define STR_SC_DOCS_NAME "Reference Documentation"
#define STR_SC_DOCS_DESCRIPTION "View developer resources including online API documentation."
#define STR_SC_FLIGHTDECK_NAME "Zuna Flight Deck"
#define STR_SC_FLIGHTDECK_DESCRIPTION "Launch the Zuna Flight Deck profiling and diagnostics tools suite."

// Close-programs and close-browsers dialogs and their confirmations
#define STR_FIU_PROGRAMS_CAPTION "Zuna Setup - Close Programs"
#define STR_FIU_PROGRAMS_TITLE "Close Programs to Continue"
#define STR_FIU_PROGRAMS_EXPLANATION \
  "The programs listed are currently using Zuna. They must be closed so that Zuna files can be updated."
#define STR_FIU_PROGRAMS_SAVE_WORK "Save your work, then click \042Close Programs and Continue.\042"
#define STR_FIU_PROGRAMS_BUTTON "Close Programs and Continue"
#define STR_FIU_CONFIRM_PROGRAMS \
  "Save your work and data!\n\nThen click OK to close your programs and complete the Zuna update."
#define STR_FIU_BROWSERS_CAPTION "Zuna Setup - Close Browsers"
#define STR_FIU_BROWSERS_TITLE "Close Browsers to Continue"
#define STR_FIU_BROWSERS_EXPLANATION \
  "Your browser is currently using Zuna and must be closed so that Zuna files can be updated."
#define STR_FIU_BROWSERS_SAVE_WORK "Save your work, then click \042Close Browsers and Continue.\042"
#define STR_FIU_BROWSERS_BUTTON "Close Browsers and Continue"
#define STR_FIU_CONFIRM_BROWSERS \
  "Save your work and data!\n\nThen click OK to close your browsers and complete the Zuna update."
#define STR_FIU_BROWSER_IE "•  Windows Internet Explorer\n"
#define STR_FIU_BROWSER_FIREFOX "•  Mozilla Firefox\n"
#define STR_FIU_BROWSER_SAFARI "•  Safari\n"
#define STR_FIU_BROWSER_CHROME "•  Google Chrome\n"

// Configuration errors: printf formats; the first %s is a path or the refused arguments,
// the second the number of the faulty line.
#define STR_CONFIG_ERROR_CAPTION "Zuna Uninstall - Configuration Error"
#define STR_CONFIG_PATH_TOO_LONG "The path of a configuration file is too long. Paths must be shorter than 260 characters."
#define STR_CONFIG_CANNOT_OPEN "The configuration file %s could not be opened."
#define STR_CONFIG_NOT_UTF8_TEXT "The configuration file %s is not valid UTF-8 text."
#define STR_CONFIG_PATH_NOT_ACCEPTABLE \
  "The path of a configuration file is not acceptable. Use a full path without reserved names or wildcards."
#define STR_CONFIG_NOT_FOUND "The configuration file %s could not be found."
#define STR_CONFIG_FAULTY_LINE "The configuration file %s has an error on line %s."
#define STR_CONFIG_INCOMPLETE_WRITE "The configuration file could not be written completely."
#define STR_CONFIG_READ_ERROR "The configuration file %s could not be read."
#define STR_CONFIG_UNEXPECTED "An unexpected error occurred while reading the configuration."
#define STR_CONFIG_CANNOT_CLOSE "A configuration file could not be closed."
#define STR_CONFIG_CANNOT_DELETE "A configuration file could not be deleted."
#define STR_CONFIG_MISSING_ARGUMENT "A configuration file or value that is needed was not given."
#define STR_CONFIG_PATH_NOT_UTF8 "The path of a configuration file is not valid UTF-8 text."
#define STR_CONFIG_FILE_TOO_LARGE "The configuration file %s is too large. It must be smaller than 1 MB."
#define STR_CONFIG_BAD_ARGUMENTS "These command-line arguments are not supported or have invalid values:\n\n%s"
