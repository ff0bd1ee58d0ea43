#include "windows/filesinuse/FilesInUse.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstring>
#include <vector>
#include <exception>
#include <set>

#include "common/share/ScopedHandle.h"
#include "common/share/tstrings.h"
#include "windows/common/AllUtils.h"
#include "windows/common/SysInfo.h"

namespace {

// The order in which an ancestor's image path is tested for a browser.
constexpr const char* kBrowserImageOrder[] = {"firefox.exe", "iexplore.exe", "Safari.exe", "chrome.exe"};
// The runtime's own background tools: they hold its files but go with the runtime.
constexpr const char* kOwnTools[] = {"zbroker.exe", "zusched.exe", "zucheck.exe"};
// The compiler's runtime libraries that the runtime ships; loading only these keeps
// nothing of the runtime busy that the uninstall cannot handle.
constexpr const char* kCompilerRuntime[] = {"MSVCR100.dll", "MSVCR71.dll"};
// The runtime's launchers and deployment libraries installed in the system directory.
constexpr const char* kSystemFiles[] = {"zuna.exe", "zunaw.exe", "zunaws.exe", "npdeployzuna1.dll",
                                        "deployZuna1.dll"};

template <size_t N>
bool IsOneOf(const char* name, const char* const (&list)[N]) {
  for (const char* entry : list) {
    if (SameName(name, entry)) return true;
  }
  return false;
}

char FoldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool HasPrefixIgnoringCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (FoldCase(text[i]) != FoldCase(prefix[i])) return false;
  }
  return true;
}

// The long form of a path; the path itself when it has none. A short path can grow past
// MAX_PATH in its long form, so a longer answer is asked for again with room for it.
std::string LongFormOrSelf(const std::string& path) {
  std::vector<char> longPath(MAX_PATH);
  DWORD length = GetLongPathNameA(path.c_str(), longPath.data(), static_cast<DWORD>(longPath.size()));
  if (length >= longPath.size()) {
    longPath.resize(length);
    length = GetLongPathNameA(path.c_str(), longPath.data(), static_cast<DWORD>(longPath.size()));
  }
  return length == 0 || length >= longPath.size() ? path : std::string(longPath.data(), length);
}

}  // namespace

bool SameName(const char* a, const char* b) {
  std::string first = a;
  return first.size() == std::strlen(b) && HasPrefixIgnoringCase(first, b);
}

void CFilesInUse::SetDirectories(const std::string& directoryList) {
  directories.clear();
  for (std::string piece : tstrings::split(directoryList, ";")) {
    if (piece.empty()) continue;
    if (piece.front() == '"') {
      piece.erase(0, 1);
      if (!piece.empty() && piece.back() == '"') piece.pop_back();
    }
    directories.push_back(LongFormOrSelf(piece));
  }
}

bool CFilesInUse::ProcessUsesRuntime(DWORD processId, const std::string& systemDir,
                                     const std::string& systemWow64Dir) const {
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId));
  if (!snapshot.valid()) return false;
  bool consultWow64 = !systemWow64Dir.empty() && directories.size() > 1 && SysInfo::isX64OS();
  MODULEENTRY32 module{};
  module.dwSize = sizeof(module);
  for (BOOL more = Module32First(snapshot.get(), &module); more; more = Module32Next(snapshot.get(), &module)) {
    std::string path = LongFormOrSelf(module.szExePath);
    // A directory matches by its length alone, so a sibling whose name begins with it counts too.
    for (const std::string& directory : directories) {
      if (HasPrefixIgnoringCase(path, directory) && !IsOneOf(module.szModule, kCompilerRuntime)) return true;
    }
    if (!IsOneOf(module.szModule, kSystemFiles)) continue;
    if (!systemDir.empty() && HasPrefixIgnoringCase(path, systemDir)) return true;
    if (consultWow64 && HasPrefixIgnoringCase(path, systemWow64Dir)) return true;
  }
  return false;
}

DWORD CFilesInUse::GetParentProcessId(DWORD processId) {
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.valid()) return 0;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == processId) return entry.th32ParentProcessID;
  }
  return 0;
}

bool CFilesInUse::ProcessImageContains(DWORD processId, const char* name) {
  ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
  if (!process.valid()) return false;
  char image[MAX_PATH] = {};
  if (GetModuleFileNameExA(process.get(), nullptr, image, MAX_PATH) == 0) return false;
  return std::strstr(image, name) != nullptr;
}

void CFilesInUse::Record(const PROCESSENTRY32& entry) {
  if (count < kMaxProcesses) processes[count++] = entry;
}

int CFilesInUse::GetProcessList() {
  count = 0;
  browserHosted = firefoxInUse = safariInUse = chromeInUse = 0;
  onlyBrowsers = 1;

  std::string systemDir;
  std::string systemWow64Dir;
  try {
    systemDir = SysInfo::getSystem32Dir();
    if (directories.size() > 1 && SysInfo::isX64OS()) systemWow64Dir = SysInfo::getSystemWow64Dir();
  } catch (const std::exception& e) {
    reportException(ZU_HERE, e);
  } catch (...) {
    reportUnknownException(ZU_HERE);
  }

  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.valid()) return 0;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry)) {
    if (!ProcessUsesRuntime(entry.th32ProcessID, systemDir, systemWow64Dir)) continue;
    if (IsOneOf(entry.szExeFile, kOwnTools)) continue;
    if (SameName(entry.szExeFile, "iexplore.exe")) {
      browserHosted = 1;
      Record(entry);
      continue;
    }
    if (SameName(entry.szExeFile, "firefox.exe") || SameName(entry.szExeFile, "Safari.exe") ||
        SameName(entry.szExeFile, "chrome.exe")) {
      if (SameName(entry.szExeFile, "firefox.exe")) firefoxInUse = 1;
      if (SameName(entry.szExeFile, "Safari.exe")) safariInUse = 1;
      if (SameName(entry.szExeFile, "chrome.exe")) chromeInUse = 1;
      Record(entry);
      continue;
    }
    // Climb the ancestors to the first browser. Parent ids may be reused and form a
    // cycle; a walk that comes back to a process it has seen found no browser.
    std::set<DWORD> visited{entry.th32ProcessID};
    DWORD current = entry.th32ProcessID;
    while (true) {
      DWORD parent = GetParentProcessId(current);
      if (parent == 0 || !visited.insert(parent).second) {
        onlyBrowsers = 0;
        break;
      }
      bool isBrowser = false;
      for (const char* browser : kBrowserImageOrder) {
        if (ProcessImageContains(parent, browser)) {
          isBrowser = true;
          break;
        }
      }
      if (isBrowser) {
        browserHosted = 1;
        break;
      }
      current = parent;
    }
    Record(entry);
  }
  return count >= 1 ? 1 : 0;
}
