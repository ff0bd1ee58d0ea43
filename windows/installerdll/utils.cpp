#include "windows/installerdll/utils.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "windows/common/AllUtils.h"
#include "windows/common/FileUtils.h"
#include "windows/common/RegistryKey.h"

namespace utils {

void copyText(const std::string& text, char* out, DWORD outSize) {
  if (!out || outSize == 0) return;
  size_t length = text.size() < outSize - 1 ? text.size() : outSize - 1;
  std::memcpy(out, text.data(), length);
  out[length] = '\0';
}

std::string format(const char* pattern, const std::string& a) {
  char text[4096];
  std::snprintf(text, sizeof text, pattern, a.c_str());
  return text;
}

bool isRemovedRelease(const char* name) { return lstrcmpiA(name, kZreRelease) == 0; }

std::string greatestSubkey(RegistryTreeKey& key, bool runtimeKeys) {
  std::string greatest;
  char name[kVersionNameSize];
  for (DWORD index = 0; key.EnumSubKey(index, name, sizeof name) == ERROR_SUCCESS; ++index) {
    if (runtimeKeys && isRemovedRelease(name)) continue;
    if (lstrcmpiA(name, greatest.c_str()) > 0) greatest = name;
  }
  return greatest;
}

std::string storedText(const std::vector<BYTE>& data) {
  return std::string(data.begin(), std::find(data.begin(), data.end(), BYTE{0}));
}

// Anything but an absolute path would be taken relative to the current drive or folder,
// where whoever may write there could plant the files that the uninstall deletes, loads
// and starts from a home. A drive's root ("C:\") is no home either: without its
// backslash it is relative, and its bin folder is one that anyone may create.
std::optional<std::string> usableHome(const std::string& stored) {
  std::string home = stored;
  if (!home.empty() && home.back() == '\\') home.pop_back();
  if (!isAbsolutePath(home)) return std::nullopt;
  return home;
}

}  // namespace utils

using utils::copyText;
using utils::greatestSubkey;
using utils::storedText;
using utils::usableHome;

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
    greatest[i] = greatestSubkey(key, lstrcmpiA(mainKey, kZreMainKey) == 0);
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
  std::string stored;
  std::optional<std::string> usable;
  if (version.QueryValue(kZunaHomeValue, value) == ERROR_SUCCESS) {
    stored = storedText(value.data);
    usable = usableHome(stored);
  }
  // An empty or relative home is no home: the same as a missing value.
  if (!usable) {
    logit("GetLatestZREOrZDK32or64BitHome() ... ZreOrZdkMaxKey.QueryValue(ZUNAHOMEVALUE, value). failed");
    return 0;
  }
  // A home cut to the buffer would name another folder: none is better.
  if (!home || usable->size() >= homeSize) {
    logit("GetLatestZREOrZDK32or64BitHome() ---- ZunaHome of " + greatest[chosen] + " does not fit in " +
          std::to_string(homeSize) + " characters: " + *usable);
    return 0;
  }
  copyText(*usable, home, homeSize);
  if (usable->size() < stored.size()) {
    // Opened for reading only: the stored value stays; the attempt leaves its record.
    if (version.SetValue(kZunaHomeValue, RegistryValue(*usable)) != ERROR_SUCCESS) {
      logit("GetLatestZREOrZDK32or64BitHome() ... ZreOrZdkKey.SetValue(lpszZunaHome, value) failed.");
    }
  }
  logit("END GetLatestZREOrZDK32or64BitHome()...  ");
  return 1;
}
