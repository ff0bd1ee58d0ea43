// advapi32's registry functions over the machine's registry (platform/hosted/registry).
//
// Key handles are kernel handles of the machine; the predefined roots need none.
// Every function first asks the machine's faults whether a test wants it to fail,
// naming the key by its full path as the machine stores it (the 32-bit view's keys
// under Wow6432Node); value functions also accept "<key path>\<value name>".
#include <windows.h>

#include <chrono>
#include <cstring>
#include <algorithm>
#include <optional>

#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Text.h"
#include "platform/hosted/machine/registry/Registry.h"

using hosted::machine;
using hosted::registry::Key;
using hosted::registry::KeyPath;
using hosted::registry::Value;

namespace {

namespace reg = hosted::registry;

struct OpenKey : hosted::HandleObject {
  std::shared_ptr<Key> key;
  KeyPath path;  // real names from the root
  REGSAM access = 0;
};

// What a key handle stands for.
struct Resolved {
  LSTATUS status = ERROR_SUCCESS;
  std::shared_ptr<Key> key;
  KeyPath path;
  REGSAM access = 0;
};

Resolved resolve(HKEY hKey) {
  Resolved out;
  const auto& facts = machine().facts();
  if (hKey == HKEY_LOCAL_MACHINE) {
    out.path = {reg::kLocalMachine};
  } else if (hKey == HKEY_USERS) {
    out.path = {reg::kUsers};
  } else if (hKey == HKEY_CLASSES_ROOT) {
    out.path = {reg::kLocalMachine, "SOFTWARE", "Classes"};
  } else if (hKey == HKEY_CURRENT_USER) {
    out.path = {reg::kUsers, facts.userSid};
  } else if (hKey == HKEY_CURRENT_CONFIG) {
    out.path = {reg::kCurrentConfig};
  } else {
    auto open = machine().handles().get<OpenKey>(reinterpret_cast<HANDLE>(hKey));
    if (!open) {
      out.status = ERROR_INVALID_HANDLE;
      return out;
    }
    out.key = open->key;
    out.path = open->path;
    out.access = open->access;
    if (out.key->deleted) out.status = ERROR_KEY_DELETED;
    return out;
  }
  out.access = KEY_ALL_ACCESS;
  out.key = machine().registry().find(out.path);
  // A predefined root always stands for a key; one its alias names may be missing.
  if (!out.key) out.status = ERROR_FILE_NOT_FOUND;
  return out;
}

bool isPredefined(HKEY hKey) {
  auto value = reinterpret_cast<uintptr_t>(hKey);
  return value >= reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT) &&
         value <= reinterpret_cast<uintptr_t>(HKEY_CURRENT_CONFIG);
}

// The subkeys of HKEY_LOCAL_MACHINE\SOFTWARE\Classes that the 32-bit view keeps apart.
bool isRedirectedClassesKey(const std::string& name) {
  std::string upper = hosted::asciiUpper(name);
  return upper == "CLSID" || upper == "DIRECTSHOW" || upper == "INTERFACE" || upper == "MEDIA TYPE" ||
         upper == "MEDIAFOUNDATION";
}

// Puts the path into the view the call asks for: the 32-bit view of
// HKLM\SOFTWARE\X is HKLM\SOFTWARE\Wow6432Node\X on a 64-bit system. Classes is shared
// between the views except for the keys above. Applying it twice changes nothing.
void applyView(KeyPath& path, REGSAM sam) {
  const auto& facts = machine().facts();
  REGSAM view = sam & KEY_WOW64_RES;
  bool view32 = facts.runsX64() && (view == KEY_WOW64_32KEY || (view == 0 && facts.isWow64()));
  if (!view32 || path.size() < 3 || path[0] != reg::kLocalMachine) return;
  if (hosted::asciiUpper(path[1]) != "SOFTWARE") return;
  std::string third = hosted::asciiUpper(path[2]);
  if (third == "WOW6432NODE") return;
  if (third == "CLASSES") {
    if (path.size() >= 4 && isRedirectedClassesKey(path[3])) path.insert(path.begin() + 3, "Wow6432Node");
    return;
  }
  path.insert(path.begin() + 2, "Wow6432Node");
}

// The path of `subKey` (ANSI, may be null) below a resolved key, in the view of `sam`.
// False for a name the registry cannot hold.
bool subPath(const Resolved& base, LPCSTR subKey, REGSAM sam, KeyPath& path) {
  path = base.path;
  if (subKey && *subKey) {
    if (*subKey == '\\') return false;
    for (auto& part : reg::splitKeyPath(hosted::ansiToUtf8(subKey))) {
      if (part.empty()) continue;  // a trailing backslash
      path.push_back(std::move(part));
    }
  }
  applyView(path, sam);
  return true;
}

// The path with the names of the keys that exist as they are stored.
void canonicalize(KeyPath& path) {
  std::shared_ptr<Key> key;
  for (size_t i = 0; i < path.size(); ++i) {
    key = i == 0 ? machine().registry().find({path[0]}) : key->findSubkey(path[i]);
    if (!key) return;
    path[i] = key->name;
  }
}

std::string faultObject(const KeyPath& path) { return hosted::utf8ToAnsi(reg::joinKeyPath(path)); }

std::optional<uint32_t> takeValueFault(const char* function, const KeyPath& path, LPCSTR valueName) {
  std::string keyText = faultObject(path);
  if (auto error = machine().faults().take(function, keyText + "\\" + (valueName ? valueName : ""))) return error;
  return machine().faults().take(function, keyText);
}

HKEY addHandle(std::shared_ptr<Key> key, KeyPath path, REGSAM access) {
  auto open = std::make_shared<OpenKey>();
  open->key = std::move(key);
  open->path = std::move(path);
  open->access = access & ~static_cast<REGSAM>(KEY_WOW64_RES);
  return reinterpret_cast<HKEY>(machine().handles().add(open));
}

bool isStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// The data as the ANSI functions hand it out: strings in the ANSI code page.
std::vector<uint8_t> ansiData(const Value& value) {
  if (!isStringType(value.type)) return value.data;
  std::wstring wide;
  wide.reserve(value.data.size() / 2);
  for (size_t i = 0; i + 1 < value.data.size(); i += 2) {
    wide.push_back(static_cast<wchar_t>(value.data[i] | (value.data[i + 1] << 8)));
  }
  std::string ansi = hosted::wideToAnsi(wide);
  return std::vector<uint8_t>(ansi.begin(), ansi.end());
}

std::vector<uint8_t> storedData(DWORD type, const BYTE* data, DWORD size) {
  if (!data || size == 0) return {};
  if (!isStringType(type)) return std::vector<uint8_t>(data, data + size);
  std::wstring wide = hosted::ansiToWide(std::string_view(reinterpret_cast<const char*>(data), size));
  std::vector<uint8_t> out;
  out.reserve(wide.size() * 2);
  for (wchar_t unit : wide) {
    out.push_back(static_cast<uint8_t>(unit & 0xFF));
    out.push_back(static_cast<uint8_t>((unit >> 8) & 0xFF));
  }
  return out;
}

// Copies data out as RegQueryValueExA and RegEnumValueA do.
LSTATUS copyData(const std::vector<uint8_t>& data, LPBYTE out, LPDWORD size) {
  if (out && !size) return ERROR_INVALID_PARAMETER;
  if (!size) return ERROR_SUCCESS;
  if (out) {
    if (*size < data.size()) {
      *size = static_cast<DWORD>(data.size());
      return ERROR_MORE_DATA;
    }
    if (!data.empty()) std::memcpy(out, data.data(), data.size());
  }
  *size = static_cast<DWORD>(data.size());
  return ERROR_SUCCESS;
}

// The subkey at an index in enumeration order.
std::shared_ptr<Key> subkeyAt(const Key& key, DWORD index) {
  if (index >= key.subkeys.size()) return nullptr;
  auto it = key.subkeys.begin();
  std::advance(it, index);
  return it->second;
}

FILETIME fileTimeNow() {
  auto since = machine().now().time_since_epoch();
  // 100-nanosecond intervals since 1601-01-01.
  uint64_t ticks = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(since).count()) * 10 +
                   116444736000000000ull;
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(ticks);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return time;
}

LSTATUS deleteKey(const char* function, HKEY hKey, LPCSTR subKey, REGSAM view) {
  if (!subKey) return ERROR_INVALID_PARAMETER;
  Resolved base = resolve(hKey);
  if (base.status != ERROR_SUCCESS) return base.status;
  KeyPath path;
  if (!subPath(base, subKey, view, path)) return ERROR_BAD_PATHNAME;
  canonicalize(path);
  if (auto error = machine().faults().take(function, faultObject(path))) return static_cast<LSTATUS>(*error);
  std::shared_ptr<Key> key = machine().registry().find(path);
  if (!key) return ERROR_FILE_NOT_FOUND;
  // The roots and the hives right below them cannot be deleted; nor a key with subkeys.
  if (path.size() <= 2 || !key->subkeys.empty()) return ERROR_ACCESS_DENIED;
  return static_cast<LSTATUS>(machine().registry().deleteKey(path));
}

}  // namespace

extern "C" {

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  Resolved base = resolve(hKey);
  if (base.status != ERROR_SUCCESS) return base.status;
  KeyPath path;
  if (!subPath(base, lpSubKey, samDesired, path)) return ERROR_BAD_PATHNAME;
  canonicalize(path);
  if (auto error = machine().faults().take("RegOpenKeyExA", faultObject(path))) return static_cast<LSTATUS>(*error);
  std::shared_ptr<Key> key = machine().registry().find(path);
  if (!key) return ERROR_FILE_NOT_FOUND;
  *phkResult = addHandle(key, path, samDesired);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM samDesired,
                               const LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
  if (!phkResult || !lpSubKey) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  Resolved base = resolve(hKey);
  if (base.status != ERROR_SUCCESS) return base.status;
  KeyPath path;
  if (!subPath(base, lpSubKey, samDesired, path)) return ERROR_BAD_PATHNAME;
  canonicalize(path);
  if (auto error = machine().faults().take("RegCreateKeyExA", faultObject(path))) return static_cast<LSTATUS>(*error);
  auto& registry = machine().registry();
  std::shared_ptr<Key> key = registry.find(path);
  bool created = false;
  if (!key) {
    if (!(base.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
    // New hives cannot be made under the roots.
    if (path.size() < 2 || !registry.find({path[0], path[1]})) return ERROR_ACCESS_DENIED;
    if (uint32_t error = registry.createKey(path, &key, &created)) return static_cast<LSTATUS>(error);
  }
  if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *phkResult = addHandle(key, path, samDesired);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) { return deleteKey("RegDeleteKeyA", hKey, lpSubKey, 0); }

LSTATUS WINAPI RegDeleteKeyExA(HKEY hKey, LPCSTR lpSubKey, REGSAM samDesired, DWORD) {
  return deleteKey("RegDeleteKeyExA", hKey, lpSubKey, samDesired & KEY_WOW64_RES);
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  Resolved base = resolve(hKey);
  if (base.status != ERROR_SUCCESS) return base.status;
  if (auto error = takeValueFault("RegDeleteValueA", base.path, lpValueName)) return static_cast<LSTATUS>(*error);
  if (!(base.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  std::string name = hosted::ansiToUtf8(lpValueName ? lpValueName : "");
  if (!base.key->findValue(name)) return ERROR_FILE_NOT_FOUND;
  return static_cast<LSTATUS>(machine().registry().deleteValue(base.path, name));
}

LSTATUS WINAPI RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName) {
  Resolved base = resolve(hKey);
  if (base.status != ERROR_SUCCESS) return base.status;
  if (auto error = machine().faults().take("RegEnumKeyA", faultObject(base.path))) return static_cast<LSTATUS>(*error);
  if (!(base.access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  std::shared_ptr<Key> subkey = subkeyAt(*base.key, dwIndex);
  if (!subkey) return ERROR_NO_MORE_ITEMS;
  std::string name = hosted::utf8ToAnsi(subkey->name);
  if (!lpName) return ERROR_INVALID_PARAMETER;
  if (name.size() + 1 > cchName) return ERROR_MORE_DATA;
  std::memcpy(lpName, name.c_str(), name.size() + 1);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD, LPSTR lpClass,
                             LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  Resolved base = resolve(hKey);
  if (base.status != ERROR_SUCCESS) return base.status;
  if (auto error = machine().faults().take("RegEnumKeyExA", faultObject(base.path))) return static_cast<LSTATUS>(*error);
  if (!(base.access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  if (!lpName || !lpcchName) return ERROR_INVALID_PARAMETER;
  std::shared_ptr<Key> subkey = subkeyAt(*base.key, dwIndex);
  if (!subkey) return ERROR_NO_MORE_ITEMS;
  std::string name = hosted::utf8ToAnsi(subkey->name);
  if (name.size() + 1 > *lpcchName) return ERROR_MORE_DATA;
  std::memcpy(lpName, name.c_str(), name.size() + 1);
  *lpcchName = static_cast<DWORD>(name.size());
  if (lpClass && lpcchClass) {
    if (*lpcchClass == 0) return ERROR_MORE_DATA;
    *lpClass = '\0';
  }
  if (lpcchClass) *lpcchClass = 0;
  if (lpftLastWriteTime) *lpftLastWriteTime = fileTimeNow();
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD,
                             LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  Resolved base = resolve(hKey);
  if (base.status != ERROR_SUCCESS) return base.status;
  if (auto error = machine().faults().take("RegEnumValueA", faultObject(base.path))) return static_cast<LSTATUS>(*error);
  if (!(base.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (!lpValueName || !lpcchValueName) return ERROR_INVALID_PARAMETER;
  if (dwIndex >= base.key->values.size()) return ERROR_NO_MORE_ITEMS;
  const Value& value = base.key->values[dwIndex];
  std::string name = hosted::utf8ToAnsi(value.name);
  if (name.size() + 1 > *lpcchValueName) return ERROR_MORE_DATA;
  std::memcpy(lpValueName, name.c_str(), name.size() + 1);
  *lpcchValueName = static_cast<DWORD>(name.size());
  if (lpType) *lpType = value.type;
  return copyData(ansiData(value), lpData, lpcbData);
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData) {
  Resolved base = resolve(hKey);
  if (base.status != ERROR_SUCCESS) return base.status;
  if (auto error = takeValueFault("RegQueryValueExA", base.path, lpValueName)) return static_cast<LSTATUS>(*error);
  if (!(base.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  const Value* value = base.key->findValue(hosted::ansiToUtf8(lpValueName ? lpValueName : ""));
  if (!value) return ERROR_FILE_NOT_FOUND;
  if (lpType) *lpType = value->type;
  return copyData(ansiData(*value), lpData, lpcbData);
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
  Resolved base = resolve(hKey);
  if (base.status != ERROR_SUCCESS) return base.status;
  if (auto error = takeValueFault("RegSetValueExA", base.path, lpValueName)) return static_cast<LSTATUS>(*error);
  if (!(base.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  if (!lpData && cbData != 0) return ERROR_NOACCESS;
  return static_cast<LSTATUS>(machine().registry().setValue(base.path, hosted::ansiToUtf8(lpValueName ? lpValueName : ""),
                                                            dwType, storedData(dwType, lpData, cbData)));
}

// The wide functions hand string data over as the registry keeps it: UTF-16LE code
// units, whatever the ANSI code page.
LSTATUS WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD,
                             LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  Resolved base = resolve(hKey);
  if (base.status != ERROR_SUCCESS) return base.status;
  if (auto error = machine().faults().take("RegEnumValueW", faultObject(base.path))) return static_cast<LSTATUS>(*error);
  if (!(base.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (!lpValueName || !lpcchValueName) return ERROR_INVALID_PARAMETER;
  if (dwIndex >= base.key->values.size()) return ERROR_NO_MORE_ITEMS;
  const Value& value = base.key->values[dwIndex];
  std::wstring name = hosted::utf8ToWide(value.name);
  if (name.size() + 1 > *lpcchValueName) return ERROR_MORE_DATA;
  std::copy(name.begin(), name.end(), lpValueName);
  lpValueName[name.size()] = L'\0';
  *lpcchValueName = static_cast<DWORD>(name.size());
  if (lpType) *lpType = value.type;
  return copyData(value.data, lpData, lpcbData);
}

LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData) {
  Resolved base = resolve(hKey);
  if (base.status != ERROR_SUCCESS) return base.status;
  std::string name = hosted::wideToUtf8(lpValueName ? lpValueName : L"");
  if (auto error = takeValueFault("RegQueryValueExW", base.path, hosted::utf8ToAnsi(name).c_str())) {
    return static_cast<LSTATUS>(*error);
  }
  if (!(base.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  const Value* value = base.key->findValue(name);
  if (!value) return ERROR_FILE_NOT_FOUND;
  if (lpType) *lpType = value->type;
  return copyData(value->data, lpData, lpcbData);
}

LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
  Resolved base = resolve(hKey);
  if (base.status != ERROR_SUCCESS) return base.status;
  std::string name = hosted::wideToUtf8(lpValueName ? lpValueName : L"");
  if (auto error = takeValueFault("RegSetValueExW", base.path, hosted::utf8ToAnsi(name).c_str())) {
    return static_cast<LSTATUS>(*error);
  }
  if (!(base.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  if (!lpData && cbData != 0) return ERROR_NOACCESS;
  std::vector<uint8_t> data = lpData ? std::vector<uint8_t>(lpData, lpData + cbData) : std::vector<uint8_t>();
  return static_cast<LSTATUS>(machine().registry().setValue(base.path, name, dwType, std::move(data)));
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
  if (isPredefined(hKey)) return ERROR_SUCCESS;
  if (auto error = machine().faults().take("RegCloseKey")) return static_cast<LSTATUS>(*error);
  if (!machine().handles().get<OpenKey>(reinterpret_cast<HANDLE>(hKey))) return ERROR_INVALID_HANDLE;
  machine().handles().close(reinterpret_cast<HANDLE>(hKey));
  return ERROR_SUCCESS;
}

// The change log reaches the disk; the whole registry is one hive here.
LSTATUS WINAPI RegFlushKey(HKEY hKey) {
  if (!isPredefined(hKey)) {
    Resolved base = resolve(hKey);
    if (base.status != ERROR_SUCCESS) return base.status;
    if (!(base.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  }
  if (auto error = machine().faults().take("RegFlushKey")) return static_cast<LSTATUS>(*error);
  return static_cast<LSTATUS>(machine().registry().flush());
}

}  // extern "C"
