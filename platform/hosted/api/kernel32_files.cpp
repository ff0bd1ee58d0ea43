// kernel32: files and directories by path, searches, links and reparse points.
#include <windows.h>
#include <winioctl.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/hosted/machine/Changes.h"
#include "platform/hosted/machine/Run.h"
#include "platform/hosted/machine/Files.h"
#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Paths.h"
#include "platform/hosted/machine/PendingRenames.h"
#include "platform/hosted/machine/Security.h"
#include "platform/hosted/machine/Text.h"

using hosted::LinkKind;
using hosted::machine;
using hosted::setLastError;
namespace fs = std::filesystem;

namespace {

BOOL failWith(DWORD error) {
  setLastError(error);
  return FALSE;
}

// Resolves a path whose last component must exist; sets the Windows error otherwise.
std::optional<hosted::ResolvedPath> existing(const char* path, bool followLastLink = false) {
  uint32_t error = 0;
  auto resolved = hosted::resolvePath(path, &error, followLastLink);
  if (!resolved) {
    setLastError(error);
    return std::nullopt;
  }
  if (!resolved->exists) {
    setLastError(resolved->parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    return std::nullopt;
  }
  return resolved;
}

bool isDriveRoot(const hosted::ResolvedPath& path) { return path.windows.size() <= 3; }

bool isHostDirectory(const fs::path& host) {
  std::error_code ec;
  return fs::is_directory(fs::symlink_status(host, ec));
}

bool isReadOnly(const fs::path& host) {
  struct stat st{};
  return ::lstat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR);
}

// Windows file times count 100 ns steps since 1601.
FILETIME toFileTime(const struct timespec& when) {
  constexpr uint64_t kEpochDifference = 116444736000000000ULL;
  uint64_t ticks = static_cast<uint64_t>(when.tv_sec) * 10000000ULL + static_cast<uint64_t>(when.tv_nsec) / 100 +
                   kEpochDifference;
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// '*' any run of characters, '?' any one; letters compare without case.
bool matchesPattern(std::string_view name, std::string_view pattern) {
  if (pattern == "*" || pattern == "*.*") return true;
  size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || hosted::asciiUpper(pattern[p]) == hosted::asciiUpper(name[n]))) {
      ++n, ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

struct SearchObject : hosted::HandleObject {
  std::string pattern;  // as the search was started, for fault injection
  std::vector<WIN32_FIND_DATAA> entries;
  size_t next = 0;
};

WIN32_FIND_DATAA findDataFor(const fs::path& host, const std::string& ansiName) {
  WIN32_FIND_DATAA data;
  std::memset(&data, 0, sizeof data);
  data.dwFileAttributes = hosted::attributesOf(host);
  struct stat st{};
  if (::lstat(host.c_str(), &st) == 0) {
    data.ftCreationTime = toFileTime(st.st_ctim);
    data.ftLastAccessTime = toFileTime(st.st_atim);
    data.ftLastWriteTime = toFileTime(st.st_mtim);
    if (S_ISREG(st.st_mode)) {
      data.nFileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(st.st_size) >> 32);
      data.nFileSizeLow = static_cast<DWORD>(st.st_size);
    }
  }
  switch (hosted::linkKind(host)) {
    case LinkKind::Junction: data.dwReserved0 = IO_REPARSE_TAG_MOUNT_POINT; break;
    case LinkKind::FileSymlink: data.dwReserved0 = IO_REPARSE_TAG_SYMLINK; break;
    case LinkKind::None: break;
  }
  std::strncpy(data.cFileName, ansiName.c_str(), MAX_PATH - 1);
  return data;
}

// Copies the bytes of one host file into a new or truncated one; false with a
// Windows error on failure. The target keeps the source's read-only state.
bool copyContents(const fs::path& from, const fs::path& to, DWORD* error) {
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    *error = ERROR_ACCESS_DENIED;
    return false;
  }
  struct stat st{};
  ::fstat(in, &st);
  hosted::forgetResolvedPaths(to);
  int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (out < 0) {
    ::close(in);
    *error = ERROR_ACCESS_DENIED;
    return false;
  }
  char buffer[65536];
  bool ok = true;
  while (ok) {
    ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        ok = false;
        break;
      }
      done += w;
    }
  }
  if (ok) ::fchmod(out, st.st_mode & 07777);
  ::close(in);
  if (::close(out) != 0) ok = false;
  if (!ok) *error = ERROR_DISK_FULL;
  return ok;
}

// The reparse data of a host link as Windows lays it out: the tag, the data length,
// a reserved word, then substitute and print names (offset and length in bytes), a
// flags word for symbolic links, and the names with their terminators.
std::vector<unsigned char> reparseDataOf(const std::string& text) {
  std::wstring substitute;
  std::wstring print;
  uint32_t tag;
  bool symlink = text.rfind("\\??\\", 0) != 0;
  bool relative = false;
  if (!symlink) {
    tag = IO_REPARSE_TAG_MOUNT_POINT;
    substitute = hosted::utf8ToWide(text);
    print = hosted::utf8ToWide(text.substr(4));
  } else {
    tag = IO_REPARSE_TAG_SYMLINK;
    relative = !(text.size() >= 3 && text[1] == ':' && (text[2] == '\\' || text[2] == '/'));
    print = hosted::utf8ToWide(text);
    substitute = relative ? print : L"\\??\\" + print;
  }
  size_t header = symlink ? 20 : 16;
  size_t subBytes = substitute.size() * 2;
  size_t printBytes = print.size() * 2;
  std::vector<unsigned char> out(header + subBytes + 2 + printBytes + 2, 0);
  auto put16 = [&](size_t at, size_t v) {
    out[at] = static_cast<unsigned char>(v);
    out[at + 1] = static_cast<unsigned char>(v >> 8);
  };
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<unsigned char>(v >> (8 * i));
  };
  put32(0, tag);
  put16(4, out.size() - 8);
  put16(8, 0);
  put16(10, subBytes);
  put16(12, subBytes + 2);
  put16(14, printBytes);
  if (symlink) put32(16, relative ? SYMLINK_FLAG_RELATIVE : 0);
  auto putName = [&](size_t at, const std::wstring& name) {
    for (size_t i = 0; i < name.size(); ++i) put16(at + 2 * i, static_cast<uint16_t>(name[i]));
  };
  putName(header, substitute);
  putName(header + subBytes + 2, print);
  return out;
}

// Deletes a resolved file as DeleteFile does; nullopt (its error already set) fails.
BOOL deleteFile(const std::optional<hosted::ResolvedPath>& resolved) {
  if (!resolved) return FALSE;
  // Directories, junctions included, are not files; a file symbolic link goes itself.
  if (isHostDirectory(resolved->host) || hosted::linkKind(resolved->host) == LinkKind::Junction) {
    return failWith(ERROR_ACCESS_DENIED);
  }
  if (isReadOnly(resolved->host)) return failWith(ERROR_ACCESS_DENIED);
  if (!hosted::deletionAllowed(resolved->host)) return failWith(ERROR_SHARING_VIOLATION);
  // A running program's image or library cannot go while it is mapped; a link to one can.
  if (hosted::linkKind(resolved->host) == LinkKind::None && hosted::isMappedImage(resolved->host)) {
    return failWith(ERROR_ACCESS_DENIED);
  }
  hosted::beforeChange();
  hosted::forgetResolvedPaths(resolved->host);
  if (::unlink(resolved->host.c_str()) != 0) return failWith(ERROR_ACCESS_DENIED);
  return TRUE;
}

}  // namespace

extern "C" {

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
  if (!lpFileName) {
    setLastError(ERROR_INVALID_PARAMETER);
    return INVALID_FILE_ATTRIBUTES;
  }
  if (auto error = machine().faults().take("GetFileAttributesA", lpFileName)) {
    setLastError(*error);
    return INVALID_FILE_ATTRIBUTES;
  }
  auto resolved = existing(lpFileName);
  return resolved ? hosted::attributesOf(resolved->host) : INVALID_FILE_ATTRIBUTES;
}

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
  if (!lpFileName || !lpFindFileData) {
    setLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (auto error = machine().faults().take("FindFirstFileA", lpFileName)) {
    setLastError(*error);
    return INVALID_HANDLE_VALUE;
  }
  std::string text = lpFileName;
  size_t cut = text.find_last_of("\\/");
  std::string directory = cut == std::string::npos ? std::string(".") : text.substr(0, cut + 1);
  std::string pattern = cut == std::string::npos ? text : text.substr(cut + 1);
  if (pattern.empty()) {
    setLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  uint32_t error = 0;
  auto dir = hosted::resolvePath(directory, &error, true);
  if (!dir) {
    setLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  if (!dir->exists || !isHostDirectory(dir->host)) {
    setLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }

  auto search = std::make_shared<SearchObject>();
  search->pattern = text;
  if (!isDriveRoot(*dir)) {
    for (const char* dots : {".", ".."}) {
      if (matchesPattern(dots, pattern)) search->entries.push_back(findDataFor(dir->host, dots));
    }
  }
  // Entries come in the order of their upper-cased names, as NTFS keeps them.
  std::vector<std::pair<std::string, fs::path>> found;
  std::error_code ec;
  for (fs::directory_iterator it(dir->host, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = hosted::utf8ToAnsi(it->path().filename().string());
    if (name.size() < MAX_PATH && matchesPattern(name, pattern)) found.emplace_back(name, it->path());
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
    return hosted::asciiUpper(a.first) < hosted::asciiUpper(b.first);
  });
  for (const auto& [name, host] : found) search->entries.push_back(findDataFor(host, name));
  if (search->entries.empty()) {
    setLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  *lpFindFileData = search->entries[0];
  search->next = 1;
  return machine().handles().add(search);
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
  auto search = machine().handles().get<SearchObject>(hFindFile);
  if (!search || !lpFindFileData) return failWith(ERROR_INVALID_HANDLE);
  if (auto error = machine().faults().take("FindNextFileA", search->pattern)) return failWith(*error);
  if (search->next >= search->entries.size()) return failWith(ERROR_NO_MORE_FILES);
  *lpFindFileData = search->entries[search->next++];
  return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
  auto search = machine().handles().get<SearchObject>(hFindFile);
  if (!search) return failWith(ERROR_INVALID_HANDLE);
  if (auto error = machine().faults().take("FindClose", search->pattern)) return failWith(*error);
  machine().handles().close(hFindFile);
  return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
  if (!lpPathName) return failWith(ERROR_PATH_NOT_FOUND);
  if (auto error = machine().faults().take("CreateDirectoryA", lpPathName)) return failWith(*error);
  uint32_t error = 0;
  auto resolved = hosted::resolvePath(lpPathName, &error);
  if (!resolved) return failWith(error);
  if (isDriveRoot(*resolved)) return failWith(resolved->exists ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND);
  if (resolved->exists) return failWith(ERROR_ALREADY_EXISTS);
  if (!resolved->parentExists) return failWith(ERROR_PATH_NOT_FOUND);
  hosted::beforeChange();
  hosted::forgetResolvedPaths(resolved->host);
  if (::mkdir(resolved->host.c_str(), 0755) != 0) return failWith(errno == EEXIST ? ERROR_ALREADY_EXISTS : ERROR_ACCESS_DENIED);
  if (lpSecurityAttributes && lpSecurityAttributes->lpSecurityDescriptor) {
    if (auto sddl = hosted::decodeSecurityDescriptor(lpSecurityAttributes->lpSecurityDescriptor)) {
      hosted::recordSecurity(resolved->windows, *sddl);
    }
  }
  return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName) {
  if (!lpPathName) return failWith(ERROR_PATH_NOT_FOUND);
  if (auto error = machine().faults().take("RemoveDirectoryA", lpPathName)) return failWith(*error);
  auto resolved = existing(lpPathName);
  if (!resolved) return FALSE;
  if (isDriveRoot(*resolved)) return failWith(ERROR_ACCESS_DENIED);
  switch (hosted::linkKind(resolved->host)) {
    case LinkKind::Junction:
      // Removes the junction itself; what it points at stays.
      if (!hosted::deletionAllowed(resolved->host)) return failWith(ERROR_SHARING_VIOLATION);
      hosted::beforeChange();
      hosted::forgetResolvedPaths(resolved->host);
      return ::unlink(resolved->host.c_str()) == 0 ? TRUE : failWith(ERROR_ACCESS_DENIED);
    case LinkKind::FileSymlink: return failWith(ERROR_DIRECTORY);
    case LinkKind::None: break;
  }
  if (!isHostDirectory(resolved->host)) return failWith(ERROR_DIRECTORY);
  std::error_code ec;
  if (!fs::is_empty(resolved->host, ec)) return failWith(ERROR_DIR_NOT_EMPTY);
  if (!hosted::deletionAllowed(resolved->host)) return failWith(ERROR_SHARING_VIOLATION);
  hosted::beforeChange();
  hosted::forgetResolvedPaths(resolved->host);
  if (::rmdir(resolved->host.c_str()) != 0) return failWith(errno == ENOTEMPTY ? ERROR_DIR_NOT_EMPTY : ERROR_ACCESS_DENIED);
  return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
  if (!lpFileName) return failWith(ERROR_PATH_NOT_FOUND);
  if (auto error = machine().faults().take("DeleteFileA", lpFileName)) return failWith(*error);
  return deleteFile(existing(lpFileName));
}

BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) {
  if (!lpFileName) return failWith(ERROR_PATH_NOT_FOUND);
  if (auto error = machine().faults().take("DeleteFileW", hosted::wideToAnsi(lpFileName))) return failWith(*error);
  uint32_t error = 0;
  auto resolved = hosted::resolveWidePath(lpFileName, &error);
  if (!resolved) return failWith(error);
  if (!resolved->exists) return failWith(resolved->parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
  return deleteFile(resolved);
}

BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
  if (!lpExistingFileName || !lpNewFileName) return failWith(ERROR_INVALID_PARAMETER);
  if (auto error = machine().faults().take("CopyFileA", lpExistingFileName)) return failWith(*error);
  auto from = existing(lpExistingFileName, true);
  if (!from) return FALSE;
  if (isHostDirectory(from->host)) return failWith(ERROR_ACCESS_DENIED);
  if (!hosted::sharingAllows(from->host, GENERIC_READ, FILE_SHARE_READ)) return failWith(ERROR_SHARING_VIOLATION);
  uint32_t error = 0;
  auto to = hosted::resolvePath(lpNewFileName, &error, true);
  if (!to) return failWith(error);
  if (!to->parentExists) return failWith(ERROR_PATH_NOT_FOUND);
  if (to->exists) {
    if (bFailIfExists) return failWith(ERROR_FILE_EXISTS);
    if (isHostDirectory(to->host) || isReadOnly(to->host)) return failWith(ERROR_ACCESS_DENIED);
    std::error_code ec;
    if (fs::equivalent(from->host, to->host, ec)) return failWith(ERROR_SHARING_VIOLATION);
    if (!hosted::sharingAllows(to->host, GENERIC_WRITE, 0)) return failWith(ERROR_SHARING_VIOLATION);
    if (hosted::isMappedImage(to->host)) return failWith(ERROR_SHARING_VIOLATION);
  }
  DWORD copyError = 0;
  hosted::beforeChange();
  if (!copyContents(from->host, to->host, &copyError)) return failWith(copyError);
  return TRUE;
}

BOOL WINAPI MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
  constexpr DWORD kKnown =
      MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_WRITE_THROUGH;
  if (!lpExistingFileName || (dwFlags & ~kKnown)) return failWith(ERROR_INVALID_PARAMETER);
  if (auto error = machine().faults().take("MoveFileExA", lpExistingFileName)) return failWith(*error);
  uint32_t error = 0;

  if (dwFlags & MOVEFILE_DELAY_UNTIL_REBOOT) {
    if (dwFlags & MOVEFILE_COPY_ALLOWED) return failWith(ERROR_INVALID_PARAMETER);
    // Recorded by full path; nothing on the disk changes before the restart.
    auto from = hosted::fullPathName(lpExistingFileName, &error);
    if (!from) return failWith(error);
    std::optional<std::string> to;
    if (lpNewFileName && *lpNewFileName) {
      to = hosted::fullPathName(lpNewFileName, &error);
      if (!to) return failWith(error);
    }
    if (uint32_t failed = hosted::recordPendingFileRename(*from, to)) return failWith(failed);
    return TRUE;
  }

  if (!lpNewFileName) return failWith(ERROR_INVALID_PARAMETER);
  auto from = existing(lpExistingFileName);
  if (!from) return FALSE;
  auto to = hosted::resolvePath(lpNewFileName, &error);
  if (!to) return failWith(error);
  if (!to->parentExists) return failWith(ERROR_PATH_NOT_FOUND);
  bool fromIsDirectory = isHostDirectory(from->host) || hosted::linkKind(from->host) == LinkKind::Junction;
  std::error_code ec;
  bool sameEntry = to->exists && fs::equivalent(from->host.parent_path(), to->host.parent_path(), ec) &&
                   hosted::equalsIgnoringAsciiCase(from->host.filename().string(), to->host.filename().string());
  if (to->exists && !sameEntry) {
    if (!(dwFlags & MOVEFILE_REPLACE_EXISTING)) return failWith(ERROR_ALREADY_EXISTS);
    if (fromIsDirectory || isHostDirectory(to->host) || hosted::linkKind(to->host) == LinkKind::Junction ||
        isReadOnly(to->host)) {
      return failWith(ERROR_ACCESS_DENIED);
    }
    if (!hosted::deletionAllowed(to->host)) return failWith(ERROR_SHARING_VIOLATION);
    if (hosted::linkKind(to->host) == LinkKind::None && hosted::isMappedImage(to->host)) {
      return failWith(ERROR_ACCESS_DENIED);
    }
  }
  if (hosted::asciiUpper(from->windows.substr(0, 1)) != hosted::asciiUpper(to->windows.substr(0, 1)) &&
      (fromIsDirectory || !(dwFlags & MOVEFILE_COPY_ALLOWED))) {
    return failWith(ERROR_NOT_SAME_DEVICE);
  }
  if (!hosted::deletionAllowed(from->host)) return failWith(ERROR_SHARING_VIOLATION);
  fs::path target = to->host;
  if (sameEntry) {
    // Renaming to the same name in other letters changes only its case.
    std::string given = lpNewFileName;
    given = given.substr(given.find_last_of("\\/") + 1);
    while (!given.empty() && (given.back() == '.' || given.back() == ' ')) given.pop_back();
    if (!given.empty()) target = to->host.parent_path() / hosted::ansiToUtf8(given);
  }
  hosted::beforeChange();
  hosted::forgetResolvedPaths(from->host);
  hosted::forgetResolvedPaths(target);
  if (::rename(from->host.c_str(), target.c_str()) != 0) return failWith(ERROR_ACCESS_DENIED);
  return TRUE;
}

DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer, LPSTR* lpFilePart) {
  if (!lpFileName || !*lpFileName) {
    setLastError(ERROR_INVALID_NAME);
    return 0;
  }
  if (auto armed = machine().faults().take("GetFullPathNameA", lpFileName)) {
    setLastError(*armed);
    return 0;
  }
  uint32_t error = 0;
  auto full = hosted::fullPathName(lpFileName, &error);
  if (!full) {
    setLastError(error);
    return 0;
  }
  char last = std::string_view(lpFileName).back();
  if ((last == '\\' || last == '/') && full->back() != '\\') *full += '\\';
  if (full->size() + 1 > nBufferLength || !lpBuffer) return static_cast<DWORD>(full->size() + 1);
  std::memcpy(lpBuffer, full->c_str(), full->size() + 1);
  if (lpFilePart) {
    size_t cut = full->find_last_of('\\');
    *lpFilePart = cut + 1 < full->size() ? lpBuffer + cut + 1 : nullptr;
  }
  return static_cast<DWORD>(full->size());
}

DWORD WINAPI GetLongPathNameA(LPCSTR lpszShortPath, LPSTR lpszLongPath, DWORD cchBuffer) {
  if (!lpszShortPath) {
    setLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (auto error = machine().faults().take("GetLongPathNameA", lpszShortPath)) {
    setLastError(*error);
    return 0;
  }
  // Every component is looked up and written as it is named on the disk; the form of
  // the path (drive, relative, separators at the end) stays as given.
  std::string text = lpszShortPath;
  if (!existing(text.c_str(), true)) return 0;
  size_t start = 0;
  std::string out;
  if (text.size() >= 2 && text[1] == ':') {
    out = text.substr(0, 2);
    start = 2;
  }
  std::string walked = out;
  while (start < text.size()) {
    size_t end = text.find_first_of("\\/", start);
    if (end == std::string::npos) end = text.size();
    std::string part = text.substr(start, end - start);
    if (!part.empty() && part != "." && part != "..") {
      auto found = hosted::resolvePath(walked + part, nullptr);
      if (found && found->exists && !isDriveRoot(*found)) part = found->windows.substr(found->windows.rfind('\\') + 1);
    }
    out += part;
    walked += part;
    if (end < text.size()) {
      out += text[end];
      walked += '\\';
    }
    start = end + 1;
  }
  if (out.size() + 1 > cchBuffer || !lpszLongPath) return static_cast<DWORD>(out.size() + 1);
  std::memcpy(lpszLongPath, out.c_str(), out.size() + 1);
  return static_cast<DWORD>(out.size());
}

BOOLEAN WINAPI CreateSymbolicLinkW(LPCWSTR lpSymlinkFileName, LPCWSTR lpTargetFileName, DWORD dwFlags) {
  constexpr DWORD kAllowUnprivileged = 0x2;
  if (!lpSymlinkFileName || !lpTargetFileName || !*lpTargetFileName) return failWith(ERROR_INVALID_PARAMETER);
  if (dwFlags & ~(SYMBOLIC_LINK_FLAG_DIRECTORY | kAllowUnprivileged)) return failWith(ERROR_INVALID_PARAMETER);
  std::string link = hosted::wideToAnsi(lpSymlinkFileName);
  if (auto error = machine().faults().take("CreateSymbolicLinkW", link)) return failWith(*error);
  // The machine holds file links and junctions only.
  if (dwFlags & SYMBOLIC_LINK_FLAG_DIRECTORY) return failWith(ERROR_NOT_SUPPORTED);
  uint32_t error = 0;
  auto resolved = hosted::resolveWidePath(lpSymlinkFileName, &error);
  if (!resolved) return failWith(error);
  if (!resolved->parentExists) return failWith(ERROR_PATH_NOT_FOUND);
  if (resolved->exists) return failWith(ERROR_ALREADY_EXISTS);
  std::string target = hosted::wideToUtf8(lpTargetFileName);
  hosted::beforeChange();
  hosted::forgetResolvedPaths(resolved->host);
  if (::symlink(target.c_str(), resolved->host.c_str()) != 0) return failWith(ERROR_ACCESS_DENIED);
  return TRUE;
}

BOOL WINAPI SetFileSecurityA(LPCSTR lpFileName, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR pSecurityDescriptor) {
  if (!lpFileName) return failWith(ERROR_INVALID_PARAMETER);
  if (auto error = machine().faults().take("SetFileSecurityA", lpFileName)) return failWith(*error);
  auto sddl = hosted::decodeSecurityDescriptor(pSecurityDescriptor);
  if (!sddl) return failWith(ERROR_INVALID_SECURITY_DESCR);
  auto resolved = existing(lpFileName, true);
  if (!resolved) return FALSE;
  hosted::recordSecurity(resolved->windows, *sddl);
  return TRUE;
}

BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                            LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned, LPOVERLAPPED) {
  auto file = machine().handles().get<hosted::FileObject>(hDevice);
  if (!file) return failWith(ERROR_INVALID_HANDLE);
  if (auto error = machine().faults().take("DeviceIoControl", file->windowsPath)) return failWith(*error);
  if (lpBytesReturned) *lpBytesReturned = 0;
  const fs::path& host = file->hostPath;
  auto in = static_cast<const unsigned char*>(lpInBuffer);
  auto get16 = [&](size_t at) { return static_cast<uint32_t>(in[at] | (in[at + 1] << 8)); };
  auto get32 = [&](size_t at) { return get16(at) | (get16(at + 2) << 16); };
  bool writable = (file->access & (GENERIC_WRITE | GENERIC_ALL)) != 0;

  switch (dwIoControlCode) {
    case FSCTL_GET_REPARSE_POINT: {
      auto text = hosted::linkText(host);
      if (!text) return failWith(ERROR_NOT_A_REPARSE_POINT);
      auto data = reparseDataOf(*text);
      if (!lpOutBuffer || nOutBufferSize < 8) return failWith(ERROR_INSUFFICIENT_BUFFER);
      size_t n = std::min<size_t>(data.size(), nOutBufferSize);
      std::memcpy(lpOutBuffer, data.data(), n);
      if (lpBytesReturned) *lpBytesReturned = static_cast<DWORD>(n);
      return n < data.size() ? failWith(ERROR_MORE_DATA) : TRUE;
    }
    case FSCTL_SET_REPARSE_POINT: {
      hosted::forgetResolvedPaths(host);
      if (!writable) return failWith(ERROR_ACCESS_DENIED);
      if (!in || nInBufferSize < 8 || get16(4) + 8u != nInBufferSize) return failWith(ERROR_INVALID_REPARSE_DATA);
      uint32_t tag = get32(0);
      size_t header;
      if (tag == IO_REPARSE_TAG_MOUNT_POINT) header = 16;
      else if (tag == IO_REPARSE_TAG_SYMLINK) header = 20;
      else return failWith(ERROR_NOT_SUPPORTED);
      if (nInBufferSize < header) return failWith(ERROR_INVALID_REPARSE_DATA);
      size_t offset = get16(8), length = get16(10);
      if (length % 2 || header + offset + length > nInBufferSize) return failWith(ERROR_INVALID_REPARSE_DATA);
      std::wstring name;
      for (size_t i = 0; i < length; i += 2) name += static_cast<wchar_t>(get16(header + offset + i));
      // The host keeps the text in UTF-8, every character of it.
      std::string text = hosted::wideToUtf8(name);
      bool junction = tag == IO_REPARSE_TAG_MOUNT_POINT;
      if (junction && (text.size() <= 4 || text.rfind("\\??\\", 0) != 0)) return failWith(ERROR_INVALID_REPARSE_DATA);
      if (!junction) {
        if (text.rfind("\\??\\", 0) == 0) text.erase(0, 4);
        if (text.empty()) return failWith(ERROR_INVALID_REPARSE_DATA);
      }
      LinkKind kind = hosted::linkKind(host);
      if (kind != LinkKind::None && (kind == LinkKind::Junction) != junction) return failWith(ERROR_REPARSE_TAG_MISMATCH);
      hosted::beforeChange();
      if (kind != LinkKind::None) {
        if (::unlink(host.c_str()) != 0) return failWith(ERROR_ACCESS_DENIED);
      } else if (junction) {
        if (!isHostDirectory(host)) return failWith(ERROR_DIRECTORY);
        std::error_code ec;
        if (!fs::is_empty(host, ec)) return failWith(ERROR_DIR_NOT_EMPTY);
        if (::rmdir(host.c_str()) != 0) return failWith(ERROR_ACCESS_DENIED);
      } else {
        if (isHostDirectory(host)) return failWith(ERROR_NOT_SUPPORTED);
        if (::unlink(host.c_str()) != 0) return failWith(ERROR_ACCESS_DENIED);
      }
      if (::symlink(text.c_str(), host.c_str()) != 0) return failWith(ERROR_ACCESS_DENIED);
      return TRUE;
    }
    case FSCTL_DELETE_REPARSE_POINT: {
      hosted::forgetResolvedPaths(host);
      if (!writable) return failWith(ERROR_ACCESS_DENIED);
      if (!in || nInBufferSize != 8 || get16(4) != 0) return failWith(ERROR_INVALID_REPARSE_DATA);
      LinkKind kind = hosted::linkKind(host);
      if (kind == LinkKind::None) return failWith(ERROR_NOT_A_REPARSE_POINT);
      uint32_t expected = kind == LinkKind::Junction ? IO_REPARSE_TAG_MOUNT_POINT : IO_REPARSE_TAG_SYMLINK;
      if (get32(0) != expected) return failWith(ERROR_REPARSE_TAG_MISMATCH);
      hosted::beforeChange();
      // What stays is the plain directory or empty file that carried the point.
      if (::unlink(host.c_str()) != 0) return failWith(ERROR_ACCESS_DENIED);
      if (kind == LinkKind::Junction) {
        if (::mkdir(host.c_str(), 0755) != 0) return failWith(ERROR_ACCESS_DENIED);
      } else {
        int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) return failWith(ERROR_ACCESS_DENIED);
        ::close(fd);
      }
      return TRUE;
    }
    default: return failWith(ERROR_INVALID_FUNCTION);
  }
}

}  // extern "C"
