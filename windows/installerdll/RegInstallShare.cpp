#include "windows/installerdll/RegInstallShare.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <optional>
#include <vector>

#include "common/share/progress/ClientOperation.h"
#include "windows/common/RunResult.h"
#include "windows/common/AllUtils.h"
#include "windows/common/FileUtils.h"
#include "windows/common/InstallConfigData.h"
#include "windows/common/Logger.h"
#include "windows/common/RegistryKey.h"
#include "windows/common/SysInfo.h"
#include "windows/installerdll/AccessBridge.h"
#include "windows/installerdll/StartMenu.h"
#include "windows/installerdll/ZarAssociation.h"
#include "windows/installerdll/ZunaPath.h"
#include "windows/installerdll/regdeploy.h"
#include "windows/installerdll/utils.h"

using utils::copyText;
using utils::format;
using utils::greatestSubkey;
using utils::isRemovedRelease;
using utils::storedText;
using utils::usableHome;

namespace {

constexpr const char* kBuildNumber = "13";

std::string versionKeyPath(const std::string& name) {
  return std::string("Software\\Corvane\\Zuna Runtime Environment\\") + name;
}

// Creates a version key and writes its values; false when it cannot be created.
bool registerVersion(const char* operation, const std::string& name, const std::string& home,
                     const std::string& micro, const std::string& vmDir, const char* buildNumber) {
  logit(std::string(operation) + " ---- begin ---- ");
  RegistryKey key(HKEY_LOCAL_MACHINE);
  key.OpenKey(nullptr, KEY_ALL_ACCESS);
  std::string path = versionKeyPath(name);
  if (key.CreateKey(path.c_str(), KEY_ALL_ACCESS) != ERROR_SUCCESS) {
    logit(std::string(operation) + " ---- failed to create " + path + " ---- ");
    return false;
  }
  key.OpenKey(path.c_str(), KEY_ALL_ACCESS);
  key["ZunaHome"] = RegistryValue(home);
  key["RuntimeLib"] = RegistryValue(home + "\\bin\\" + vmDir + "\\zvm.dll");
  key["MicroVersion"] = RegistryValue(micro);
  if (buildNumber) key["BuildNumber"] = RegistryValue(std::string(buildNumber));
  logit(std::string(operation) + " ---- end ---- ");
  return true;
}

// Opens the runtime main key for deletions; logs and gives false when it cannot.
bool openMainKey(RegistryKey& main, const char* operation) {
  if (main.OpenKey(kZreMainKey, KEY_ALL_ACCESS) == ERROR_SUCCESS) return true;
  logit(std::string(operation) + " ---- failed to open " + kZreMainKey + " ---- ");
  return false;
}

bool deleteLogged(RegistryKey& key, const char* operation, const std::string& name) {
  if (key.DeleteSubKey(name.c_str()) == ERROR_SUCCESS) return true;
  logit(std::string(operation) + " ---- failed to delete " + name + " ---- ");
  return false;
}

}  // namespace

BOOL FindZunaHome(const char* version, char* home, DWORD homeSize, int) {
  RegistryKey main(HKEY_LOCAL_MACHINE);
  if (main.OpenKey(kZreMainKey, KEY_READ) != ERROR_SUCCESS) {
    logit("ERROR: FindZunaHome Open(ZREMAINKEY) failed.");
    return FALSE;
  }
  RegistryKey versionKey(main.Handle());
  if (!version || versionKey.OpenKey(version, KEY_READ) != ERROR_SUCCESS) {
    logit("ERROR: FindZunaHome Open(version) failed.");
    return FALSE;
  }
  RegistryValue value;
  LONG status = versionKey.QueryValue(kZunaHomeValue, value);
  bool isString = value.type == REG_SZ || value.type == REG_EXPAND_SZ;
  if (status != ERROR_SUCCESS || !isString || !home || value.data.size() > homeSize ||
      (!value.data.empty() && value.data.back() != '\0') || (value.data.empty() && homeSize == 0)) {
    logit("ERROR: FindZunaHome QueryStringValue(ZunaHome) failed.");
    return FALSE;
  }
  // An empty or relative home is no home: the same as a missing value.
  std::string stored = storedText(value.data);
  std::optional<std::string> usable = usableHome(stored);
  if (!usable) {
    logit("ERROR: FindZunaHome QueryStringValue(ZunaHome) failed.");
    return FALSE;
  }
  std::memcpy(home, usable->c_str(), usable->size() + 1);
  if (usable->size() < stored.size()) {
    // The key is open for reading only, so the stored value stays as it is; the
    // attempt is kept for the record it leaves in the log.
    if (versionKey.SetValue(kZunaHomeValue, RegistryValue(*usable)) != ERROR_SUCCESS) {
      logit("ERROR: FindZunaHome SetStringValue(ZunaHome) failed.");
    }
  }
  return TRUE;
}

BOOL GetLatestZunaKey(char* latest, DWORD latestSize) {
  copyText("", latest, latestSize);
  RegistryTreeKey corvane;
  if (corvane.Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane", kKeyReadWriteSubkeys) != ERROR_SUCCESS) return FALSE;
  RegistryTreeKey main;
  if (main.Open(corvane.Handle(), "Zuna Runtime Environment", kKeyReadWriteSubkeys) != ERROR_SUCCESS) return FALSE;
  copyText(greatestSubkey(main, true), latest, latestSize);
  return TRUE;
}

bool RegZREFamilyVersion(const std::string& home, const std::string& family, const std::string& micro,
                         const std::string& vmDir) {
  return registerVersion("RegZREFamilyVersion", family, home, micro, vmDir, nullptr);
}

bool RegZREUniqueVersion(const std::string& home, const std::string& version, const std::string& micro,
                         const std::string& vmDir) {
  // The build number is this release's own; another release re-registered here keeps
  // whatever its installer wrote.
  const char* buildNumber = version == kZreRelease ? kBuildNumber : nullptr;
  return registerVersion("RegZREUniqueVersion", version, home, micro, vmDir, buildNumber);
}

bool UnregZREFamilyVersion(const std::string& family) {
  logit("UnregZREFamilyVersion ---- begin ---- ");
  RegistryKey main(HKEY_LOCAL_MACHINE);
  if (!openMainKey(main, "UnregZREFamilyVersion")) return false;
  bool result = deleteLogged(main, "UnregZREFamilyVersion", family);
  logit("UnregZREFamilyVersion ---- end ---- ");
  return result;
}

bool UnregZREUniqueVersion(const std::string& version) {
  logit("UnregZREUniqueVersion ---- begin ---- ");
  RegistryKey main(HKEY_LOCAL_MACHINE);
  if (!openMainKey(main, "UnregZREUniqueVersion")) return false;
  bool result = deleteLogged(main, "UnregZREUniqueVersion", version + "\\MSI");
  // Whatever another tool wrote below the version key goes with it: a key that stayed
  // would still name the release as installed.
  RegistryTreeKey tree;
  LONG status = tree.Open(HKEY_LOCAL_MACHINE, kZreMainKey, KEY_ALL_ACCESS);
  if (status == ERROR_SUCCESS) status = tree.RecurseDeleteKey(version.c_str());
  if (status != ERROR_SUCCESS) {
    logit(std::string("UnregZREUniqueVersion ---- failed to delete ") + version + " ---- ");
    result = false;
  }
  logit("UnregZREUniqueVersion ---- end ---- ");
  return result;
}

bool UnregZRECurrentVersion() {
  logit("UnregZRECurrentVersion ---- begin ---- ");
  bool result = true;
  RegistryKey root(HKEY_LOCAL_MACHINE);
  root.OpenKey(nullptr, KEY_ALL_ACCESS);
  for (const char* path :
       {"Software\\Classes\\zar", "Software\\Classes\\zarfile\\shell\\open\\command",
        "Software\\Classes\\zarfile\\shell\\open", "Software\\Classes\\zarfile\\shell", "Software\\Classes\\zarfile",
        "Software\\Classes\\.zar", "Software\\Classes\\Applications\\zuna.exe",
        "Software\\Classes\\Applications\\zunaw.exe"}) {
    result = deleteLogged(root, "UnregZRECurrentVersion", path) && result;
  }
  RegistryKey main(HKEY_LOCAL_MACHINE);
  openMainKey(main, "UnregZRECurrentVersion");
  main.DeleteValue("CurrentVersion");
  main.DeleteValue("BrowserZunaVersion");
  logit("UnregZRECurrentVersion ---- end  ---- ");
  return result;
}

int GetMSIKeyValue(const char* valueName, std::string& out) {
  out.clear();
  std::string path = std::string(kZdkMainKey) + "\\" + kZreRelease + "\\MSI";
  RegistryKey key(HKEY_LOCAL_MACHINE);
  // A key that cannot be opened also fails the read below, which logs that too.
  if (key.OpenKey(path.c_str(), KEY_ALL_ACCESS) != ERROR_SUCCESS) {
    logit("GetMSIKeyValue ---- failed to open version MSI key ---- ");
  }
  RegistryValue value;
  key.QueryValue(valueName, value);
  if (auto text = value.asString()) {
    out = *text;
    return 1;
  }
  logit("GetMSIKeyValue ---- failed to get value of MSI string ---- ");
  return 0;
}

bool SplitVersion(const char* version, std::string& major, std::string& minor, std::string& micro,
                  std::string& update) {
  if (!version) return false;
  std::string text = version;
  major = "0";
  minor = "0";
  micro = "0";
  update.clear();
  size_t dot = text.find('.');
  major = text.substr(0, dot);
  if (dot == std::string::npos) return true;
  size_t second = text.find('.', dot + 1);
  minor = text.substr(dot + 1, second == std::string::npos ? std::string::npos : second - dot - 1);
  if (second == std::string::npos) return true;
  size_t underscore = text.find('_', second + 1);
  micro = text.substr(second + 1, underscore == std::string::npos ? std::string::npos : underscore - second - 1);
  if (underscore != std::string::npos) update = text.substr(underscore + 1);
  return true;
}

namespace {

constexpr const char* kMailboxName = "ZdsOperationSequenceSharedMemory";
constexpr uint32_t kInstallOperationId = 6;
constexpr int kRemoveInstalledFilesAttempts = 6;
constexpr DWORD kRemoveInstalledFilesPauseMs = 1000;
constexpr DWORD kHomeSize = 2048;
constexpr DWORD kUserHiveNameSize = 2048;
constexpr DWORD kFunctionFailed = 1627;  // ERROR_FUNCTION_FAILED

// "vexcore" for minor version 3; otherwise the VM of this program's bitness.
std::string vmDirectory(const std::string& minor) {
  if (minor == "3") return "vexcore";
  return SysInfo::is32BitEnvironment() ? "client" : "server";
}

// Calls `visit` with the name of every hive under HKEY_USERS.
template <class Visit>
void forEachUserHive(Visit visit) {
  char hive[kUserHiveNameSize];
  for (DWORD index = 0; RegEnumKeyA(HKEY_USERS, index, hive, sizeof hive) == ERROR_SUCCESS; ++index) {
    visit(hive);
  }
}

// Deletes every user's key of one runtime version.
void RemoveUserVersionKeys(const std::string& version) {
  forEachUserHive([&](const char* hive) {
    RegistryTreeKey user, software, corvane, runtime;
    if (user.Open(HKEY_USERS, hive, KEY_READ) != ERROR_SUCCESS) return;
    if (software.Open(user.Handle(), "Software", KEY_READ) != ERROR_SUCCESS) return;
    if (corvane.Open(software.Handle(), "Corvane", KEY_READ) != ERROR_SUCCESS) return;
    if (runtime.Open(corvane.Handle(), "Zuna Runtime Environment", kKeyReadWriteSubkeys) != ERROR_SUCCESS) return;
    runtime.RecurseDeleteKey(version.c_str());
  });
}

// Deletes `name` under `parent` when it has no subkeys (values do not count). True when
// the key is gone afterwards, also when it was missing already.
bool DeleteIfNoSubkeys(RegistryTreeKey& parent, const char* name) {
  RegistryTreeKey key;
  LONG status = key.Open(parent.Handle(), name, kKeyReadWriteSubkeys | parent.view());
  if (status != ERROR_SUCCESS) return status == ERROR_FILE_NOT_FOUND;
  char subkey[1024];
  if (key.EnumSubKey(0, subkey, sizeof subkey) == ERROR_SUCCESS) return false;
  key.Close();
  return parent.DeleteSubKey(name) == ERROR_SUCCESS;
}

// True when the runtime main key has a subkey that starts with "1.4" and is longer, or
// when the main key cannot be read (then the "1.4" key is not taken for a lone one).
bool LongerOneFourKeyExists() {
  RegistryTreeKey main;
  if (main.Open(HKEY_LOCAL_MACHINE, kZreMainKey, KEY_READ) != ERROR_SUCCESS) return true;
  char name[kVersionNameSize];
  for (DWORD index = 0; main.EnumSubKey(index, name, sizeof name) == ERROR_SUCCESS; ++index) {
    if (std::strncmp(name, "1.4", 3) == 0 && std::strlen(name) > 3) return true;
  }
  return false;
}

void DeleteOneFourKey() {
  RegistryTreeKey software, corvane, main;
  if (software.Open(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_READ) != ERROR_SUCCESS) return;
  if (corvane.Open(software.Handle(), "Corvane", KEY_READ) != ERROR_SUCCESS) return;
  if (main.Open(corvane.Handle(), "Zuna Runtime Environment", kKeyReadWriteSubkeys) != ERROR_SUCCESS) return;
  main.RecurseDeleteKey("1.4");
}

std::string familyOf(const std::string& version) {
  std::string major, minor, micro, update;
  SplitVersion(version.c_str(), major, minor, micro, update);
  return major + "." + minor;
}

}  // namespace

void RemoveUserKeys(bool all) {
  forEachUserHive([&](const char* hive) {
    RegistryTreeKey user, software;
    if (user.Open(HKEY_USERS, hive, KEY_READ) != ERROR_SUCCESS) return;
    if (software.Open(user.Handle(), "Software", KEY_READ) != ERROR_SUCCESS) return;
    if (all) {
      software.RecurseDeleteKey("Corvane");
      return;
    }
    RegistryTreeKey corvane;
    if (corvane.Open(software.Handle(), "Corvane", kKeyReadWriteSubkeys) != ERROR_SUCCESS) return;
    corvane.RecurseDeleteKey("Zuna Runtime Environment");
    corvane.RecurseDeleteKey("Zuna Update");
  });
}

void RemoveEmptyCorvaneKeys() {
  RegistryTreeKey software;
  if (software.Open(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_READ) != ERROR_SUCCESS) return;
  bool runtimeGone = false;
  {
    RegistryTreeKey corvane;
    if (corvane.Open(software.Handle(), "Corvane", KEY_READ) == ERROR_SUCCESS) {
      for (const char* product :
           {"Zuna Runtime Environment", "Zuna Development Kit", "Zuna Plug-in", "Zuna Web Start"}) {
        bool gone = DeleteIfNoSubkeys(corvane, product);
        if (product == std::string("Zuna Runtime Environment")) runtimeGone = gone;
      }
    }
  }
  if (DeleteIfNoSubkeys(software, "Corvane")) {
    RemoveUserKeys(true);
  } else if (runtimeGone) {
    // The users' runtime keys go with the machine's runtime key, also when a run that
    // removed the machine's key ended before it reached the users' keys.
    RemoveUserKeys(false);
  }
}

DWORD RemoveInstalledFiles(const char* home) {
  char path[kHomeSize];
  int length = std::snprintf(path, sizeof path, "%s\\bin\\msvcr%s.dll", home, "100");
  // A path cut to the buffer would name another file: it is not deleted.
  bool fits = length > 0 && static_cast<size_t>(length) < sizeof path;
  if (!fits || !DeleteFileA(path)) {
    DWORD error = fits ? GetLastError() : static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE);
    logit("-- RemoveInstalledFiles: DeleteFile(" + std::string(home) + "\\bin\\msvcr100.dll) failed. (GetLastError=" +
          std::to_string(static_cast<int>(error)) + ")");
    return kFunctionFailed;
  }
  RunResult::instance().fileRemoved();
  return 0;
}

namespace {

// UninstallZunaRegSet, with `whileRegistered` run after the release's other keys are
// gone and before its version key is deleted: the version key holds the release's home,
// and a run that ends before the steps needing the home are done must find it again.
bool unregisterRelease(const char* version, const std::function<void()>& whileRegistered) {
  logit(format("-- Start UninstallZunaRegSet v.%s --", version));
  char home[kHomeSize] = {};
  if (!FindZunaHome(version, home, sizeof home, 0)) {
    logit("-- UninstallZunaRegSet: FindZunaHome() failed.");
    return false;
  }
  UnregZRECurrentVersion();
  UnregZREFamilyVersion(kZreFamily);
  RemoveUserVersionKeys(version);
  if (whileRegistered) whileRegistered();
  UnregZREUniqueVersion(version);
  CanonicalizeZuna2Registry(0);
  logit("-- End in UninstallZunaRegSet --");
  return true;
}

}  // namespace

bool UninstallZunaRegSet(const char* version) { return unregisterRelease(version, {}); }

int UninstallZRE(const char* version, int skipFileRemoval) {
  try {
    LOG_INFO("** Start WINAPI UninstallZRE **");
    char home[kHomeSize] = {};
    std::string major, minor, micro, update;
    if (FindZunaHome(version, home, sizeof home, 0) && SplitVersion(version, major, minor, micro, update)) {
      // The deployment call and the private library need the release's home, which only
      // its version key holds: they run before that key goes, so that a run ended
      // before they are done finds the home again and does them then.
      unregisterRelease(version, [&] {
        LOG_INFO("-- Running RegisterDeploy(FALSE) ");
        if (RegisterDeploy(FALSE, home) == 0) {
          LOG_INFO("-- Exec: RegisterDeploy(FALSE) passed.");
        } else {
          LOG_INFO("-- Exec: RegisterDeploy(FALSE) failed.");
        }

        if (!skipFileRemoval) {
          for (int attempt = 1; attempt <= kRemoveInstalledFilesAttempts; ++attempt) {
            if (attempt > 1) LOG_INFO("-- Retrying RemoveInstalledFiles");
            if (RemoveInstalledFiles(home) == 0) break;
            Sleep(kRemoveInstalledFilesPauseMs);
          }
        }
      });

      ReregisterCurrentZRE();
    } else if (CanonicalizeZuna2Registry(0)) {
      // The release's key is gone already (a run that ended before it was done, say):
      // the main key and the current runtime still follow from what remains, and both
      // repeat harmlessly.
      ReregisterCurrentZRE();
    }
  } catch (const std::exception& e) {
    reportException(ZU_HERE, e);
    return 0;
  } catch (...) {
    reportUnknownException(ZU_HERE);
    return 0;
  }

  // Whatever happened above, bring what the runtime registered outside its version keys
  // in line with the runtimes that remain. Each step stands on its own: one that fails
  // is reported and the next still runs.
  const std::function<void()> closingSteps[] = {
      RemoveEmptyCorvaneKeys, [] { RestoreZarfileAssociation(); }, [] { RemoveZunaFromStartMenu(0); },
      UninstallZunaZunawExecutables, [] { SetUpAccessBridge(); }};
  for (const auto& step : closingSteps) {
    try {
      step();
    } catch (const std::exception& e) {
      reportException(ZU_HERE, e);
    } catch (...) {
      reportUnknownException(ZU_HERE);
    }
  }
  return 0;
}

bool ReregisterCurrentZRE() {
  logit("Start in ReregisterCurrentZRE");
  char latest[kVersionNameSize] = {};
  if (!GetLatestZunaKey(latest, sizeof latest)) return false;
  char home[kHomeSize] = {};
  if (!FindZunaHome(latest, home, sizeof home, 0)) return false;
  if (std::strcmp(latest, "1.4") == 0 && !LongerOneFourKeyExists()) {
    // A family key without any release of its own is not re-registered but removed.
    DeleteOneFourKey();
    return false;
  }
  if (!InstallZuna(home, latest, 0)) return false;
  RunResult::instance().setReregistered(latest);
  return true;
}

bool InstallZuna(const char* home, const char* version, int product) {
  progress::ClientOperation operation(kInstallOperationId, kMailboxName);
  logit("** Start WINAPI InstallZuna: " + std::to_string(product) + " **");

  std::string major, minor, micro, update;
  if (!SplitVersion(version, major, minor, micro, update)) return false;
  std::string given = home ? home : "";
  if (!given.empty() && given.back() == '\\') given.pop_back();
  // Cut to the buffer, the home would name another folder, which would then be
  // registered and have its installer leftovers deleted.
  if (given.size() >= MAX_PATH) {
    logit(std::string("**** InstallZuna - the home of ") + version + " does not fit in " + std::to_string(MAX_PATH) +
          " characters, so it is not registered: " + given);
    return false;
  }
  char ownHome[MAX_PATH] = {};
  copyText(given, ownHome, sizeof ownHome);
  RegZREUniqueVersion(ownHome, version, micro, vmDirectory(minor));

  char latest[kVersionNameSize] = {};
  if (!GetLatestZunaKey(latest, sizeof latest)) {
    logit(std::string("**** InstallZuna - GetLatestZunaKey(") + latest + "," + std::to_string(product) +
          ") returned FALSE");
    return false;
  }
  char latestHome[kHomeSize] = {};
  if (!FindZunaHome(latest, latestHome, sizeof latestHome, product)) {
    logit(std::string("**** InstallZuna - FindZunaHome(") + latest + "," + latestHome + "," +
          std::to_string(kHomeSize) + "," + std::to_string(product) + ") returned FALSE");
  } else {
    std::string latestMajor, latestMinor, latestMicro, latestUpdate;
    SplitVersion(latest, latestMajor, latestMinor, latestMicro, latestUpdate);
    std::string family = latestMajor + "." + latestMinor;
    RegCurrentVersion(latestHome, family.c_str());
    RegZREFamilyVersion(latestHome, family, latestMicro, vmDirectory(latestMinor));
    InstallZUTConfigFile(latestHome, product);
    InstallDRSFile();
  }

  CanonicalizeZuna2Registry(product);
  CleanupTempFiles(ownHome);
  RestoreZarfileAssociation();

  // Only the kit's installer honours its own NOSTARTMENU; the runtime reads it and goes
  // by the install configuration.
  std::string kitNoStartMenu;
  GetMSIKeyValue("NOSTARTMENU", kitNoStartMenu);
  if (!InstallConfigData::Instance().IsFeatureEnabled(FeatureKey::NOSTARTMENU)) AddZunaOnStartMenu();

  SetUpZunapath();
  logit("** End WINAPI InstallZuna **");
  return true;
}

bool CanonicalizeZuna2Registry(int) {
  RegistryTreeKey software, corvane, main;
  if (software.Open(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_READ) != ERROR_SUCCESS) return false;
  if (corvane.Open(software.Handle(), "Corvane", kKeyReadWriteSubkeys) != ERROR_SUCCESS) return false;
  if (main.Open(corvane.Handle(), "Zuna Runtime Environment", kKeyReadWriteSubkeys) != ERROR_SUCCESS) return false;

  std::string greatest, greatestOfFamily;
  bool anySubkey = false;
  char name[kHomeSize];
  for (DWORD index = 0; main.EnumSubKey(index, name, sizeof name) == ERROR_SUCCESS; ++index) {
    if (isRemovedRelease(name)) continue;
    anySubkey = true;
    if (lstrcmpiA(name, greatest.c_str()) > 0) greatest = name;
    if (lstrcmpiA(familyOf(name).c_str(), kZreFamily) == 0 && lstrcmpiA(name, greatestOfFamily.c_str()) > 0) {
      greatestOfFamily = name;
    }
  }

  if (!anySubkey) {
    main.Close();
    corvane.RecurseDeleteKey("Zuna Runtime Environment");
    RemoveUserKeys(false);
    return true;
  }

  std::string currentFamily = familyOf(greatest);
  setRegistryValue(main.Handle(), "CurrentVersion", REG_SZ, reinterpret_cast<const BYTE*>(currentFamily.c_str()),
                   static_cast<DWORD>(currentFamily.size() + 1));

  char home[kHomeSize] = {};
  if (!greatestOfFamily.empty()) {
    if (!FindZunaHome(greatestOfFamily.c_str(), home, sizeof home, 0)) {
      logit(format("  CanonicalizeZuna2Registry FindZunaHome[1] v.%s failed ", greatestOfFamily));
    } else {
      std::string major, minor, micro, update;
      SplitVersion(greatestOfFamily.c_str(), major, minor, micro, update);
      if (!RegZREFamilyVersion(home, kZreFamily, micro, vmDirectory(minor))) return false;
    }
  }
  if (!FindZunaHome(greatest.c_str(), home, sizeof home, 0)) {
    logit(format("  CanonicalizeZuna2Registry FindZunaHome[2] v.%s failed ", greatest));
  }
  return true;
}

void CleanupTempFiles(const char* home) {
  logit("** Start WINAPI CleanupTempFiles **");
  for (const char* pattern : {"%s\\core.zip", "%s\\patchzre.exe", "%s\\tools.zip"}) {
    if (DeleteFileA(format(pattern, home ? home : "").c_str())) RunResult::instance().fileRemoved();
  }
  logit("** End WINAPI CleanupTempFiles **");
}

void InstallDRSFile() {
  InstallConfigData& config = InstallConfigData::Instance();
  if (!config.HasValueKey(ValueKey::DEPLOYMENT_RULE_SET)) return;
  std::string source = config.GetValueString(ValueKey::DEPLOYMENT_RULE_SET);
  std::string destination = combinePath(SysInfo::getWindowsDir(), "Mox\\Zuna\\Deployment\\DeploymentRuleSet.zar");
  logit("Installing Deployment Rule Set from " + source + " to " + destination);
  FileUtils::copyFile(source, destination, false);
}

void InstallZUTConfigFile(const char* home, int product) {
  InstallConfigData& config = InstallConfigData::Instance();
  if (!config.HasValueKey(ValueKey::USAGETRACKER_CFG)) return;
  std::string source = config.GetValueString(ValueKey::USAGETRACKER_CFG);
  std::string destination =
      combinePath(home ? home : "", product == 0 ? "lib\\management\\usagetracker.properties"
                                                 : "zre\\lib\\management\\usagetracker.properties");
  logit("Installing Zuna Usage Tracker from " + source + " to " + destination);
  FileUtils::copyFile(source, destination, false);
}
