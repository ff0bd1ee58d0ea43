#include "windows/installerdll/AccessBridge.h"

#include <windows.h>

#include <string>
#include <vector>

#include "common/share/ScopedHandle.h"
#include "common/share/tstrings.h"
#include "resources/shortcut_strings.h"
#include "windows/common/AllUtils.h"
#include "windows/common/Dll.h"
#include "windows/common/FileUtils.h"
#include "windows/common/InstalledZunaVersions.h"
#include "windows/common/Logger.h"
#include "windows/common/RegistryKey.h"
#include "windows/common/RunResult.h"
#include "windows/common/SysInfo.h"
#include "windows/installerdll/utils.h"

namespace {

constexpr const char* kATsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Accessibility\\ATs";
constexpr const char* kBridgeKeyName = "Vantor_ZunaAccessBridge";
constexpr const char* kProfile =
    "<HCIModel><Accommodation type=\"mild vision\"/><Accommodation type=\"severe vision\"/>"
    "<Accommodation type=\"mild cognitive\"/><Accommodation type=\"severe cognitive\"/></HCIModel>";
// The first release that carries the bridge, compared as text.
constexpr const char* kBridgeRelease = "1.7.0_06";
constexpr UINT kSystemDirectorySize = 1024;
constexpr int kResourceStringSize = 2048;

// A library loaded by handle, freed on every path.
class LoadedLibrary {
 public:
  explicit LoadedLibrary(HMODULE module) : module_(module) {}
  ~LoadedLibrary() { freeLibraryIfPresent(module_); }
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;
  HMODULE get() const { return module_; }

 private:
  HMODULE module_;
};

// The bridge library's name by this program's and the system's bitness: the same in
// the runtime's bin and in the system directory.
const char* bridgeLibraryName() {
  if (!SysInfo::is32BitEnvironment()) return "HostAccessBridge-64.dll";
  return SysInfo::isX64OS() ? "HostAccessBridge-32.dll" : "HostAccessBridge.dll";
}

std::string systemDirectory() {
  char buffer[kSystemDirectorySize] = "";
  UINT length = GetSystemDirectoryA(buffer, sizeof buffer);
  if (length == 0 || length >= sizeof buffer) return {};
  return buffer;
}

// A resource string in its own UTF-16: the bridge's name and description are in the
// user-interface language, whose script the ANSI code page may lack.
std::wstring resourceString(UINT id) {
  WCHAR buffer[kResourceStringSize] = {};
  LoadStringW(GetModuleHandleA(nullptr), id, buffer, kResourceStringSize);
  return buffer;
}

// Whether a file is held open by someone: opening it to write with no sharing fails
// with a sharing violation.
bool isInUse(const std::string& path) {
  ScopedHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
  return !file.valid() && GetLastError() == ERROR_SHARING_VIOLATION;
}

// Puts a copy of `from` beside `to` and has it replace `to` at the next restart. A
// failing step ends it; the caller has nothing more to try.
void copyFileOnReboot(const std::string& from, const std::string& to) {
  logit(tstrings::format("-- Start in CopyFileOnReboot: %s to %s --", from.c_str(), to.c_str()));
  char folder[MAX_PATH + 1] = "";
  DWORD length = GetFullPathNameA((to + "\\..").c_str(), sizeof folder, folder, nullptr);
  if (length == 0 || length >= sizeof folder) return;
  char temporary[MAX_PATH] = "";
  if (GetTempFileNameA(folder, "REN", 0, temporary) == 0) return;
  if (!CopyFileA(from.c_str(), temporary, FALSE)) {
    // The empty placeholder would otherwise stay behind for good.
    DeleteFileA(temporary);
    return;
  }
  logit(tstrings::format("---- CopyFileOnReboot: %s to %s ----", temporary, to.c_str()));
  MoveFileOnReboot(temporary, to.c_str());
}

}  // namespace

int SetUpAccessBridge() {
  ZU_LOG_SCOPE(LogLevel::Trace, "SetUpAccessBridge");
  DeleteZABFilesAndKeys();
  InstalledZunaVersions installed(kZreRelease);
  ZunaVersionList runtimes64 = installed.view(0);
  RuntimeEntry* latest = runtimes64.getLatest();
  if (!latest) {
    LOG_ERROR(tstrings::format("No ZRE version found at %s: %d", kZreMainKey, static_cast<int>(GetLastError())));
    return 0;
  }
  if (lstrcmpiA(kBridgeRelease, latest->version.c_str()) > 0) return 0;
  CopyZABFilesToWindowsDir(latest->home);
  RegisterVantorZunaAccessBridgeKey(latest->home);
  return 1;
}

bool DeleteZABFilesAndKeys() {
  logit("DeleteZABFilesAndKeys** Start **");
  const char* library = bridgeLibraryName();
  if (SysInfo::is32BitEnvironment()) {
    logit("DeleteZABFilesAndKeys- Installer is 32-bit ");
    logit(SysInfo::isX64OS() ? "DeleteZABFilesAndKeys- OS is 64-bit " : "DeleteZABFilesAndKeys - OS is 32-bit ");
  } else {
    logit("DeleteZABFilesAndKeys - OS is 64-bit, Installer is 64-bit");
  }
  std::string system = systemDirectory();
  if (system.empty()) {
    // Without the folder the name would point at the root of the current drive.
    logit("DeleteZABFilesAndKeys- cannot find the system directory, the library stays");
  } else {
    std::string path = system + "\\" + library;
    if (DeleteFileA(path.c_str())) {
      RunResult::instance().fileRemoved();
    } else if (isInUse(path)) {
      MoveFileOnReboot(path.c_str(), nullptr);
    }
  }

  logit("DeleteZABFilesAndKeys- remove the registry ");
  REGSAM access = SysInfo::registryAccess(true);
  RegistryKey ats(HKEY_LOCAL_MACHINE);
  if (ats.OpenKey(kATsKey, access) != ERROR_SUCCESS) {
    logit("DeleteZABFilesAndKeys- ERROR - could open the registry with RegOpenKeyEx");
    return false;
  }
  if (SysInfo::isX64OS()) {
    logit("DeleteZABFilesAndKeys - RegDeleteKeyEx **");
    LoadedLibrary advapi(ZRE_System_LoadLibrary("AdvAPI32.dll"));
    if (!advapi.get()) {
      logit("DeleteZABFilesAndKeys - RegDeleteKeyEx could not load advapi32.dll");
    } else {
      using RegDeleteKeyExAFunction = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);
      auto deleteKeyEx = reinterpret_cast<RegDeleteKeyExAFunction>(
          reinterpret_cast<void*>(GetProcAddress(advapi.get(), "RegDeleteKeyExA")));
      if (!deleteKeyEx) {
        logit("DeleteZABFilesAndKeys - RegDeleteKeyEx could not GetProcAddress");
      } else {
        logit("DeleteZABFilesAndKeys- calling _RegDeleteKeyEx");
        deleteRegistryKey(ats.Handle(), kBridgeKeyName, access, deleteKeyEx);
      }
    }
  } else {
    logit("DeleteZABFilesAndKeys- RegDeleteKey");
    deleteRegistryKey(ats.Handle(), kBridgeKeyName, 0, nullptr);
  }
  return true;
}

bool CopyZABFilesToWindowsDir(const std::string& home) {
  logit("CopyZABFilesToWindowsDirCopyZABFilesToWindowsDir");
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((home + "\\bin\\zabswitch.exe").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    logit("CopyZABFilesToWindowsDir-- Not registering this ZRE for AccessBridge, as zabswitch.exe doesn't exist **");
    return false;
  }
  FindClose(search);

  const char* library = bridgeLibraryName();
  if (!SysInfo::is32BitEnvironment()) {
    logit("CopyZABFilesToWindowsDir- OS is 64-bit, Installer is 64-bit");
  } else if (SysInfo::isX64OS()) {
    logit("CopyZABFilesToWindowsDir- Installer is 32-bit, OS is 64bit");
  } else {
    logit("CopyZABFilesToWindowsDir- Installer is 32-bit, OS is 32bit");
  }
  std::string system = systemDirectory();
  if (system.empty()) {
    logit("CopyZABFilesToWindowsDir- cannot find the system directory, nothing copied");
    return true;
  }
  std::string from = home + "\\bin\\" + library;
  std::string to = system + "\\" + library;
  if (CopyFileA(from.c_str(), to.c_str(), FALSE)) {
    RunResult::instance().fileCreated();
  } else {
    copyFileOnReboot(from, to);
  }
  return true;
}

int SetVantorZunaAccessBridgeKeyValues(RegistryKey& key, const char* name, DWORD type, const std::string& text) {
  // String data is stored with its terminating NUL, as the registry expects of a
  // string value.
  std::vector<BYTE> data(text.begin(), text.end());
  data.push_back(0);
  if (key.SetValue(name, RegistryValue(type, std::move(data))) != ERROR_SUCCESS) {
    key.Close();
    logit(tstrings::format("SetVantorZunaAccessBridgeKeyValues - Could not set %s zabswitch key", name));
    return 0;
  }
  return 1;
}

int RegisterVantorZunaAccessBridgeKey(const std::string& home) {
  REGSAM access = SysInfo::registryAccess(true);
  RegistryKey key(HKEY_LOCAL_MACHINE);
  std::string path = std::string(kATsKey) + "\\" + kBridgeKeyName;
  LONG status = key.OpenKey(nullptr, access);
  if (status == ERROR_SUCCESS) status = key.CreateKey(path.c_str(), access);
  // Values are written through the key's opened handle.
  if (status == ERROR_SUCCESS) status = key.OpenKey(path.c_str(), access);
  if (status != ERROR_SUCCESS) {
    logit("RegisterVantorZunaAccessBridgeKeynot open Vantor_ZunaAccessBridge key");
    return 0;
  }
  struct Value {
    const char* name;
    DWORD type;
    std::string text;
    std::wstring resource;  // written wide instead of `text` when not empty
  };
  const Value values[] = {
      {"StartExe", REG_EXPAND_SZ, home + "\\bin\\zabswitch.exe", {}},
      {"ApplicationName", REG_SZ, {}, resourceString(IDS_ZAB_APPLICATION_NAME)},
      {"Description", REG_SZ, {}, resourceString(IDS_ZAB_DESCRIPTION)},
      {"Profile", REG_SZ, kProfile, {}},
      {"SimpleProfile", REG_SZ, "screenreader", {}},
      {"StartParams", REG_SZ, "-enable", {}},
  };
  for (const Value& value : values) {
    if (value.resource.empty()) {
      if (!SetVantorZunaAccessBridgeKeyValues(key, value.name, value.type, value.text)) return 0;
    } else if (key.SetWideString(value.name, value.type, value.resource) != ERROR_SUCCESS) {
      key.Close();
      logit(tstrings::format("SetVantorZunaAccessBridgeKeyValues - Could not set %s zabswitch key", value.name));
      return 0;
    }
  }
  return 1;
}
