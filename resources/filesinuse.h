// Resource ids and layout of the close-programs and close-browsers dialogs. Shared by
// the resource script and by the code that loads them; the texts of each language are
// in lang/.
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

// The areas that show the dialogs' texts, in dialog units (the same in every language).
#define FIU_DIALOG_WIDTH 333
#define FIU_TITLE_WIDTH 333
#define FIU_TITLE_HEIGHT 15
#define FIU_EXPLANATION_WIDTH 270
#define FIU_EXPLANATION_HEIGHT 20
#define FIU_SAVE_WORK_WIDTH 303
#define FIU_SAVE_WORK_HEIGHT 15
#define FIU_BUTTON_WIDTH 120
#define FIU_BUTTON_HEIGHT 14
