#include "windows/installerdll/ZunaPath.h"

#include <windows.h>
#include <sddl.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "common/share/Errors.h"
#include "common/share/ZunaVersion.h"
#include "common/share/tstrings.h"
#include "windows/common/FileUtils.h"
#include "windows/common/InstalledZunaVersions.h"
#include "windows/common/Logger.h"
#include "windows/common/RegistryKey.h"
#include "windows/common/SysInfo.h"
#include "windows/installerdll/utils.h"

namespace {

// The launchers the directory links to, in the order they are made and removed.
constexpr const char* kLaunchers[] = {"zuna.exe", "zunaw.exe", "zunaws.exe"};

constexpr const char* kZunapathSubdir = "Vantor\\Zuna\\zunapath";
constexpr const char* kEnvironmentKey = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr const char* kPathValue = "Path";
// Full access for the local system and administrators, read and execute for
// everyone; inherited by what the directory holds.
constexpr const char* kZunapathProtection = "D:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;WD)";
// The first release whose launchers are put on the command path.
constexpr const char* kZunapathRelease = "1.8.0_20";
// How many junction target names are tried before the last one is taken as it is.
constexpr DWORD kJunctionTargetAttempts = 10000;
// Runtime homes live in fixed buffers of this size.
constexpr DWORD kHomeSize = 260;

// Frees a descriptor that the security functions allocated.
class LocalMemory {
 public:
  explicit LocalMemory(void* memory) : memory_(memory) {}
  ~LocalMemory() {
    if (memory_) LocalFree(memory_);
  }
  LocalMemory(const LocalMemory&) = delete;
  LocalMemory& operator=(const LocalMemory&) = delete;

 private:
  void* memory_;
};

// The bin directory of the latest runtime over both views; empty when none is
// registered.
std::string latestRuntimeBin() {
  char name[kHomeSize] = "";
  char home[kHomeSize] = "";
  if (!GetLatestZREOrZDK32or64BitHome(kZreMainKey, name, sizeof name, home, sizeof home) || home[0] == '\0') {
    return {};
  }
  return combinePath(home, "bin");
}

// The C runtime's case folding of the narrow text it replaces: ASCII letters only.
std::wstring foldAscii(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return text;
}

// The entries between semicolons, empty ones kept; none for an empty text.
std::vector<std::wstring> splitEntries(const std::wstring& text) {
  std::vector<std::wstring> entries;
  if (text.empty()) return entries;
  size_t start = 0;
  for (size_t at = text.find(L';'); at != std::wstring::npos; at = text.find(L';', start)) {
    entries.push_back(text.substr(start, at - start));
    start = at + 1;
  }
  entries.push_back(text.substr(start));
  return entries;
}

CheckedRegistryKey openEnvironmentKey() {
  return CheckedRegistryKey::Open(RegistryRoot::LocalMachine(), kEnvironmentKey, 1);
}

}  // namespace

std::string GetZunapathDir() { return combinePath(SysInfo::getCommonAppDataDir(), kZunapathSubdir); }

void UninstallZunaZunawExecutables() {
  ZU_LOG_SCOPE(LogLevel::Trace, "`anonymous-namespace'::UninstallZunaZunawExecutables");
  InstalledZunaVersions installed(kZreRelease);
  ZunaVersionList all = installed.view(InstalledZunaVersions::kModeAll);
  RuntimeEntry* latest = all.getLatest();
  std::string fullVersion = latest ? getFullVersion(*latest) : std::string();
  if (!latest || ZreVersion(fullVersion) < ZreVersion(kZunapathRelease)) {
    LOG_INFO("cleaning zunapath stuff - latestZre is " + (latest ? fullVersion : std::string("N/A")));
    RemoveZunapathFromPath();
    DeleteSymlinksAndzunapathDir();
  } else {
    LOG_INFO("create/update symlinks - latestZre is " + fullVersion);
    UpdateZunapathSymlinks();
  }
}

void SetUpZunapath() {
  std::string dir = GetZunapathDir();
  bool vistaOrLater = SysInfo::osVersion() >= SysInfo::WindowsVista;
  // A plain directory of links is refreshed in place; a junction, or anything before
  // Vista, is rebuilt from nothing.
  if (FileUtils::exists(dir) && (!vistaOrLater || FileUtils::isLink(dir))) DeleteSymlinksAndzunapathDir();
  FileUtils::createDirectory(dir);
  setFilePersissions(dir);
  if (vistaOrLater) {
    UpdateZunapathSymlinks();
  } else {
    CreateZunapathJunction();
  }
  AddZunapathToPath();
}

void UpdateZunapathSymlinks() {
  std::string bin = latestRuntimeBin();
  if (bin.empty()) {
    // Links without a home would point nowhere; what is there stays until a runtime
    // is registered again.
    LOG_INFO("no runtime registered, zunapath links left as they are");
    return;
  }
  std::string dir = GetZunapathDir();
  FileUtils::deleteFilesInDirectory(dir);
  for (const char* launcher : kLaunchers) {
    FileUtils::createSymLink(combinePath(dir, launcher), combinePath(bin, launcher));
  }
}

void CreateZunapathJunction() {
  std::string bin = latestRuntimeBin();
  if (bin.empty()) {
    throw ZdsError<std::runtime_error>(std::runtime_error("failed to get homeDir for the the latest ZRE"), ZU_HERE);
  }
  std::string dir = GetZunapathDir();
  DWORD ticks = GetTickCount();
  std::string target;
  for (DWORD i = 0; i < kJunctionTargetAttempts; ++i) {
    target = dir + "_target_" + std::to_string(static_cast<DWORD>(ticks + i));
    if (!FileUtils::exists(target)) break;
  }
  LOG_INFO("zunapath targetDir: " + target);
  FileUtils::createDirectory(target);
  setFilePersissions(target);
  for (const char* launcher : kLaunchers) {
    FileUtils::copyFile(combinePath(bin, launcher), combinePath(target, launcher), true);
  }
  FileUtils::createJunction(dir, target);
}

void DeleteSymlinksAndzunapathDir() {
  std::string dir = GetZunapathDir();
  if (!FileUtils::exists(dir)) {
    LOG_WARNING("zunapath directory does not exist");
    return;
  }
  if (!FileUtils::isLink(dir)) {
    for (const char* launcher : kLaunchers) {
      // A link that is gone already (a run ended between deleting the links and making
      // them again) counts as deleted; anything else in its place is still an error.
      std::string link = combinePath(dir, launcher);
      if (FileUtils::exists(link)) FileUtils::deleteSymLink(link);
    }
    FileUtils::deleteDirectory(dir);
    return;
  }
  std::string target = FileUtils::getLinkTarget(dir);
  FileUtils::deleteJunction(dir);
  for (const char* launcher : kLaunchers) {
    std::string file = combinePath(target, launcher);
    if (!FileUtils::exists(file)) {
      LOG_WARNING("file " + file + " not found");
    } else if (!FileUtils::tryDeleteFile(file)) {
      LOG_INFO("cannot delete file " + file + ", schedule deletion on reboot");
      FileUtils::deleteOnReboot(file);
    }
  }
  if (!FileUtils::tryDeleteDirectory(target)) {
    LOG_INFO("cannot delete directory " + target + ", schedule deletion on reboot");
    FileUtils::deleteOnReboot(target);
  }
}

// Path is read and written through the wide functions: an entry in a script the ANSI
// code page cannot hold (a folder named in another user's script) must come back
// unchanged.
void AddZunapathToPath() {
  CheckedRegistryKey environment = openEnvironmentKey();
  std::wstring path = environment.QueryWideStringValue(kPathValue);
  std::wstring dir = tstrings::fromACP(GetZunapathDir());
  std::wstring folded = foldAscii(dir);
  for (const std::wstring& entry : splitEntries(foldAscii(path))) {
    if (entry == folded) return;
  }
  environment.SetExpandWideStringValue(kPathValue, dir + L";" + path);
  NotifySytemChanges();
}

void RemoveZunapathFromPath() {
  CheckedRegistryKey environment = openEnvironmentKey();
  std::wstring path = environment.QueryWideStringValue(kPathValue);
  std::wstring folded = foldAscii(tstrings::fromACP(GetZunapathDir()));
  std::wstring kept;
  for (const std::wstring& entry : splitEntries(path)) {
    if (foldAscii(entry) == folded) continue;
    if (!kept.empty()) kept += L";";
    kept += entry;
  }
  environment.SetExpandWideStringValue(kPathValue, kept);
  NotifySytemChanges();
}

void NotifySytemChanges() {
  if (!SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"),
                           SMTO_ABORTIFHUNG, 5000, nullptr)) {
    LOG_ERROR(tstrings::format("%s failed with %s", "SendMessageTimeout", systemErrorText(GetLastError()).c_str()));
  }
}

void setFilePersissions(const std::string& path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kZunapathProtection, SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    ZU_THROW_SYS_ERROR("ConvertStringSecurityDescriptorToSecurityDescriptor failed");
  }
  LocalMemory owner(descriptor);
  if (!SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, descriptor)) {
    ZU_THROW_SYS_ERROR("SetFileSecurity failed");
  }
}
