#include "windows/common/RegistryKey.h"

#include <stdexcept>

namespace {

void closeKey(HKEY& key) {
  if (key) RegCloseKey(key);
  key = nullptr;
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
  if (RegDeleteKeyExAFunction function = regDeleteKeyEx()) return function(parent, name, view, 0);
  return RegDeleteKeyA(parent, name);
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
  LONG status = RegOpenKeyExA(parent_, subkey, 0, access, &key);
  if (status != ERROR_SUCCESS) return status;
  handle_ = current_ = key;
  return ERROR_SUCCESS;
}

LONG RegistryKey::CreateKey(const char* subkey, REGSAM access) {
  HKEY key = nullptr;
  LONG status = RegCreateKeyExA(handle_, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  closeKey(created_);
  created_ = current_ = key;
  return ERROR_SUCCESS;
}

LONG RegistryKey::DeleteSubKey(const char* name) { return RegDeleteKeyA(handle_, name); }

LONG RegistryKey::DeleteValue(const char* name) { return RegDeleteValueA(handle_, name); }

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
  return RegSetValueExA(handle_, name, 0, value.type, value.data.empty() ? nullptr : value.data.data(),
                        static_cast<DWORD>(value.data.size()));
}

CheckedRegistryKey::~CheckedRegistryKey() {
  if (owned_ && handle_) RegCloseKey(handle_);
}

CheckedRegistryKey CheckedRegistryKey::Open(const CheckedRegistryKey& under, const std::string& path, int mode) {
  REGSAM access = KEY_READ | (mode == 1 ? KEY_WRITE : 0) | under.view_;
  HKEY key = nullptr;
  LONG status = mode == 1 ? RegCreateKeyExA(under.handle_, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                            nullptr, &key, nullptr)
                          : RegOpenKeyExA(under.handle_, path.c_str(), 0, access, &key);
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
  LONG status = RegSetValueExA(handle_, name.c_str(), 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                               static_cast<DWORD>(text.size() + 1));
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
  LONG status = RegOpenKeyExA(parent, name, 0, access, &key);
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
  RegistryTreeKey key;
  LONG status = key.Open(handle_, name, kKeyReadWriteSubkeys | view_);
  if (status != ERROR_SUCCESS) return status;
  char subkey[257];
  while (key.EnumSubKey(0, subkey, sizeof subkey) == ERROR_SUCCESS) {
    status = key.RecurseDeleteKey(subkey);
    if (status != ERROR_SUCCESS) return status;
  }
  key.Close();
  return DeleteSubKey(name);
}
