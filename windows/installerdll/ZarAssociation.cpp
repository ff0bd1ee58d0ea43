#include "windows/installerdll/ZarAssociation.h"

#include "windows/common/AllUtils.h"
#include "windows/common/RegistryKey.h"
#include "windows/common/SysInfo.h"
#include "windows/installerdll/utils.h"

namespace {

constexpr const char* kZarFileText = "Executable Zar File";
constexpr const char* kZarFileClass = "zarfile";
constexpr const char* kIsHostApp = "IsHostApp";
// Version names and homes read from the registry.
constexpr DWORD kNameSize = 2048;

// Creates `path` under `root`, reopens it and writes its default value; false when
// the key cannot be created.
bool writeClassKey(HKEY root, const char* path, const std::string& text) {
  RegistryKey key(root);
  key.OpenKey(nullptr, KEY_ALL_ACCESS);
  if (key.CreateKey(path, KEY_ALL_ACCESS) != ERROR_SUCCESS) return false;
  key.OpenKey(path, KEY_ALL_ACCESS);
  key[""] = RegistryValue(text);
  return true;
}

}  // namespace

std::string ZarOpenCommand(const std::string& home) {
  return "\"" + home + "\\bin\\zunaw.exe\" -zar \"%1\" %*";
}

BOOL RegCurrentVersion(const char* home, const char* family) {
  logit("RegCurrentVersion ---- begin ---- ");
  if (!home || !family) {
    logit("RegCurrentVersion ---- no runtime home or family given ---- ");
    return FALSE;
  }
  if (!writeClassKey(HKEY_CLASSES_ROOT, ".zar", kZarFileClass)) {
    logit("RegCurrentVersion ---- failed to create .zar key ---- ");
    return FALSE;
  }
  if (!writeClassKey(HKEY_CLASSES_ROOT, "zarfile", kZarFileText)) {
    logit("RegCurrentVersion ---- failed to create zarfile key ---- ");
    return FALSE;
  }
  if (!writeClassKey(HKEY_CLASSES_ROOT, "zarfile\\shell\\open\\command", ZarOpenCommand(home))) {
    logit("RegCurrentVersion ---- failed to create zarfile\\shell\\open\\command key ---- ");
    return FALSE;
  }
  RegistryKey main(HKEY_LOCAL_MACHINE);
  main.OpenKey(nullptr, KEY_ALL_ACCESS);
  if (main.CreateKey(kZreMainKey, KEY_ALL_ACCESS) != ERROR_SUCCESS) {
    logit("RegCurrentVersion ---- failed to create Zuna Runtime Environment key ---- ");
    return FALSE;
  }
  main.OpenKey(kZreMainKey, KEY_ALL_ACCESS);
  main["CurrentVersion"] = RegistryValue(std::string(family));
  logit("RegCurrentVersion ---- end  ---- ");
  return TRUE;
}

BOOL SetZarOrZfrKeys(HKEY root, const char* keyPath, const char* text, const char* extraValueName) {
  if (!keyPath || !text) return FALSE;
  RegistryKey key(root);
  key.OpenKey(nullptr, KEY_ALL_ACCESS);
  REGSAM access = kKeyReadWriteSubkeys;
  if (SysInfo::isX64OS()) access |= KEY_WOW64_64KEY;
  if (key.CreateKey(keyPath, access) != ERROR_SUCCESS) {
    logit(std::string("SetZarOrZfrKeys ---- failed to create ") + keyPath + " key ---- ");
    return FALSE;
  }
  if (key.OpenKey(keyPath, access) != ERROR_SUCCESS) {
    logit(std::string("SetZarOrZfrKeys ---- failed to open ") + keyPath + " key ---- ");
    return FALSE;
  }
  RegistryValue value{std::string(text)};
  key[""] = value;
  if (extraValueName && key.SetValue(extraValueName, value) != ERROR_SUCCESS) {
    logit(std::string("SetZarOrZfrKeys ---- failed to open ") + keyPath + " key ---- ");
    return FALSE;
  }
  key.Close();
  return TRUE;
}

int RestoreZarfileAssociation() {
  logit("BEGIN RestoreZarfileAssociation");
  char name[kNameSize] = {};
  char home[kNameSize] = {};
  if (!GetLatestZREOrZDK32or64BitHome(kZreMainKey, name, sizeof name, home, sizeof home)) {
    logit("No ZRE exists on the system");
  } else {
    const std::string command = ZarOpenCommand(home);
    struct Entry {
      const char* path;
      const char* text;
      const char* extra;
    } const entries[] = {
        {"Software\\Classes\\zarfile", kZarFileText, nullptr},
        {"Software\\Classes\\.zar", kZarFileClass, nullptr},
        {"Software\\Classes\\zarfile\\shell\\open\\command", command.c_str(), nullptr},
        {"Software\\Classes\\Applications\\zuna.exe", "", kIsHostApp},
        {"Software\\Classes\\Applications\\zunaw.exe", "", kIsHostApp},
    };
    for (const Entry& entry : entries) {
      if (!SetZarOrZfrKeys(HKEY_LOCAL_MACHINE, entry.path, entry.text, entry.extra)) return 0;
    }
  }
  logit("END RestoreZarfileassociation()---- ");
  return 1;
}
