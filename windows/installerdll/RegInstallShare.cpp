#include "windows/installerdll/RegInstallShare.h"

#include <cstring>

#include "windows/common/AllUtils.h"
#include "windows/common/RegistryKey.h"

namespace {

constexpr const char* kZunaHomeValue = "ZunaHome";
constexpr const char* kBuildNumber = "13";
// Longest version name the enumerations read.
constexpr DWORD kVersionNameSize = 1024;

void copyText(const std::string& text, char* out, DWORD outSize) {
  if (!out || outSize == 0) return;
  size_t length = text.size() < outSize - 1 ? text.size() : outSize - 1;
  std::memcpy(out, text.data(), length);
  out[length] = '\0';
}

void stripTrailingBackslash(char* text) {
  size_t length = std::strlen(text);
  if (length > 0 && text[length - 1] == '\\') text[length - 1] = '\0';
}

// The greatest subkey name of an open key under lstrcmpiA; empty when it has none.
std::string greatestSubkey(RegistryTreeKey& key) {
  std::string greatest;
  char name[kVersionNameSize];
  for (DWORD index = 0; key.EnumSubKey(index, name, sizeof name) == ERROR_SUCCESS; ++index) {
    if (lstrcmpiA(name, greatest.c_str()) > 0) greatest = name;
  }
  return greatest;
}

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
  if (value.data.empty()) {
    home[0] = '\0';
    return TRUE;
  }
  std::memcpy(home, value.data.data(), value.data.size());
  size_t length = std::strlen(home);
  if (length > 0 && home[length - 1] == '\\') {
    home[length - 1] = '\0';
    // The key is open for reading only, so the stored value stays as it is; the
    // attempt is kept for the record it leaves in the log.
    if (versionKey.SetValue(kZunaHomeValue, RegistryValue(std::string(home))) != ERROR_SUCCESS) {
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
  copyText(greatestSubkey(main), latest, latestSize);
  return TRUE;
}

int GetLatestZREOrZDK32or64BitHome(const char* mainKey, char* name, DWORD nameSize, char* home, DWORD homeSize) {
  copyText("", home, homeSize);
  std::string greatest[2];
  bool opened[2] = {false, false};
  const REGSAM views[2] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
  for (int i = 0; i < 2; ++i) {
    RegistryTreeKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, mainKey, KEY_READ | views[i]) != ERROR_SUCCESS) {
      logit(std::string("GetLatestZREOrZDK32or64BitHome() ---- failed to open ") + mainKey);
      continue;
    }
    opened[i] = true;
    greatest[i] = greatestSubkey(key);
  }
  if (!opened[0] && !opened[1]) {
    logit(std::string("GetLatestZREOrZDK32or64BitHome() ---- failed to open ") + mainKey + " in either view");
    return 0;
  }
  int chosen = lstrcmpiA(greatest[0].c_str(), greatest[1].c_str()) >= 0 ? 0 : 1;
  copyText(greatest[chosen], name, nameSize);
  REGSAM access = KEY_READ | views[chosen];

  RegistryKey main(HKEY_LOCAL_MACHINE);
  if (main.OpenKey(mainKey, access) != ERROR_SUCCESS) {
    logit("GetLatestZREOrZDK32or64BitHome() ... ZreOrZdkKey.OpenKey(lpszMainKey, samDesired)  failed.");
    return 0;
  }
  RegistryKey version(main.Handle());
  if (version.OpenKey(greatest[chosen].c_str(), access) != ERROR_SUCCESS) {
    logit("GetLatestZREOrZDK32or64BitHome() ... ZreOrZdkMaxKey.OpenKey(szMaxKeyName, samDesired) failed.");
    return 0;
  }
  RegistryValue value;
  if (version.QueryValue(kZunaHomeValue, value) != ERROR_SUCCESS) {
    logit("GetLatestZREOrZDK32or64BitHome() ... ZreOrZdkMaxKey.QueryValue(ZUNAHOMEVALUE, value). failed");
    return 0;
  }
  // Data that fills the buffer or lacks its NUL is cut to end in one.
  copyText(std::string(value.data.begin(), value.data.end()).c_str(), home, homeSize);
  size_t length = home ? std::strlen(home) : 0;
  if (length > 0 && home[length - 1] == '\\') {
    stripTrailingBackslash(home);
    // Opened for reading only: the stored value stays; the attempt leaves its record.
    if (version.SetValue(kZunaHomeValue, RegistryValue(std::string(home))) != ERROR_SUCCESS) {
      logit("GetLatestZREOrZDK32or64BitHome() ... ZreOrZdkKey.SetValue(lpszZunaHome, value) failed.");
    }
  }
  logit("END GetLatestZREOrZDK32or64BitHome()...  ");
  return 1;
}

bool RegZREFamilyVersion(const std::string& home, const std::string& family, const std::string& micro,
                         const std::string& vmDir) {
  return registerVersion("RegZREFamilyVersion", family, home, micro, vmDir, nullptr);
}

bool RegZREUniqueVersion(const std::string& home, const std::string& version, const std::string& micro,
                         const std::string& vmDir) {
  return registerVersion("RegZREUniqueVersion", version, home, micro, vmDir, kBuildNumber);
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
  result = deleteLogged(main, "UnregZREUniqueVersion", version) && result;
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
