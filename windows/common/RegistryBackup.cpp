#include "windows/common/RegistryBackup.h"

#include <cstdio>

#include "common/share/tstrings.h"

#include "common/share/ScopedHandle.h"
#include "windows/common/FileUtils.h"
#include "windows/common/Logger.h"
#include "windows/common/SysInfo.h"

namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";
// Names tried for one second's file: the plain one, then -2 up to this suffix.
constexpr int kMaxNameSuffix = 99;
// The longest key name the registry allows, with its NUL.
constexpr DWORD kKeyNameSize = 256;
// The longest value name the registry allows, with its NUL.
constexpr DWORD kValueNameSize = 16384;

std::string upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

bool equalNames(const std::string& a, const std::string& b) { return upper(a) == upper(b); }

const char* rootName(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  if (key == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
  if (key == HKEY_USERS) return "HKEY_USERS";
  if (key == HKEY_CLASSES_ROOT) return "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes";
  if (key == HKEY_CURRENT_CONFIG) return "HKEY_CURRENT_CONFIG";
  return nullptr;
}

std::vector<std::string> splitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (c == '\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

std::string joinPath(const std::vector<std::string>& parts) {
  std::string out;
  for (const auto& part : parts) out += (out.empty() ? "" : "\\") + part;
  return out;
}

// The subkeys of HKLM\SOFTWARE\Classes that the 32-bit view keeps apart; the rest of
// Classes is shared by both views.
bool isRedirectedClassesKey(const std::string& name) {
  std::string key = upper(name);
  return key == "CLSID" || key == "DIRECTSHOW" || key == "INTERFACE" || key == "MEDIA TYPE" ||
         key == "MEDIAFOUNDATION";
}

// Names a key of the 32-bit view where it lives on a 64-bit system, under
// HKLM\SOFTWARE\Wow6432Node, which is where the (64-bit) registry editor finds it.
void applyView(std::vector<std::string>& parts, REGSAM access) {
  if (parts.size() < 3 || upper(parts[0]) != "HKEY_LOCAL_MACHINE" || upper(parts[1]) != "SOFTWARE") return;
  std::string third = upper(parts[2]);
  if (third == "WOW6432NODE") return;
  REGSAM view = access & (KEY_WOW64_32KEY | KEY_WOW64_64KEY);
  if (view == KEY_WOW64_64KEY) return;
  if (!SysInfo::isX64OS() || (view == 0 && !SysInfo::is32BitEnvironment())) return;
  if (third == "CLASSES") {
    if (parts.size() >= 4 && isRedirectedClassesKey(parts[3])) parts.insert(parts.begin() + 3, "Wow6432Node");
    return;
  }
  parts.insert(parts.begin() + 2, "Wow6432Node");
}

std::string escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

std::string hexBytes(const std::vector<BYTE>& bytes) {
  std::string out;
  char byte[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(byte, sizeof byte, "%02x", bytes[i]);
    if (i) out += ',';
    out += byte;
  }
  return out;
}

// ANSI data as the registry stores string types: UTF-16LE code units.
std::vector<BYTE> wideBytes(const std::vector<BYTE>& ansi) {
  std::vector<BYTE> out;
  if (ansi.empty()) return out;
  const char* text = reinterpret_cast<const char*>(ansi.data());
  int length = static_cast<int>(ansi.size());
  int units = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
  if (units <= 0) return out;
  std::vector<WCHAR> wide(static_cast<size_t>(units));
  MultiByteToWideChar(CP_ACP, 0, text, length, wide.data(), units);
  for (WCHAR unit : wide) {
    out.push_back(static_cast<BYTE>(unit & 0xFF));
    out.push_back(static_cast<BYTE>((unit >> 8) & 0xFF));
  }
  return out;
}

bool isStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// UTF-16LE data as text, up to its end.
std::wstring wideText(const std::vector<BYTE>& data) {
  std::wstring text;
  for (size_t i = 0; i + 1 < data.size(); i += 2) text += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
  return text;
}

// The records are UTF-8 until the file is written; the program's names are ANSI.
std::string utf8(const std::string& ansi) { return tstrings::toUtf8(tstrings::fromACP(ansi)); }

// Whether REG_SZ data (UTF-16LE) reads back unchanged from "text": one NUL, at the
// end, and no control characters, which a quoted line cannot carry.
bool isPlainString(const std::vector<BYTE>& data) {
  std::wstring text = wideText(data);
  if (text.empty() || text.back() != 0) return false;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] < 0x20) return false;
    // A surrogate must be half of a pair.
    if (text[i] >= 0xD800 && text[i] <= 0xDBFF) {
      if (i + 2 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

// A value name, given in UTF-8.
std::string valueName(const std::string& name) { return name.empty() ? "@" : "\"" + escape(name) + "\""; }

// One value line as the registry editor writes it, in UTF-8; string data is UTF-16LE,
// as the wide functions give it.
std::string valueLine(const std::string& name, DWORD type, const std::vector<BYTE>& data) {
  std::string line = valueName(name) + "=";
  if (type == REG_SZ && isPlainString(data)) {
    std::wstring text = wideText(data);
    text.pop_back();
    line += "\"" + escape(tstrings::toUtf8(text)) + "\"";
  } else if (type == REG_DWORD && data.size() == 4) {
    char text[16];
    DWORD number = static_cast<DWORD>(data[0]) | static_cast<DWORD>(data[1]) << 8 | static_cast<DWORD>(data[2]) << 16 |
                   static_cast<DWORD>(data[3]) << 24;
    std::snprintf(text, sizeof text, "dword:%08x", static_cast<unsigned>(number));
    line += text;
  } else if (type == REG_BINARY) {
    line += "hex:" + hexBytes(data);
  } else {
    // The type in hexadecimal, as the registry editor writes it (hex(b) for a QWORD).
    char prefix[24];
    std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(type));
    line += prefix + hexBytes(data);
  }
  return line + "\r\n";
}

// A key opened only for the backup's reading; closed on every path.
class ReadKey {
 public:
  ReadKey(HKEY parent, const char* subkey, REGSAM view) {
    if (RegOpenKeyExA(parent, subkey, 0, KEY_READ | view, &key_) != ERROR_SUCCESS) key_ = nullptr;
  }
  ~ReadKey() {
    if (key_) RegCloseKey(key_);
  }
  ReadKey(const ReadKey&) = delete;
  ReadKey& operator=(const ReadKey&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// The value by name, with its stored name; the failing status when it is missing or
// unreadable.
LONG readValue(HKEY key, const std::string& name, std::string& storedName, DWORD& type, std::vector<BYTE>& data) {
  std::wstring wideName = tstrings::fromACP(name);
  DWORD size = 0;
  LONG status = RegQueryValueExW(key, wideName.c_str(), nullptr, &type, nullptr, &size);
  if (status != ERROR_SUCCESS) return status;
  data.resize(size);
  status = RegQueryValueExW(key, wideName.c_str(), nullptr, &type, data.empty() ? nullptr : data.data(), &size);
  if (status != ERROR_SUCCESS) return status;
  data.resize(size);
  storedName = name;
  // The name as it is stored, which a value written back should keep.
  std::vector<char> buffer(kValueNameSize);
  for (DWORD index = 0;; ++index) {
    DWORD length = kValueNameSize;
    if (RegEnumValueA(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (equalNames(buffer.data(), name)) {
      storedName = buffer.data();
      break;
    }
  }
  return ERROR_SUCCESS;
}

// The registry-editor text of a key and everything below it: a block per key.
void describeTree(HKEY key, const std::string& path, REGSAM view, std::string& out) {
  out += "[" + utf8(path) + "]\r\n";
  std::vector<WCHAR> name(kValueNameSize);
  std::vector<BYTE> data;
  for (DWORD index = 0;; ++index) {
    DWORD length = kValueNameSize;
    DWORD type = 0;
    DWORD size = 0;
    if (RegEnumValueW(key, index, name.data(), &length, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    data.assign(size, 0);
    length = kValueNameSize;
    if (RegEnumValueW(key, index, name.data(), &length, nullptr, &type, data.empty() ? nullptr : data.data(), &size) !=
        ERROR_SUCCESS) {
      break;
    }
    data.resize(size);
    out += valueLine(tstrings::toUtf8(std::wstring(name.data(), length)), type, data);
  }
  out += "\r\n";
  char subkey[kKeyNameSize];
  for (DWORD index = 0;; ++index) {
    DWORD length = kKeyNameSize;
    if (RegEnumKeyExA(key, index, subkey, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    ReadKey child(key, subkey, view);
    if (child.get()) describeTree(child.get(), path + "\\" + subkey, view, out);
  }
}

// The stored name of `parent`'s subkey `name`, or `name` itself when it cannot be
// listed.
std::string storedSubkeyName(HKEY parent, const std::string& name) {
  char subkey[kKeyNameSize];
  for (DWORD index = 0;; ++index) {
    DWORD length = kKeyNameSize;
    if (RegEnumKeyExA(parent, index, subkey, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (equalNames(subkey, name)) return subkey;
  }
  return name;
}

}  // namespace

RegistryBackup& RegistryBackup::instance() {
  static RegistryBackup backup;
  return backup;
}

void RegistryBackup::start(const std::string& directory) {
  active_ = true;
  failed_ = false;
  directory_ = directory;
  file_.clear();
  paths_.clear();
  records_.clear();
  keys_.clear();
  values_.clear();
  counts_ = RegistryChangeCounts();
}

void RegistryBackup::opened(HKEY parent, const char* subkey, REGSAM access, HKEY key) {
  if (!active_ || !key) return;
  std::string path = locate(parent, subkey, access);
  if (path.empty()) {
    paths_.erase(key);
  } else {
    paths_[key] = path;
  }
}

void RegistryBackup::closed(HKEY key) { paths_.erase(key); }

std::string RegistryBackup::pathOf(HKEY key) const {
  if (const char* root = rootName(key)) return root;
  auto found = paths_.find(key);
  return found == paths_.end() ? std::string() : found->second;
}

std::string RegistryBackup::locate(HKEY parent, const char* subkey, REGSAM access) const {
  std::string base = pathOf(parent);
  if (base.empty()) return base;
  std::vector<std::string> parts = splitPath(base);
  for (auto& part : splitPath(subkey ? subkey : "")) parts.push_back(part);
  applyView(parts, access);
  return joinPath(parts);
}

bool RegistryBackup::covered(const std::string& item) const {
  // A key covers itself and everything below it.
  if (keys_.count(item)) return true;
  for (size_t at = item.find('\\'); at != std::string::npos; at = item.find('\\', at + 1)) {
    if (keys_.count(item.substr(0, at))) return true;
  }
  return false;
}

RegistryBackup::Capture RegistryBackup::beforeSetValue(HKEY key, const char* name, DWORD type, const BYTE* data,
                                                       DWORD size, bool wide) {
  DWORD oldType = 0;
  std::vector<BYTE> oldData;
  Capture capture = captureValue(key, name, oldType, oldData);
  std::vector<BYTE> newData(data, data + (data ? size : 0));
  if (!wide && isStringType(type)) newData = wideBytes(newData);
  if (capture.existed && oldType == type && oldData == newData) {
    capture.same = true;
    capture.record.clear();
  }
  return capture;
}

RegistryBackup::Capture RegistryBackup::captureValue(HKEY key, const char* name, DWORD& type,
                                                     std::vector<BYTE>& data) {
  Capture capture;
  if (!active_) return capture;
  std::string path = pathOf(key);
  if (path.empty()) return capture;
  std::string given = name ? name : "";
  capture.kind = Capture::Kind::Value;
  capture.item = upper(path) + "\n" + upper(given);
  std::string stored;
  LONG readStatus = readValue(key, given, stored, type, data);
  capture.existed = readStatus == ERROR_SUCCESS;
  if (!capture.existed && readStatus == ERROR_ACCESS_DENIED) {
    // The handle may lack the right to read; a second one has it.
    ReadKey reader(key, nullptr, 0);
    if (reader.get()) capture.existed = readValue(reader.get(), given, stored, type, data) == ERROR_SUCCESS;
  }
  if (covered(upper(path)) || values_.count(capture.item)) return capture;
  capture.record = "[" + utf8(path) + "]\r\n" +
                   (capture.existed ? valueLine(utf8(stored), type, data) : valueName(utf8(given)) + "=-\r\n") +
                   "\r\n";
  return capture;
}

RegistryBackup::Capture RegistryBackup::beforeDeleteValue(HKEY key, const char* name) {
  DWORD type = 0;
  std::vector<BYTE> data;
  Capture capture = captureValue(key, name, type, data);
  capture.removal = true;
  if (capture.kind == Capture::Kind::Value && !capture.existed) capture.record.clear();
  return capture;
}

RegistryBackup::Capture RegistryBackup::beforeDeleteKey(HKEY parent, const char* subkey, REGSAM view) {
  Capture capture;
  if (!active_ || !subkey) return capture;
  std::string path = locate(parent, subkey, view);
  if (path.empty()) return capture;
  capture.kind = Capture::Kind::DeletedKey;
  capture.keys = 1;
  ReadKey key(parent, subkey, view);
  if (!key.get()) return capture;  // nothing to delete, nothing to record
  // The deleted key comes back under the name it is stored with.
  std::vector<std::string> parts = splitPath(path);
  std::vector<std::string> given = splitPath(subkey);
  if (given.size() == 1) {
    parts.back() = storedSubkeyName(parent, parts.back());
    path = joinPath(parts);
  }
  capture.item = upper(path);
  if (covered(capture.item)) return capture;
  // Removing first takes away whatever the run put into the key after deleting it.
  capture.record = "[-" + utf8(path) + "]\r\n\r\n";
  describeTree(key.get(), path, view & (KEY_WOW64_32KEY | KEY_WOW64_64KEY), capture.record);
  return capture;
}

RegistryBackup::Capture RegistryBackup::beforeCreateKey(HKEY parent, const char* subkey, REGSAM access) {
  Capture capture;
  if (!active_ || !subkey) return capture;
  std::string path = locate(parent, subkey, access);
  if (path.empty()) return capture;
  {
    ReadKey whole(parent, subkey, access & (KEY_WOW64_32KEY | KEY_WOW64_64KEY));
    if (whole.get()) return capture;  // it exists: nothing is created
  }
  // The first missing key from the top: removing it removes every key the call makes.
  std::vector<std::string> given = splitPath(subkey);
  std::string prefix;
  size_t missing = 0;
  for (; missing < given.size(); ++missing) {
    prefix += (prefix.empty() ? "" : "\\") + given[missing];
    ReadKey part(parent, prefix.c_str(), access & (KEY_WOW64_32KEY | KEY_WOW64_64KEY));
    if (!part.get()) break;
  }
  std::vector<std::string> parts = splitPath(path);
  size_t created = given.size() - missing;
  capture.kind = Capture::Kind::CreatedKey;
  capture.keys = static_cast<int>(created);
  if (created == 0 || created > parts.size()) return capture;
  parts.resize(parts.size() - created + 1);
  std::string top = joinPath(parts);
  capture.item = upper(top);
  if (covered(capture.item)) return capture;
  capture.record = "[-" + utf8(top) + "]\r\n\r\n";
  return capture;
}

void RegistryBackup::commit(const Capture& capture) {
  if (!active_ || capture.kind == Capture::Kind::None || capture.same) return;
  switch (capture.kind) {
    case Capture::Kind::CreatedKey: counts_.keysCreated += capture.keys; break;
    case Capture::Kind::DeletedKey: counts_.keysRemoved += capture.keys; break;
    case Capture::Kind::Value:
      ++(capture.removal ? counts_.valuesRemoved : capture.existed ? counts_.valuesChanged : counts_.valuesCreated);
      break;
    case Capture::Kind::None: break;
  }
  if (capture.record.empty()) return;
  if (capture.kind == Capture::Kind::Value) {
    values_.insert(capture.item);
  } else {
    keys_.insert(capture.item);
  }
  records_.push_back(capture.record);
  write();
}

std::string RegistryBackup::fileName() const { return file_.empty() || failed_ ? std::string() : basename(file_); }

namespace {

// The file's bytes: the UTF-8 records in UTF-16LE behind its byte-order mark, as the
// registry editor writes.
std::vector<BYTE> fileBytes(const std::string& text) {
  std::vector<BYTE> bytes = {0xFF, 0xFE};
  for (wchar_t unit : tstrings::fromUtf8(text)) {
    bytes.push_back(static_cast<BYTE>(unit & 0xFF));
    bytes.push_back(static_cast<BYTE>((unit >> 8) & 0xFF));
  }
  return bytes;
}

bool writeAll(HANDLE file, const std::vector<BYTE>& bytes) {
  DWORD written = 0;
  return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

}  // namespace

bool RegistryBackup::claimFile(const std::string& content) {
  if (directory_.empty()) {
    LOG_ERROR("Cannot create the registry backup: the temporary folder is unknown; the run goes on without it.");
    return false;
  }
  SYSTEMTIME now;
  GetLocalTime(&now);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04u%02u%02u-%02u%02u%02u", unsigned{now.wYear}, unsigned{now.wMonth},
                unsigned{now.wDay}, unsigned{now.wHour}, unsigned{now.wMinute}, unsigned{now.wSecond});
  for (int suffix = 1; suffix <= kMaxNameSuffix; ++suffix) {
    std::string name = std::string("zusched-backup-") + stamp + (suffix > 1 ? "-" + std::to_string(suffix) : "") + ".reg";
    std::string path = combinePath(directory_, name);
    // Made new, so that an older run's file is never written over.
    ScopedHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
      DWORD error = GetLastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
      LOG_ERROR("Cannot create the registry backup " + path + " (error " + std::to_string(error) +
                "); the run goes on without it.");
      return false;
    }
    file_ = path;
    if (!writeAll(file.get(), fileBytes(content))) {
      LOG_ERROR("Cannot write the registry backup " + path + " (error " + std::to_string(GetLastError()) +
                "); the run goes on without it.");
      return false;
    }
    return true;
  }
  LOG_ERROR("Cannot find a free name for the registry backup in " + directory_ + "; the run goes on without it.");
  return false;
}

void RegistryBackup::write() {
  if (failed_) return;
  std::string content = kHeader;
  for (auto record = records_.rbegin(); record != records_.rend(); ++record) content += *record;
  if (file_.empty()) {
    if (!claimFile(content)) failed_ = true;
    return;
  }
  ScopedHandle file(CreateFileA(file_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid() || !writeAll(file.get(), fileBytes(content))) {
    LOG_ERROR("Cannot write the registry backup " + file_ + " (error " + std::to_string(GetLastError()) +
              "); the run goes on without it.");
    failed_ = true;
  }
}
