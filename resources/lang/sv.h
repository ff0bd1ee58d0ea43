// Swedish (all regions): every text of the program's resources. UTF-8; \042 is a double
// quote, \n a line break. en-US.h is the reference.
#define ZU_LANG_TAG "sv"
#define ZU_LANG_PRIMARY LANG_SWEDISH
#define ZU_LANG_SUB SUBLANG_NEUTRAL
#define ZU_DIALOG_FONT_SIZE 8
#define ZU_DIALOG_FONT_NAME "MS Sans Serif"

#define STR_ZAB_DESCRIPTION \
  "Zuna Access Bridge från Vantor, Inc. ger hjälpmedelsteknik åtkomst till Zuna-program"
#define STR_ZAB_APPLICATION_NAME "Aktivera Zuna Access Bridge"

#define STR_SC_VISIT_NAME "Besök zuna.example"
#define STR_SC_VISIT_DESCRIPTION "Läs mer om Zuna."
#define STR_SC_HELP_NAME "Få hjälp"
#define STR_SC_HELP_DESCRIPTION "Hitta lösningar på problem med att installera och köra Zuna."
#define STR_SC_CONFIGURE_NAME "Konfigurera Zuna"
#define STR_SC_CONFIGURE_DESCRIPTION "Visa eller ändra inställningar för Zuna."
#define STR_SC_UPDATE_NAME "Sök efter uppdateringar"
#define STR_SC_UPDATE_DESCRIPTION "Se om det finns nya uppdateringar för Zuna."
#define STR_SC_ABOUT_NAME "Om Zuna"
#define STR_SC_ABOUT_DESCRIPTION "Visa versionsinformation för Zuna."
#define STR_SC_DOCS_NAME "Referensdokumentation"
#define STR_SC_DOCS_DESCRIPTION "Visa resurser för utvecklare, bland annat API-dokumentationen online."
#define STR_SC_FLIGHTDECK_NAME "Zuna Flight Deck"
#define STR_SC_FLIGHTDECK_DESCRIPTION "Starta verktygssviten Zuna Flight Deck för profilering och diagnostik."

#define STR_FIU_PROGRAMS_CAPTION "Installation av Zuna - Stäng program"
#define STR_FIU_PROGRAMS_TITLE "Stäng programmen för att fortsätta"
#define STR_FIU_PROGRAMS_EXPLANATION \
  "Programmen i listan använder Zuna. De måste stängas så att Zuna-filerna kan uppdateras."
#define STR_FIU_PROGRAMS_SAVE_WORK "Spara ditt arbete och klicka sedan på \042Stäng program och fortsätt\042."
#define STR_FIU_PROGRAMS_BUTTON "Stäng program och fortsätt"
#define STR_FIU_CONFIRM_PROGRAMS \
  "Spara ditt arbete och dina data!\n\nKlicka sedan på OK för att stänga programmen och slutföra uppdateringen av Zuna."
#define STR_FIU_BROWSERS_CAPTION "Installation av Zuna - Stäng webbläsare"
#define STR_FIU_BROWSERS_TITLE "Stäng webbläsarna för att fortsätta"
#define STR_FIU_BROWSERS_EXPLANATION \
  "Din webbläsare använder Zuna och måste stängas så att Zuna-filerna kan uppdateras."
#define STR_FIU_BROWSERS_SAVE_WORK "Spara ditt arbete och klicka sedan på \042Stäng och fortsätt\042."
#define STR_FIU_BROWSERS_BUTTON "Stäng och fortsätt"
#define STR_FIU_CONFIRM_BROWSERS \
  "Spara ditt arbete och dina data!\n\nKlicka sedan på OK för att stänga webbläsarna och slutföra uppdateringen av Zuna."
#define STR_FIU_BROWSER_IE "•  Windows Internet Explorer\n"
#define STR_FIU_BROWSER_FIREFOX "•  Mozilla Firefox\n"
#define STR_FIU_BROWSER_SAFARI "•  Safari\n"
#define STR_FIU_BROWSER_CHROME "•  Google Chrome\n"

#define STR_CONFIG_ERROR_CAPTION "Avinstallation av Zuna - Konfigurationsfel"
#define STR_CONFIG_PATH_TOO_LONG "Sökvägen till en konfigurationsfil är för lång. Sökvägar måste vara kortare än 260 tecken."
#define STR_CONFIG_CANNOT_OPEN "Konfigurationsfilen %s kunde inte öppnas."
#define STR_CONFIG_NOT_UTF8_TEXT "Konfigurationsfilen %s innehåller inte giltig UTF-8-text."
#define STR_CONFIG_PATH_NOT_ACCEPTABLE \
  "Sökvägen till en konfigurationsfil kan inte godtas. Använd en fullständig sökväg utan reserverade namn eller jokertecken."
#define STR_CONFIG_NOT_FOUND "Konfigurationsfilen %s hittades inte."
#define STR_CONFIG_FAULTY_LINE "Konfigurationsfilen %s innehåller ett fel på rad %s."
#define STR_CONFIG_INCOMPLETE_WRITE "Konfigurationsfilen kunde inte skrivas fullständigt."
#define STR_CONFIG_READ_ERROR "Konfigurationsfilen %s kunde inte läsas."
#define STR_CONFIG_UNEXPECTED "Ett oväntat fel uppstod när konfigurationen lästes."
#define STR_CONFIG_CANNOT_CLOSE "En konfigurationsfil kunde inte stängas."
#define STR_CONFIG_CANNOT_DELETE "En konfigurationsfil kunde inte tas bort."
#define STR_CONFIG_MISSING_ARGUMENT "En konfigurationsfil eller ett värde som behövs angavs inte."
#define STR_CONFIG_PATH_NOT_UTF8 "Sökvägen till en konfigurationsfil är inte giltig UTF-8-text."
#define STR_CONFIG_FILE_TOO_LARGE "Konfigurationsfilen %s är för stor. Den måste vara mindre än 1 MB."
#define STR_CONFIG_BAD_ARGUMENTS "Dessa kommandoradsargument stöds inte eller har ogiltiga värden:\n\n%s"
