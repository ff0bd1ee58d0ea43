// The files-in-use cancel mark: a key that an earlier, cancelled update may have left
// under the user's software key. A new showing of the dialogs starts without it.
#include <windows.h>

#include "windows/common/RegistryBackup.h"
#include "windows/common/RegistryKey.h"
#include "windows/filesinuse/FilesInUseUtils.h"

namespace {

// KEY_ALL_ACCESS without the right to create links.
constexpr REGSAM kCancelKeyAccess = 0x2001F;

class OpenKey {
 public:
  OpenKey(HKEY parent, const char* path) {
    if (RegOpenKeyExA(parent, path, 0, kCancelKeyAccess, &key_) != ERROR_SUCCESS) {
      key_ = nullptr;
    } else {
      RegistryBackup::instance().opened(parent, path, kCancelKeyAccess, key_);
    }
  }
  ~OpenKey() {
    if (!key_) return;
    RegistryBackup::instance().closed(key_);
    RegCloseKey(key_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

void RemoveFIUCancelKey() {
  OpenKey cancel(HKEY_CURRENT_USER, "Software\\Corvane\\FIUCancel");
  if (!cancel.get()) return;
  OpenKey corvane(HKEY_CURRENT_USER, "Software\\Corvane");
  HKEY parent = corvane.get() ? corvane.get() : HKEY_CURRENT_USER;
  const char* subkey = corvane.get() ? "FIUCancel" : "Software\\Corvane\\FIUCancel";
  // Every 64-bit Windows has RegDeleteKeyExA; the default view is the process's own.
  deleteRegistryKey(parent, subkey, 0, RegDeleteKeyExA);
}
