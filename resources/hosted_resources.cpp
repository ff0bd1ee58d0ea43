// The executable's resources for the hosted build: the same ids and texts that
// uninstaller.rc compiles into the Windows executable.
#include <windows.h>

#include <iterator>

#include "platform/hosted/api/Resources.h"
#include "resources/config_strings.h"
#include "resources/filesinuse.h"
#include "resources/shortcut_strings.h"

namespace {

using hosted::ControlKind;
using hosted::ControlResource;
using hosted::DialogResource;
using hosted::StringResource;

constexpr StringResource kStrings[] = {
    {IDS_ZAB_DESCRIPTION, STR_ZAB_DESCRIPTION},
    {IDS_ZAB_APPLICATION_NAME, STR_ZAB_APPLICATION_NAME},
    {IDS_SC_VISIT_NAME, STR_SC_VISIT_NAME},
    {IDS_SC_VISIT_DESCRIPTION, STR_SC_VISIT_DESCRIPTION},
    {IDS_SC_HELP_NAME, STR_SC_HELP_NAME},
    {IDS_SC_HELP_DESCRIPTION, STR_SC_HELP_DESCRIPTION},
    {IDS_SC_CONFIGURE_NAME, STR_SC_CONFIGURE_NAME},
    {IDS_SC_CONFIGURE_DESCRIPTION, STR_SC_CONFIGURE_DESCRIPTION},
    {IDS_SC_UPDATE_NAME, STR_SC_UPDATE_NAME},
    {IDS_SC_UPDATE_DESCRIPTION, STR_SC_UPDATE_DESCRIPTION},
    {IDS_SC_ABOUT_NAME, STR_SC_ABOUT_NAME},
    {IDS_SC_ABOUT_DESCRIPTION, STR_SC_ABOUT_DESCRIPTION},
    {IDS_SC_DOCS_NAME, STR_SC_DOCS_NAME},
    {IDS_SC_DOCS_DESCRIPTION, STR_SC_DOCS_DESCRIPTION},
    {IDS_SC_FLIGHTDECK_NAME, STR_SC_FLIGHTDECK_NAME},
    {IDS_SC_FLIGHTDECK_DESCRIPTION, STR_SC_FLIGHTDECK_DESCRIPTION},
    {IDS_FIU_CONFIRM_BROWSERS, STR_FIU_CONFIRM_BROWSERS},
    {IDS_FIU_CONFIRM_BROWSERS_CAPTION, STR_FIU_BROWSERS_CAPTION},
    {IDS_FIU_BROWSER_IE, STR_FIU_BROWSER_IE},
    {IDS_FIU_BROWSER_FIREFOX, STR_FIU_BROWSER_FIREFOX},
    {IDS_FIU_BROWSER_SAFARI, STR_FIU_BROWSER_SAFARI},
    {IDS_FIU_CONFIRM_PROGRAMS, STR_FIU_CONFIRM_PROGRAMS},
    {IDS_FIU_CONFIRM_PROGRAMS_CAPTION, STR_FIU_PROGRAMS_CAPTION},
    {IDS_FIU_BROWSER_CHROME, STR_FIU_BROWSER_CHROME},
    {IDS_CONFIG_ERROR_CAPTION, STR_CONFIG_ERROR_CAPTION},
    {IDS_CONFIG_PATH_TOO_LONG, STR_CONFIG_PATH_TOO_LONG},
    {IDS_CONFIG_CANNOT_OPEN, STR_CONFIG_CANNOT_OPEN},
    {IDS_CONFIG_NOT_UTF8_TEXT, STR_CONFIG_NOT_UTF8_TEXT},
    {IDS_CONFIG_PATH_NOT_ACCEPTABLE, STR_CONFIG_PATH_NOT_ACCEPTABLE},
    {IDS_CONFIG_NOT_FOUND, STR_CONFIG_NOT_FOUND},
    {IDS_CONFIG_FAULTY_LINE, STR_CONFIG_FAULTY_LINE},
    {IDS_CONFIG_INCOMPLETE_WRITE, STR_CONFIG_INCOMPLETE_WRITE},
    {IDS_CONFIG_READ_ERROR, STR_CONFIG_READ_ERROR},
    {IDS_CONFIG_UNEXPECTED, STR_CONFIG_UNEXPECTED},
    {IDS_CONFIG_CANNOT_CLOSE, STR_CONFIG_CANNOT_CLOSE},
    {IDS_CONFIG_CANNOT_DELETE, STR_CONFIG_CANNOT_DELETE},
    {IDS_CONFIG_MISSING_ARGUMENT, STR_CONFIG_MISSING_ARGUMENT},
    {IDS_CONFIG_PATH_NOT_UTF8, STR_CONFIG_PATH_NOT_UTF8},
    {IDS_CONFIG_FILE_TOO_LARGE, STR_CONFIG_FILE_TOO_LARGE},
    {IDS_CONFIG_BAD_ARGUMENTS, STR_CONFIG_BAD_ARGUMENTS},
};

constexpr ControlResource kProgramsControls[] = {
    {IDC_FIU_HEADER, ControlKind::Static},      {IDC_FIU_WHITE_AREA, ControlKind::Static},
    {IDC_FIU_TITLE, ControlKind::Static},       {IDC_FIU_EXPLANATION, ControlKind::Static},
    {IDC_FIU_PROGRAM_LIST, ControlKind::SortedListBox}, {IDC_FIU_SAVE_WORK, ControlKind::Static},
    {IDOK, ControlKind::Button},
};

constexpr ControlResource kBrowsersControls[] = {
    {IDC_FIU_HEADER, ControlKind::Static},       {IDC_FIU_WHITE_AREA, ControlKind::Static},
    {IDC_FIU_TITLE, ControlKind::Static},        {IDC_FIU_EXPLANATION, ControlKind::Static},
    {IDC_FIU_BROWSER_LIST, ControlKind::Static}, {IDC_FIU_SAVE_WORK, ControlKind::Static},
    {IDOK, ControlKind::Button},
};

constexpr DialogResource kDialogs[] = {
    {IDD_FILESINUSE, STR_FIU_PROGRAMS_CAPTION, kProgramsControls, std::size(kProgramsControls),
     IDC_FIU_PROGRAM_LIST},
    {IDD_BROWSERINUSE, STR_FIU_BROWSERS_CAPTION, kBrowsersControls, std::size(kBrowsersControls),
     IDC_FIU_BROWSER_LIST},
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const hosted::ExecutableResources hostedExecutableResources = {
    kStrings, std::size(kStrings), kDialogs, std::size(kDialogs)};
