// Registry keys of the program: the status-returning RegistryKey, the throwing
// CheckedRegistryKey with its RegistryRoot views, and RegistryTreeKey for
// enumeration and recursive deletion in a remembered view.
//
// Every key owns the handles it opened and closes them on every path; closing never
// reports a failure. All names and strings are ANSI, except the wide value text of
// CheckedRegistryKey.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

// Read + set value + create subkey: what a key whose subkeys are deleted is opened with.
inline constexpr REGSAM kKeyReadWriteSubkeys = 0x0002001F;
// The view bits of an access mask.
inline constexpr REGSAM kRegistryViewBits = KEY_WOW64_32KEY | KEY_WOW64_64KEY;

// A typed registry value. A string is its characters plus one NUL byte.
struct RegistryValue {
  DWORD type = 0;
  std::vector<BYTE> data;

  RegistryValue() = default;
  RegistryValue(DWORD valueType, std::vector<BYTE> bytes) : type(valueType), data(std::move(bytes)) {}
  // A REG_SZ value holding `text`.
  explicit RegistryValue(const std::string& text);

  // The text of a REG_SZ value (up to its first NUL); nothing for every other type,
  // REG_EXPAND_SZ included.
  std::optional<std::string> asString() const;
};

// A key that returns Win32 statuses (0 = success) and never throws or logs.
class RegistryKey {
 public:
  // A key that opens under `parent`: a predefined root or another key's handle.
  explicit RegistryKey(HKEY parent) : parent_(parent) {}
  ~RegistryKey() { Close(); }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Closes what is open, then opens `subkey` under the parent; a null subkey opens a
  // second handle to the parent itself.
  LONG OpenKey(const char* subkey, REGSAM access);
  // Creates `subkey` (with missing keys above it; an existing one is opened) under the
  // open handle, not under the parent, and makes it current.
  LONG CreateKey(const char* subkey, REGSAM access);
  // Deletes a subkey of the open handle in the default view; fails while it has subkeys.
  LONG DeleteSubKey(const char* name);
  LONG DeleteValue(const char* name);
  // Names the subkey at `index` into `buffer` (kEnumNameSize characters); a non-zero
  // status ends an enumeration.
  static constexpr DWORD kEnumNameSize = 128;
  LONG EnumSubKey(DWORD index, char (&buffer)[kEnumNameSize]);
  // Asks for type and size, then reads the data. On failure `value` is type 0 with no
  // data and the failing status is returned.
  LONG QueryValue(const char* name, RegistryValue& value);
  // Writes type and data under `name` (empty: the default value).
  LONG SetValue(const char* name, const RegistryValue& value);
  // Writes UTF-16 text with its NUL as a string value of `type` through the wide
  // function: for text the ANSI code page may not hold (a resource string in the
  // user-interface language).
  LONG SetWideString(const char* name, DWORD type, const std::wstring& text);

  // A value of the open key by name: assigning writes (the result is ignored),
  // reading gives the value or an empty one.
  class ValueSlot {
   public:
    ValueSlot& operator=(const RegistryValue& value) {
      key_.SetValue(name_.c_str(), value);
      return *this;
    }
    operator RegistryValue() const {
      RegistryValue value;
      key_.QueryValue(name_.c_str(), value);
      return value;
    }

   private:
    friend class RegistryKey;
    ValueSlot(RegistryKey& key, std::string name) : key_(key), name_(std::move(name)) {}
    RegistryKey& key_;
    std::string name_;
  };
  ValueSlot operator[](const char* name) { return ValueSlot(*this, name ? name : ""); }

  // The last opened or created key.
  HKEY Handle() const { return current_; }
  void Close();

 private:
  HKEY parent_;
  HKEY handle_ = nullptr;   // opened by OpenKey
  HKEY created_ = nullptr;  // opened by CreateKey
  HKEY current_ = nullptr;
};

// A key that throws std::runtime_error for failures. The message reads "<operation>
// (<name>) error: <status or detail>", e.g. "open key (SOFTWARE\X) error: 2".
class CheckedRegistryKey {
 public:
  // Wraps a handle; an owned one is closed on destruction.
  CheckedRegistryKey(HKEY handle, REGSAM view, bool owned) : handle_(handle), view_(view), owned_(owned) {}
  ~CheckedRegistryKey();
  CheckedRegistryKey(CheckedRegistryKey&& other) noexcept
      : handle_(std::exchange(other.handle_, nullptr)), view_(other.view_), owned_(std::exchange(other.owned_, false)) {}
  CheckedRegistryKey& operator=(CheckedRegistryKey&&) = delete;
  CheckedRegistryKey(const CheckedRegistryKey&) = delete;

  // Mode 0 opens for reading; mode 1 for reading and writing, creating the key when
  // it is missing. The new key works in the view of `under`.
  static CheckedRegistryKey Open(const CheckedRegistryKey& under, const std::string& path, int mode);
  // Whether `path` can be opened for reading under `under`.
  static bool Exists(const CheckedRegistryKey& under, const std::string& path);

  // The value's type and bytes; throws "query value" for any failure.
  std::pair<DWORD, std::vector<BYTE>> QueryValue(const std::string& name) const;
  // A REG_SZ or REG_EXPAND_SZ value as text with one trailing NUL dropped; throws
  // "query string value" with "wrong type" for other types.
  std::string QueryStringValue(const std::string& name) const;
  // Writes REG_EXPAND_SZ text with its NUL; throws "set Expand string value".
  void SetExpandStringValue(const std::string& name, const std::string& text);
  // The same two through the wide functions, for a value whose text may hold characters
  // the ANSI code page cannot (the machine's Path): read and written as the registry
  // keeps it, in UTF-16, unexpanded.
  std::wstring QueryWideStringValue(const std::string& name) const;
  void SetExpandWideStringValue(const std::string& name, const std::wstring& text);
  // Whether the value exists, and its type.
  bool ValueExists(const std::string& name, DWORD* type) const;

  HKEY handle() const { return handle_; }
  REGSAM view() const { return view_; }

 private:
  HKEY handle_;
  REGSAM view_;
  bool owned_;
};

// HKEY_LOCAL_MACHINE in the default view, the 32-bit view and the 64-bit view; never closed.
struct RegistryRoot {
  static const CheckedRegistryKey& LocalMachine();
  static const CheckedRegistryKey& LocalMachine32();
  static const CheckedRegistryKey& LocalMachine64();
};

// A key that remembers the view it was opened in and deletes in it. Statuses as
// RegistryKey.
class RegistryTreeKey {
 public:
  RegistryTreeKey() = default;
  ~RegistryTreeKey() { Close(); }
  RegistryTreeKey(const RegistryTreeKey&) = delete;
  RegistryTreeKey& operator=(const RegistryTreeKey&) = delete;

  LONG Open(HKEY parent, const char* name, REGSAM access);
  // The subkey at `index` (RegEnumKeyA): `size` is the buffer's size in characters.
  LONG EnumSubKey(DWORD index, char* buffer, DWORD size);
  // Deletes a subkey without subkeys in the remembered view.
  LONG DeleteSubKey(const char* name);
  // Deletes `name` with everything below it; the first failing status is returned
  // at once, leaving what was not yet deleted.
  LONG RecurseDeleteKey(const char* name);

  HKEY Handle() const { return handle_; }
  REGSAM view() const { return view_; }
  void Close();

 private:
  HKEY handle_ = nullptr;
  REGSAM view_ = 0;
};

// The changes some callers make on handles of their own, recorded in the run's registry
// backup (windows/common/RegistryBackup.h) like every change the key classes make.
// Each returns the status of the Windows call it stands for.
//
// RegSetValueExA.
LONG setRegistryValue(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size);
// RegDeleteValueA.
LONG deleteRegistryValue(HKEY key, const char* name);
// `deleteKey` (RegDeleteKeyExA, as found by the caller) in `view`, or RegDeleteKeyA
// when it is null.
LONG deleteRegistryKey(HKEY parent, const char* name, REGSAM view, LONG(WINAPI* deleteKey)(HKEY, LPCSTR, REGSAM, DWORD));
