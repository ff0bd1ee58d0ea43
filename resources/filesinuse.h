// Resource ids and English texts of the close-programs and close-browsers dialogs.
// Shared by the resource script and by the code that loads them.
#pragma once

#define IDD_FILESINUSE 8900
#define IDD_BROWSERINUSE 8901
#define IDC_FIU_HEADER 8904
#define IDB_FIU_HEADER 8905
#define IDC_FIU_WHITE_AREA 8906
#define IDC_FIU_TITLE 8907
#define IDC_FIU_EXPLANATION 8908
#define IDC_FIU_SAVE_WORK 8909
#define IDC_FIU_PROGRAM_LIST 8910
#define IDC_FIU_BROWSER_LIST 8917

#define IDS_FIU_CONFIRM_BROWSERS 8915
#define IDS_FIU_CONFIRM_BROWSERS_CAPTION 8916
#define IDS_FIU_BROWSER_IE 8918
#define IDS_FIU_BROWSER_FIREFOX 8919
#define IDS_FIU_BROWSER_SAFARI 8920
#define IDS_FIU_CONFIRM_PROGRAMS 8921
#define IDS_FIU_CONFIRM_PROGRAMS_CAPTION 8922
#define IDS_FIU_BROWSER_CHROME 8925

// Texts in the ANSI code page (Windows-1252): \225 is the bullet.
#define STR_FIU_PROGRAMS_CAPTION "Zuna Setup - Close Programs"
#define STR_FIU_BROWSERS_CAPTION "Zuna Setup - Close Browsers"
#define STR_FIU_CONFIRM_BROWSERS \
  "Save your work and data!\n\nThen click OK to close your browsers and complete the Zuna update."
#define STR_FIU_CONFIRM_PROGRAMS \
  "Save your work and data!\n\nThen click OK to close your programs and complete the Zuna update."
#define STR_FIU_BROWSER_IE "\225  Windows Internet Explorer\n"
#define STR_FIU_BROWSER_FIREFOX "\225  Mozilla Firefox\n"
#define STR_FIU_BROWSER_SAFARI "\225  Safari\n"
#define STR_FIU_BROWSER_CHROME "\225  Google Chrome\n"
