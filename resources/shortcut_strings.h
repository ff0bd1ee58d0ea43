// Resource ids of the start-menu shortcuts and of the access bridge's
// accessibility registration. Shared by the resource script and by the code that loads
// them. The web addresses the shortcuts open are not resources; they live with the code
// that creates the shortcuts.
#pragma once

#define IDS_ZAB_DESCRIPTION 1020
#define IDS_ZAB_APPLICATION_NAME 1021
#define IDS_SC_VISIT_NAME 1022
#define IDS_SC_VISIT_DESCRIPTION 1023
#define IDS_SC_HELP_NAME 1024
#define IDS_SC_HELP_DESCRIPTION 1025
#define IDS_SC_CONFIGURE_NAME 1026
#define IDS_SC_CONFIGURE_DESCRIPTION 1027
#define IDS_SC_UPDATE_NAME 1028
#define IDS_SC_UPDATE_DESCRIPTION 1029
#define IDS_SC_ABOUT_NAME 1030
#define IDS_SC_ABOUT_DESCRIPTION 1031
#define IDS_SC_DOCS_NAME 1034
#define IDS_SC_DOCS_DESCRIPTION 1035
#define IDS_SC_FLIGHTDECK_NAME 1036
#define IDS_SC_FLIGHTDECK_DESCRIPTION 1037
