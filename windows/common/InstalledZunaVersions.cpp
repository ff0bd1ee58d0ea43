#include "windows/common/InstalledZunaVersions.h"

#include "common/share/ScopedHandle.h"
#include "windows/common/Executor.h"
#include "windows/common/FileUtils.h"
#include "windows/common/RegistryKey.h"
#include "windows/common/SysInfo.h"

namespace {

constexpr const char* kRuntimeKey = "SOFTWARE\\Corvane\\Zuna Runtime Environment";
constexpr const char* kLauncher = "\\bin\\zuna.exe";

REGSAM accessOf(DWORD registryView) {
  return KEY_READ | (registryView == RuntimeEntry::kView32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY);
}

// The launcher of a home, or nothing when the path would not fit MAX_PATH.
std::optional<std::string> launcherOf(const std::string& home) {
  std::string path = home + kLauncher;
  if (path.size() + 1 > MAX_PATH) return std::nullopt;
  return path;
}

bool isValidHome(const std::string& home) {
  auto launcher = launcherOf(home);
  if (!launcher) return false;
  ScopedHandle file(CreateFileA(launcher->c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.valid();
}

bool hasRequiredValues(const std::string& name, DWORD registryView) {
  RegistryKey key(HKEY_LOCAL_MACHINE);
  if (key.OpenKey(combinePath(kRuntimeKey, name).c_str(), accessOf(registryView)) != ERROR_SUCCESS) return false;
  for (const char* value : {"ZunaHome", "MicroVersion", "RuntimeLib"}) {
    if (RegQueryValueExA(key.Handle(), value, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) return false;
  }
  return true;
}

// The entry of a version key, or nothing when it has no REG_SZ ZunaHome.
std::unique_ptr<RuntimeEntry> readEntry(RegistryKey& versionKey, const std::string& name, DWORD registryView) {
  RegistryValue home;
  if (versionKey.QueryValue("ZunaHome", home) != ERROR_SUCCESS) return nullptr;
  auto text = home.asString();
  if (!text) return nullptr;
  // A relative home would find, and start, a launcher wherever the current drive is;
  // so would a drive's root, whose bin folder anyone may create. The home is judged
  // without its trailing backslash, as FindZunaHome judges it.
  std::string bare = *text;
  if (!bare.empty() && bare.back() == '\\') bare.pop_back();
  if (!isAbsolutePath(bare)) return nullptr;
  auto entry = std::make_unique<RuntimeEntry>();
  entry->home = *text;
  entry->version = name;
  entry->familyVersion = name.substr(0, name.find('_'));
  entry->registryView = registryView;
  RegistryKey msi(versionKey.Handle());
  if (msi.OpenKey("MSI", accessOf(registryView)) == ERROR_SUCCESS) {
    RegistryValue fullVersion;
    if (msi.QueryValue("FullVersion", fullVersion) == ERROR_SUCCESS) entry->fullVersion = fullVersion.asString();
  }
  return entry;
}

}  // namespace

RuntimeEntry* ZunaVersionList::getLatest() {
  if (count_ <= 0) return nullptr;
  RuntimeEntry* latest = entries_[0].get();
  for (int i = 1; i < count_; ++i) {
    if (entries_[i]->version > latest->version) latest = entries_[i].get();
  }
  return latest;
}

InstalledZunaVersions::InstalledZunaVersions(const std::string& leaving) {
  load(RuntimeEntry::kView32, leaving);
  count32_ = entries_.size();
  if (SysInfo::isX64OS()) load(RuntimeEntry::kView64, leaving);
}

InstalledZunaVersions::~InstalledZunaVersions() {
  while (!entries_.empty()) entries_.pop_back();
}

ZunaVersionList InstalledZunaVersions::view(int mode) const {
  const int all = static_cast<int>(entries_.size());
  const int first64 = static_cast<int>(count32_);
  switch (mode) {
    case kMode32: return ZunaVersionList(entries_.data(), first64);
    case 0:
    case kMode64: return ZunaVersionList(entries_.data() + first64, all - first64);
    case kModeAll: return ZunaVersionList(entries_.data(), all);
    default: return ZunaVersionList();
  }
}

size_t InstalledZunaVersions::load(DWORD registryView, const std::string& leaving) {
  RegistryKey root(HKEY_LOCAL_MACHINE);
  if (root.OpenKey(kRuntimeKey, accessOf(registryView)) != ERROR_SUCCESS) return 0;
  const size_t start = entries_.size();
  size_t appended = 0;
  char name[RegistryKey::kEnumNameSize];
  for (DWORD index = 0; root.EnumSubKey(index, name) == ERROR_SUCCESS; ++index) {
    if (!leaving.empty() && lstrcmpiA(name, leaving.c_str()) == 0) continue;
    RegistryKey versionKey(root.Handle());
    if (versionKey.OpenKey(name, accessOf(registryView)) != ERROR_SUCCESS) continue;
    auto entry = readEntry(versionKey, name, registryView);
    if (!entry) continue;

    // A later key of the same home in this view replaces an entry with a smaller name.
    bool replaced = false;
    for (size_t i = start; i < entries_.size(); ++i) {
      if (entries_[i]->home == entry->home && entry->version > entries_[i]->version) {
        entries_[i] = std::make_unique<RuntimeEntry>(*entry);
        replaced = true;
      }
    }
    if (replaced) continue;
    if (isValidHome(entry->home) && hasRequiredValues(name, registryView)) {
      entries_.push_back(std::move(entry));
      ++appended;
    }
  }
  return appended;
}

std::string getFullVersion(RuntimeEntry& entry) {
  if (!entry.fullVersion) {
    auto launcher = launcherOf(entry.home);
    if (!launcher) return {};
    std::string output;
    if (ExecProcessWithPipe(*launcher, "-fullversion", output) == 0) {
      size_t open = output.find('"');
      size_t close = open == std::string::npos ? std::string::npos : output.find('"', open + 1);
      if (close != std::string::npos) entry.fullVersion = output.substr(open + 1, close - open - 1);
    }
  }
  return entry.fullVersion.value_or(std::string());
}
