#include "windows/installerdll/StartMenu.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <iterator>
#include <string>
#include <vector>

#include "common/share/Errors.h"
#include "common/share/tstrings.h"
#include "resources/shortcut_strings.h"
#include "windows/common/RunResult.h"
#include "windows/common/AllUtils.h"
#include "windows/common/Logger.h"
#include "windows/installerdll/utils.h"

namespace {

// Runtimes older than this (by key name, compared as text) get no shortcuts.
constexpr const char* kOldestShortcutRelease = "1.7.0_40";

// COM on this thread for one scope: left again only when entering succeeded.
class ComScope {
 public:
  ComScope() : result_(CoInitialize(nullptr)) {}
  ~ComScope() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT result_;
};

// Owns one reference to a COM interface.
template <class Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  Interface* operator->() const { return pointer_; }
  Interface* get() const { return pointer_; }
  // The address to receive a new reference; what was held is released first.
  void** put() {
    reset();
    return reinterpret_cast<void**>(&pointer_);
  }
  void reset() {
    if (pointer_) pointer_->Release();
    pointer_ = nullptr;
  }

 private:
  Interface* pointer_ = nullptr;
};

struct ShortcutEntry {
  UINT nameId;
  UINT descriptionId;
  // Either a web address or a file below the home named by `inHome`.
  const char* url;
  const char* homeRelativeTarget;
  const char* arguments;
};

constexpr ShortcutEntry kRuntimeShortcuts[] = {
    {IDS_SC_VISIT_NAME, IDS_SC_VISIT_DESCRIPTION, kZunaHomePageUrl, nullptr, nullptr},
    {IDS_SC_HELP_NAME, IDS_SC_HELP_DESCRIPTION, kZunaHelpPageUrl, nullptr, nullptr},
    {IDS_SC_CONFIGURE_NAME, IDS_SC_CONFIGURE_DESCRIPTION, nullptr, "\\bin\\zunacpl.exe", nullptr},
    {IDS_SC_UPDATE_NAME, IDS_SC_UPDATE_DESCRIPTION, nullptr, "\\bin\\zunacpl.exe", "-tab update"},
    {IDS_SC_ABOUT_NAME, IDS_SC_ABOUT_DESCRIPTION, nullptr, "\\bin\\zunacpl.exe", "-tab about"},
};

// The names deleted at uninstall, in the order they are deleted.
constexpr UINT kRuntimeShortcutNames[] = {IDS_SC_ABOUT_NAME, IDS_SC_VISIT_NAME, IDS_SC_CONFIGURE_NAME,
                                          IDS_SC_HELP_NAME, IDS_SC_UPDATE_NAME};
constexpr UINT kKitShortcutNames[] = {IDS_SC_DOCS_NAME, IDS_SC_FLIGHTDECK_NAME};

// The folder is ANSI code-page text (the programs menu as the system named it); the
// name is the resource's own UTF-16 text, which may be in a script the code page lacks.
std::wstring shortcutPath(const std::string& folder, const WCHAR* name) {
  return tstrings::fromACP(folder) + L"\\" + std::wstring(name) + L".lnk";
}

std::string logText(const std::wstring& text) { return tstrings::toAnsiText(text); }
std::string logText(const WCHAR* text) { return tstrings::toAnsiText(std::wstring(text)); }

void logLoadStringFailure() {
  LOG_ERROR(tstrings::format("%s failed with %s", "LoadStringForShortCutItems: LoadString()",
                             systemErrorText(GetLastError()).c_str()));
}

// The all-users programs menu; false when the system cannot say.
bool commonProgramsFolder(std::string& folder) {
  char path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, path))) return false;
  folder = path;
  return true;
}

void createShortcutFolder(const std::string& folder) {
  if (CreateDirectoryA(folder.c_str(), nullptr)) return;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    logit("AddZunaOnStartMenu - Zuna and/or 'Zuna Development Kit' directory already exists, proceed to update "
          "shortcut items.");
  } else {
    logit("AddZunaOnStartMenu - CreateDirectory api failed, Zuna dir not created");
  }
}

// Loads the strings of one shortcut and makes it; false only when a string is missing.
bool makeShortcut(const std::string& folder, UINT nameId, UINT descriptionId, const std::string& icon,
                  const std::string& target, const char* arguments) {
  std::vector<WCHAR> name(kShortcutTextSize), description(kShortcutTextSize);
  if (!LoadStringForShortCutItems(nameId, descriptionId, name.data(), description.data())) {
    logit("Zuna shortcut Start Menu item not creatd - LoadStringForShortCutItems() failed ");
    return false;
  }
  CreateShortCutItem(folder.c_str(), name.data(), icon.c_str(), target.c_str(), arguments, description.data());
  return true;
}

}  // namespace

int AddZunaOnStartMenu() {
  std::vector<char> zreName(kShortcutTextSize), zreHome(kShortcutTextSize);
  std::vector<char> zdkName(kShortcutTextSize), zdkHome(kShortcutTextSize);
  bool haveZre = GetLatestZREOrZDK32or64BitHome(kZreMainKey, zreName.data(), kShortcutTextSize, zreHome.data(),
                                                kShortcutTextSize) != 0;
  bool haveZdk = GetLatestZREOrZDK32or64BitHome(kZdkMainKey, zdkName.data(), kShortcutTextSize, zdkHome.data(),
                                                kShortcutTextSize) != 0;
  if (!haveZre && !haveZdk) {
    logit("There is NO ZRE or ZDK on the system");
    return 0;
  }
  std::string programs;
  bool found;
  {
    ComScope com;
    found = commonProgramsFolder(programs);
  }
  if (!found) {
    logit("AddZunaOnStartMenu - SHGetFolderPath  call() failed");
    return 0;
  }
  const std::string zreFolder = programs + "\\" + kZunaStartMenuFolder;
  const std::string zdkFolder = programs + "\\" + kZdkStartMenuFolder;
  if (haveZre) createShortcutFolder(zreFolder);
  if (haveZdk) createShortcutFolder(zdkFolder);

  const std::string zre = zreHome.data();
  const std::string zdk = zdkHome.data();
  if (haveZre) {
    const std::string icon = zre + "\\bin\\zuna.exe";
    for (const ShortcutEntry& entry : kRuntimeShortcuts) {
      std::string target = entry.url ? entry.url : zre + entry.homeRelativeTarget;
      if (!makeShortcut(zreFolder, entry.nameId, entry.descriptionId, icon, target, entry.arguments)) return 0;
    }
  }
  if (!haveZdk) return 1;
  const std::string flightDeck = zdk + "\\bin\\zmc.exe";
  // Without a runtime there is no zuna.exe to lend the documentation its icon; the
  // kit's own tool has one.
  const std::string docsIcon = haveZre ? zre + "\\bin\\zuna.exe" : flightDeck;
  if (!makeShortcut(zdkFolder, IDS_SC_DOCS_NAME, IDS_SC_DOCS_DESCRIPTION, docsIcon, kZunaApiDocsUrl, nullptr)) {
    return 0;
  }
  if (!makeShortcut(zdkFolder, IDS_SC_FLIGHTDECK_NAME, IDS_SC_FLIGHTDECK_DESCRIPTION, flightDeck, flightDeck,
                    nullptr)) {
    return 0;
  }
  return 1;
}

int RemoveZunaFromStartMenu(int product) {
  if (product != 0 && product != 1) {
    logit(tstrings::format("RemoveZunaFromStartMenu - unknown product %d", product));
    return 0;
  }
  std::string programs;
  if (!commonProgramsFolder(programs)) {
    logit("RemoveZunaFromStartMenu - SHGetFolderPath  call() failed");
    return 0;
  }
  if (product == 0) {
    std::string folder = programs + "\\" + kZunaStartMenuFolder;
    return RemoveZunaOrZDKFiles(kRuntimeShortcutNames, kZreMainKey, folder.c_str(),
                                static_cast<int>(std::size(kRuntimeShortcutNames)));
  }
  std::string folder = programs + "\\" + kZdkStartMenuFolder;
  return RemoveZunaOrZDKFiles(kKitShortcutNames, kZdkMainKey, folder.c_str(),
                              static_cast<int>(std::size(kKitShortcutNames)));
}

int RemoveZunaOrZDKFiles(const UINT* nameIds, const char* mainKey, const char* folder, int count) {
  if (!nameIds || !mainKey || !folder) return 0;
  std::vector<char> latest(kShortcutTextSize), home(kShortcutTextSize);
  if (GetLatestZREOrZDK32or64BitHome(mainKey, latest.data(), kShortcutTextSize, home.data(), kShortcutTextSize) &&
      lstrcmpiA(latest.data(), kOldestShortcutRelease) >= 0) {
    AddZunaOnStartMenu();
    return 1;
  }
  HINSTANCE instance = GetModuleHandleA(nullptr);
  std::vector<WCHAR> name(kShortcutTextSize);
  for (int i = 0; i < count; ++i) {
    if (LoadStringW(instance, nameIds[i], name.data(), kShortcutTextSize) == 0) {
      logLoadStringFailure();
      return 0;
    }
    std::wstring path = shortcutPath(folder, name.data());
    if (!DeleteFileW(path.c_str())) {
      logit(tstrings::format("RemoveZunaFromStartMenu() - DeleteFile(%s) call failed ", logText(path).c_str()));
    } else {
      RunResult::instance().fileRemoved();
    }
  }
  if (!RemoveDirectoryA(folder)) {
    logit(tstrings::format(
        "RemoveZunaZDKFiles() -  RemoveDirectory api failed call failed, %s not removed from Start Menu", folder));
    return 0;
  }
  return 1;
}

int CreateShortCutItem(const char* folder, const WCHAR* name, const char* iconPath, const char* target,
                       const char* arguments, const WCHAR* description) {
  if (!folder || !name || !iconPath || !target || !description) return 0;
  if (!arguments) arguments = "";
  ComScope com;
  // The wide interface, so that a name and description in any script survive; the
  // paths and arguments are ANSI text and are widened as the narrow interface would.
  ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_ALL, IID_IShellLinkW, link.put()))) {
    logit("CreateShortCutItem() - pZunaShortCutItem.CoCreateInstance call failed");
    return 0;
  }
  if (FAILED(link->SetPath(tstrings::fromACP(target).c_str()))) {
    logit(tstrings::format(" pZunaShortCutItem->SetPath(%s) call failed,  Error Code: %d\n", target,
                           static_cast<int>(GetLastError())));
    return 0;
  }
  if (FAILED(link->SetArguments(tstrings::fromACP(arguments).c_str()))) {
    logit(tstrings::format(" pZunaShortCutItem->SetArguments(%s) call failed,  Error Code: %d\n", arguments,
                           static_cast<int>(GetLastError())));
    return 0;
  }
  if (FAILED(link->SetIconLocation(tstrings::fromACP(iconPath).c_str(), 0))) {
    logit(tstrings::format(" pZunaShortCutItem->SetIconLocation(%s) call failed,  Error Code: %d\n", iconPath,
                           static_cast<int>(GetLastError())));
    return 0;
  }
  if (FAILED(link->SetDescription(description))) {
    logit(tstrings::format(" pZunaShortCutItem->SetDescription(%s) call failed,  Error Code: %d\n",
                           logText(description).c_str(), static_cast<int>(GetLastError())));
    return 0;
  }
  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.put()))) {
    logit("CreateShortCutItem() - pZunaShortCutItem->QueryInterface call failed");
    return 0;
  }
  // The folder was named in the ANSI code page, so it is widened with that page (the
  // thread's page belongs to the user's formats and may be another one).
  std::wstring path = shortcutPath(folder, name);
  if (FAILED(file->Save(path.c_str(), TRUE))) {
    logit("CreateShortCutItem() - pZunaShortCutItemFile->Save call failed");
    return 0;
  }
  RunResult::instance().fileCreated();
  return 1;
}

int LoadStringForShortCutItems(UINT nameId, UINT descriptionId, WCHAR* name, WCHAR* description) {
  if (!name || !description) return 0;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  if (LoadStringW(instance, nameId, name, kShortcutTextSize) == 0 ||
      LoadStringW(instance, descriptionId, description, kShortcutTextSize) == 0) {
    logLoadStringFailure();
    return 0;
  }
  return 1;
}
