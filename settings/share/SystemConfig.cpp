#include "settings/share/SystemConfig.h"

#include <windows.h>
#include <direct.h>
#include <io.h>
#include <sddl.h>
#include <shlobj.h>
#include <tchar.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "common/share/ScopedHandle.h"
#include "settings/share/ExceptionCode.h"

namespace settings_impl {

namespace {

constexpr size_t kMaxPathBytes = 260;
constexpr DWORD kMaxSidBytes = 68;

constexpr const char* kReservedNames[] = {"CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4",
                                          "COM5", "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3",
                                          "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};

bool isDriveComponent(const std::string& text) {
  if (text.size() != 2 || text[1] != ':') return false;
  char c = text[0];
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isAcceptableComponent(const std::string& component) {
  for (const char* reserved : kReservedNames) {
    if (component == reserved) return false;
  }
  for (char c : component) {
    if (static_cast<unsigned char>(c) < 0x20 || std::strchr("<>:\"|?*/\\", c)) return false;
  }
  return true;
}

std::string join(const std::vector<std::string>& components, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    if (i) out += '/';
    out += components[i];
  }
  return out;
}

std::string currentDirectory() {
  wchar_t buffer[MAX_PATH];
  if (!_wgetcwd(buffer, MAX_PATH)) throw settings::Exception(200);
  return wideToUtf8(buffer);
}

// Owner of a new file's handle until a C runtime descriptor takes it over.
class NewFileHandle {
 public:
  explicit NewFileHandle(HANDLE handle) : handle_(handle) {}
  ~NewFileHandle() {
    if (valid()) CloseHandle(handle_);
  }
  NewFileHandle(const NewFileHandle&) = delete;
  NewFileHandle& operator=(const NewFileHandle&) = delete;
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  void release() { handle_ = nullptr; }

 private:
  HANDLE handle_;
};

struct LocalMemory {
  void operator()(void* memory) const { LocalFree(memory); }
};

}  // namespace

std::wstring utf8ToWide(const std::string& text) {
  if (text.empty()) return {};
  int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (size <= 0) throw settings::Exception(200);
  std::wstring out(static_cast<size_t>(size), L'\0');
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), out.data(),
                          size) != size) {
    throw settings::Exception(200);
  }
  return out;
}

std::string wideToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (size <= 0) throw settings::Exception(200);
  std::string out(static_cast<size_t>(size), '\0');
  if (WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                          nullptr) != size) {
    throw settings::Exception(200);
  }
  return out;
}

SplitPath splitPath(const std::string& path) {
  if (path.empty()) throw ExceptionCode<311>();
  SplitPath out;
  out.absolute = isDriveComponent(path.substr(0, path.find_first_of("\\/")));
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of("\\/", start);
    if (end == std::string::npos) end = path.size();
    std::string component = path.substr(start, end - start);
    if (!component.empty() && component != ".") out.components.push_back(std::move(component));
    start = end + 1;
  }
  return out;
}

std::string testPathArgument(const std::string& path) {
  if (!isWellFormedUtf8(path)) throw ExceptionCode<312>();
  if (path.size() >= kMaxPathBytes) throw ExceptionCode<310>();
  SplitPath split = splitPath(path);
  for (size_t i = split.absolute ? 1 : 0; i < split.components.size(); ++i) {
    if (!isAcceptableComponent(split.components[i])) throw ExceptionCode<311>();
  }
  return path;
}

FilePath canonicalize(const std::string& utf8Path) {
  FilePath path;
  path.utf8 = utf8Path;
  return canonicalize(path);
}

FilePath canonicalize(const FilePath& path) {
  if (path.canonical) return path;
  SplitPath split = splitPath(path.utf8);
  std::vector<std::string> components;
  if (!split.absolute) {
    SplitPath base = splitPath(currentDirectory());
    if (!base.absolute) throw settings::Exception(200);
    components = std::move(base.components);
  }
  components.insert(components.end(), split.components.begin(), split.components.end());
  // The drive stays first: a ".." that would remove it has nowhere to go, and a
  // result without a drive would land wherever the current directory happens to be.
  for (size_t i = 0; i < components.size();) {
    if (components[i] != "..") {
      ++i;
      continue;
    }
    if (i <= 1) throw ExceptionCode<311>();
    components.erase(components.begin() + static_cast<std::ptrdiff_t>(i - 1),
                     components.begin() + static_cast<std::ptrdiff_t>(i + 1));
    --i;
  }
  if (components.size() < 2) throw ExceptionCode<311>();
  FilePath out;
  out.utf8 = testPathArgument(join(components, components.size()));
  out.wide = utf8ToWide(out.utf8);
  out.canonical = true;
  return out;
}

void makeParentDirectories(const FilePath& path) {
  if (!path.canonical) throw std::logic_error("canonicalized file name expected");
  SplitPath split = splitPath(path.utf8);
  if (split.components.empty()) return;
  size_t directories = split.components.size() - 1;
  for (size_t count = 2; count <= directories; ++count) {
    std::wstring prefix = utf8ToWide(testPathArgument(join(split.components, count)));
    struct _stat status;
    if (_wstat(prefix.c_str(), &status) == 0) continue;
    if (_wmkdir(prefix.c_str()) != 0 && errno != EEXIST) throw ExceptionCode<311>();
  }
}

std::wstring domainUsersSidString() {
  ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId()));
  if (!process.valid()) return {};
  ScopedHandle token;
  if (!OpenProcessToken(process.get(), TOKEN_QUERY, token.receive())) return {};
  DWORD needed = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &needed);
  if (needed == 0) return {};
  std::vector<unsigned char> tokenUser(needed);
  if (!GetTokenInformation(token.get(), TokenUser, tokenUser.data(), needed, &needed)) return {};
  BYTE userSid[kMaxSidBytes];
  if (!CopySid(sizeof userSid, userSid, reinterpret_cast<TOKEN_USER*>(tokenUser.data())->User.Sid)) return {};

  BYTE domainSid[kMaxSidBytes];
  DWORD domainSize = sizeof domainSid;
  if (!GetWindowsAccountDomainSid(userSid, domainSid, &domainSize)) return {};
  BYTE usersSid[kMaxSidBytes];
  DWORD usersSize = sizeof usersSid;
  if (!CreateWellKnownSid(WinAccountDomainUsersSid, domainSid, usersSid, &usersSize)) return {};
  LPWSTR text = nullptr;
  if (!ConvertSidToStringSidW(usersSid, &text)) return {};
  std::unique_ptr<void, LocalMemory> owned(text);
  return std::wstring(text);
}

int createProtectedFile(const FilePath& path) {
  std::wstring usersSid = domainUsersSidString();
  if (usersSid.empty()) return -1;
  std::wstring sddl = L"D:(A;;FA;;;BA)(A;;FR;;;" + usersSid + L")(A;;FR;;;WD)";

  PSECURITY_DESCRIPTOR system = nullptr;
  ULONG size = 0;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &system, &size)) {
    return -1;
  }
  std::vector<unsigned char> descriptor(static_cast<const unsigned char*>(system),
                                        static_cast<const unsigned char*>(system) + size);
  LocalFree(system);

  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof attributes;
  attributes.lpSecurityDescriptor = descriptor.data();
  attributes.bInheritHandle = FALSE;
  NewFileHandle file(CreateFileW(path.wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &attributes, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return -1;
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file.get()), 0);
  if (fd == -1) return -1;
  // The descriptor owns the handle now and _close releases it.
  file.release();
  return fd;
}

std::string systemConfigFilePath() {
  wchar_t folder[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) {
    throw settings::Exception(200);
  }
  return wideToUtf8(std::wstring(folder) + L"\\Vantor\\Zuna\\zuna.settings.cfg");
}

}  // namespace settings_impl
