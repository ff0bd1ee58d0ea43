// Resource ids and English texts of the start-menu shortcuts and of the access bridge's
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

#define STR_ZAB_DESCRIPTION \
  "Zuna Access Bridge, from Vantor, Inc. providing Assistive Technology access to Zuna applications"
#define STR_ZAB_APPLICATION_NAME "Enable Zuna Access Bridge"
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
