#include "windows/common/RegistryKey.h"

#include <stdexcept>

#include "common/share/tstrings.h"
#include "windows/common/RegistryBackup.h"

namespace {

RegistryBackup& backup() { return RegistryBackup::instance(); }

void closeKey(HKEY& key) {
  if (key) {
    backup().closed(key);
    RegCloseKey(key);
  }
  key = nullptr;
}

// The registry calls that open or change keys, each telling the backup where the key
// is and what it held before the change.
LONG openKey(HKEY parent, const char* subkey, REGSAM access, HKEY* key) {
  LONG status = RegOpenKeyExA(parent, subkey, 0, access, key);
  if (status == ERROR_SUCCESS) backup().opened(parent, subkey, access, *key);
  return status;
}

LONG createKey(HKEY parent, const char* subkey, REGSAM access, HKEY* key) {
  RegistryBackup::Capture capture = backup().beforeCreateKey(parent, subkey, access);
  LONG status = RegCreateKeyExA(parent, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  backup().commit(capture);
  backup().opened(parent, subkey, access, *key);
  return status;
}

LONG setValue(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size) {
  RegistryBackup::Capture capture = backup().beforeSetValue(key, name, type, data, size);
  LONG status = RegSetValueExA(key, name, 0, type, data, size);
  if (status == ERROR_SUCCESS) backup().commit(capture);
  return status;
}

// Text as the wide functions take string data: UTF-16LE code units and a NUL.
std::vector<BYTE> utf16Data(const std::wstring& text) {
  std::vector<BYTE> data;
  data.reserve(text.size() * 2 + 2);
  for (wchar_t unit : text) {
    data.push_back(static_cast<BYTE>(unit & 0xFF));
    data.push_back(static_cast<BYTE>((unit >> 8) & 0xFF));
  }
  data.push_back(0);
  data.push_back(0);
  return data;
}

// The same with UTF-16LE data, through the wide function.
LONG setWideValue(HKEY key, const char* name, DWORD type, const std::vector<BYTE>& data) {
  RegistryBackup::Capture capture = backup().beforeSetValue(key, name, type, data.data(),
                                                            static_cast<DWORD>(data.size()), true);
  std::wstring wideName = tstrings::fromACP(name);
  LONG status = RegSetValueExW(key, wideName.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size()));
  if (status == ERROR_SUCCESS) backup().commit(capture);
  return status;
}

[[noreturn]] void throwRegistryError(const char* operation, const std::string& name, const std::string& detail) {
  throw std::runtime_error(std::string(operation) + " (" + name + ") error: " + detail);
}

[[noreturn]] void throwRegistryError(const char* operation, const std::string& name, LONG status) {
  throwRegistryError(operation, name, std::to_string(static_cast<unsigned long long>(static_cast<DWORD>(status))));
}

using RegDeleteKeyExAFunction = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);

// RegDeleteKeyExA where the system offers it (x64 XP and Vista on), looked up once for
// the process; null where it is missing.
RegDeleteKeyExAFunction regDeleteKeyEx() {
  static const RegDeleteKeyExAFunction function = [] {
    HMODULE advapi = GetModuleHandleA("Advapi32.dll");
    return advapi ? reinterpret_cast<RegDeleteKeyExAFunction>(
                        reinterpret_cast<void*>(GetProcAddress(advapi, "RegDeleteKeyExA")))
                  : nullptr;
  }();
  return function;
}

// Deletes a key in a given view; a system without view-aware deletion has one view.
LONG deleteKeyInView(HKEY parent, const char* name, REGSAM view) {
  RegistryBackup::Capture capture = backup().beforeDeleteKey(parent, name, view);
  RegDeleteKeyExAFunction function = regDeleteKeyEx();
  LONG status = function ? function(parent, name, view, 0) : RegDeleteKeyA(parent, name);
  if (status == ERROR_SUCCESS) backup().commit(capture);
  return status;
}

}  // namespace

RegistryValue::RegistryValue(const std::string& text) : type(REG_SZ), data(text.begin(), text.end()) {
  data.push_back(0);
}

std::optional<std::string> RegistryValue::asString() const {
  if (type != REG_SZ) return std::nullopt;
  std::string text(data.begin(), data.end());
  return text.substr(0, text.find('\0'));
}

void RegistryKey::Close() {
  closeKey(created_);
  closeKey(handle_);
  current_ = nullptr;
}

LONG RegistryKey::OpenKey(const char* subkey, REGSAM access) {
  Close();
  HKEY key = nullptr;
  LONG status = openKey(parent_, subkey, access, &key);
  if (status != ERROR_SUCCESS) return status;
  handle_ = current_ = key;
  return ERROR_SUCCESS;
}

LONG RegistryKey::CreateKey(const char* subkey, REGSAM access) {
  HKEY key = nullptr;
  LONG status = createKey(handle_, subkey, access, &key);
  if (status != ERROR_SUCCESS) return status;
  closeKey(created_);
  created_ = current_ = key;
  return ERROR_SUCCESS;
}

LONG RegistryKey::DeleteSubKey(const char* name) {
  RegistryBackup::Capture capture = backup().beforeDeleteKey(handle_, name, 0);
  LONG status = RegDeleteKeyA(handle_, name);
  if (status == ERROR_SUCCESS) backup().commit(capture);
  return status;
}

LONG RegistryKey::DeleteValue(const char* name) { return deleteRegistryValue(handle_, name); }

LONG RegistryKey::EnumSubKey(DWORD index, char (&buffer)[kEnumNameSize]) {
  return RegEnumKeyA(handle_, index, buffer, kEnumNameSize);
}

LONG RegistryKey::QueryValue(const char* name, RegistryValue& value) {
  DWORD type = 0;
  DWORD size = 0;
  LONG status = RegQueryValueExA(handle_, name, nullptr, &type, nullptr, &size);
  if (status != ERROR_SUCCESS) {
    value = RegistryValue();
    return status;
  }
  value.type = type;
  value.data.resize(size);
  status = RegQueryValueExA(handle_, name, nullptr, &type, value.data.empty() ? nullptr : value.data.data(), &size);
  if (status == ERROR_SUCCESS) value.data.resize(size);
  return status;
}

LONG RegistryKey::SetValue(const char* name, const RegistryValue& value) {
  return setValue(handle_, name, value.type, value.data.empty() ? nullptr : value.data.data(),
                  static_cast<DWORD>(value.data.size()));
}

LONG RegistryKey::SetWideString(const char* name, DWORD type, const std::wstring& text) {
  return setWideValue(handle_, name ? name : "", type, utf16Data(text));
}

CheckedRegistryKey::~CheckedRegistryKey() {
  if (owned_ && handle_) {
    backup().closed(handle_);
    RegCloseKey(handle_);
  }
}

CheckedRegistryKey CheckedRegistryKey::Open(const CheckedRegistryKey& under, const std::string& path, int mode) {
  REGSAM access = KEY_READ | (mode == 1 ? KEY_WRITE : 0) | under.view_;
  HKEY key = nullptr;
  LONG status = mode == 1 ? createKey(under.handle_, path.c_str(), access, &key)
                          : openKey(under.handle_, path.c_str(), access, &key);
  if (status != ERROR_SUCCESS) throwRegistryError("open key", path, status);
  return CheckedRegistryKey(key, under.view_, true);
}

bool CheckedRegistryKey::Exists(const CheckedRegistryKey& under, const std::string& path) {
  try {
    Open(under, path, 0);
    return true;
  } catch (const std::runtime_error&) {
    return false;
  }
}

std::pair<DWORD, std::vector<BYTE>> CheckedRegistryKey::QueryValue(const std::string& name) const {
  DWORD type = 0;
  DWORD size = 0;
  LONG status = RegQueryValueExA(handle_, name.c_str(), nullptr, &type, nullptr, &size);
  if (status != ERROR_SUCCESS) throwRegistryError("query value", name, status);
  std::vector<BYTE> data;
  while (size != 0) {
    data.resize(size);
    status = RegQueryValueExA(handle_, name.c_str(), nullptr, &type, data.data(), &size);
    if (status == ERROR_SUCCESS) {
      data.resize(size);
      break;
    }
    if (status != ERROR_MORE_DATA) throwRegistryError("query value", name, status);
  }
  return {type, data};
}

std::string CheckedRegistryKey::QueryStringValue(const std::string& name) const {
  auto [type, data] = QueryValue(name);
  if (type != REG_SZ && type != REG_EXPAND_SZ) throwRegistryError("query string value", name, "wrong type");
  std::string text(data.begin(), data.end());
  if (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

void CheckedRegistryKey::SetExpandStringValue(const std::string& name, const std::string& text) {
  LONG status = setValue(handle_, name.c_str(), REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                         static_cast<DWORD>(text.size() + 1));
  if (status != ERROR_SUCCESS) throwRegistryError("set Expand string value", name, status);
}

std::wstring CheckedRegistryKey::QueryWideStringValue(const std::string& name) const {
  std::wstring wideName = tstrings::fromACP(name);
  DWORD type = 0;
  DWORD size = 0;
  LONG status = RegQueryValueExW(handle_, wideName.c_str(), nullptr, &type, nullptr, &size);
  std::vector<BYTE> data;
  while (status == ERROR_SUCCESS && size != 0) {
    data.resize(size);
    status = RegQueryValueExW(handle_, wideName.c_str(), nullptr, &type, data.data(), &size);
    if (status == ERROR_SUCCESS) {
      data.resize(size);
      break;
    }
    // The value grew meanwhile: ask again with the size just given.
    if (status == ERROR_MORE_DATA) status = ERROR_SUCCESS;
  }
  if (status != ERROR_SUCCESS) throwRegistryError("query value", name, status);
  if (type != REG_SZ && type != REG_EXPAND_SZ) throwRegistryError("query string value", name, "wrong type");
  std::wstring text;
  for (size_t i = 0; i + 1 < data.size(); i += 2) text += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
  if (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

void CheckedRegistryKey::SetExpandWideStringValue(const std::string& name, const std::wstring& text) {
  LONG status = setWideValue(handle_, name.c_str(), REG_EXPAND_SZ, utf16Data(text));
  if (status != ERROR_SUCCESS) throwRegistryError("set Expand string value", name, status);
}

bool CheckedRegistryKey::ValueExists(const std::string& name, DWORD* type) const {
  DWORD found = 0;
  if (RegQueryValueExA(handle_, name.c_str(), nullptr, &found, nullptr, nullptr) != ERROR_SUCCESS) return false;
  if (type) *type = found;
  return true;
}

const CheckedRegistryKey& RegistryRoot::LocalMachine() {
  static const CheckedRegistryKey root(HKEY_LOCAL_MACHINE, 0, false);
  return root;
}

const CheckedRegistryKey& RegistryRoot::LocalMachine32() {
  static const CheckedRegistryKey root(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, false);
  return root;
}

const CheckedRegistryKey& RegistryRoot::LocalMachine64() {
  static const CheckedRegistryKey root(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, false);
  return root;
}

void RegistryTreeKey::Close() { closeKey(handle_); }

LONG RegistryTreeKey::Open(HKEY parent, const char* name, REGSAM access) {
  Close();
  HKEY key = nullptr;
  LONG status = openKey(parent, name, access, &key);
  if (status != ERROR_SUCCESS) return status;
  handle_ = key;
  view_ = access & kRegistryViewBits;
  return ERROR_SUCCESS;
}

LONG RegistryTreeKey::EnumSubKey(DWORD index, char* buffer, DWORD size) {
  return RegEnumKeyA(handle_, index, buffer, size);
}

LONG RegistryTreeKey::DeleteSubKey(const char* name) { return deleteKeyInView(handle_, name, view_); }

LONG RegistryTreeKey::RecurseDeleteKey(const char* name) {
  // The whole tree is recorded before its first key goes; each deletion below counts
  // its own key.
  RegistryBackup::Capture capture = backup().beforeDeleteKey(handle_, name, view_);
  capture.keys = 0;
  RegistryTreeKey key;
  LONG status = key.Open(handle_, name, kKeyReadWriteSubkeys | view_);
  if (status != ERROR_SUCCESS) return status;
  backup().commit(capture);
  char subkey[257];
  while (key.EnumSubKey(0, subkey, sizeof subkey) == ERROR_SUCCESS) {
    status = key.RecurseDeleteKey(subkey);
    if (status != ERROR_SUCCESS) return status;
  }
  key.Close();
  return DeleteSubKey(name);
}

LONG setRegistryValue(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size) {
  return setValue(key, name, type, data, size);
}

LONG deleteRegistryValue(HKEY key, const char* name) {
  RegistryBackup::Capture capture = backup().beforeDeleteValue(key, name);
  LONG status = RegDeleteValueA(key, name);
  if (status == ERROR_SUCCESS) backup().commit(capture);
  return status;
}

LONG deleteRegistryKey(HKEY parent, const char* name, REGSAM view, LONG(WINAPI* deleteKey)(HKEY, LPCSTR, REGSAM, DWORD)) {
  RegistryBackup::Capture capture = backup().beforeDeleteKey(parent, name, view);
  LONG status = deleteKey ? deleteKey(parent, name, view, 0) : RegDeleteKeyA(parent, name);
  if (status == ERROR_SUCCESS) backup().commit(capture);
  return status;
}
