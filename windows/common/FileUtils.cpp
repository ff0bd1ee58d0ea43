#include "windows/common/FileUtils.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "common/share/Errors.h"
#include "common/share/ScopedHandle.h"
#include "common/share/tstrings.h"
#include "windows/common/AllUtils.h"
#include "windows/common/Dll.h"
#include "windows/common/Logger.h"

namespace {

constexpr const char* kSeparators = "\\/";

bool isSeparator(char c) { return c == '\\' || c == '/'; }
FileUtils::ChangeObserver* observer = nullptr;

}  // namespace

std::string dirname(const std::string& path) {
  size_t last = path.find_last_of(kSeparators);
  if (last == std::string::npos) return ".\\";
  return path.substr(0, last + 1);
}

std::string basename(const std::string& path) {
  size_t last = path.find_last_of(kSeparators);
  return last == std::string::npos ? path : path.substr(last + 1);
}

std::string removeTrailingSlashes(const std::string& path) {
  size_t end = path.size();
  while (end > 0 && isSeparator(path[end - 1])) --end;
  return path.substr(0, end);
}

std::string combinePath(const std::string& a, const std::string& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  return removeTrailingSlashes(a) + "\\" + (isSeparator(b[0]) ? b.substr(1) : b);
}

bool isAbsolutePath(const std::string& path) {
  if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
      isSeparator(path[2])) {
    return true;
  }
  if (path.size() < 2 || !isSeparator(path[0]) || !isSeparator(path[1])) return false;
  // Both the server and the share must be named.
  size_t server = 2;
  size_t serverEnd = server;
  while (serverEnd < path.size() && !isSeparator(path[serverEnd])) ++serverEnd;
  if (serverEnd == server || serverEnd == path.size()) return false;
  size_t share = serverEnd + 1;
  size_t shareEnd = share;
  while (shareEnd < path.size() && !isSeparator(path[shareEnd])) ++shareEnd;
  return shareEnd > share;
}

namespace {

constexpr size_t kReparseBufferSize = 16384;
constexpr uint32_t kTagMountPoint = 0xA0000003;
constexpr uint32_t kTagSymlink = 0xA000000C;
constexpr DWORD kFsctlSetReparsePoint = 0x000900A4;
constexpr DWORD kFsctlGetReparsePoint = 0x000900A8;

// "%s failed with %s" at ERROR, with the system's description of `error`, under the
// caller's location.
void logFailure(const SourceLocation& where, const std::string& operation, DWORD error) {
  if (!Logger::instance().isEnabled(LogLevel::Error)) return;
  logAt(LogLevel::Error, where, tstrings::format("%s failed with %s", operation.c_str(), systemErrorText(error).c_str()));
}

void put16(std::vector<unsigned char>& buffer, size_t at, size_t value) {
  buffer[at] = static_cast<unsigned char>(value & 0xFF);
  buffer[at + 1] = static_cast<unsigned char>((value >> 8) & 0xFF);
}

uint32_t get16(const std::vector<unsigned char>& buffer, size_t at) {
  return static_cast<uint32_t>(buffer[at]) | (static_cast<uint32_t>(buffer[at + 1]) << 8);
}

// A search handle, closed on every path.
class FindHandle {
 public:
  explicit FindHandle(HANDLE handle) : handle_(handle) {}
  ~FindHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

bool isDirectory(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

namespace FileUtils {

bool isFileReadable(const std::string& path) {
  ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.valid();
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool isLink(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

void createDirectory(const std::string& path) {
  std::string full = removeTrailingSlashes(path) + "\\";
  LOG_TRACE("Creating directory " + full);
  for (size_t at = full.find_first_of(kSeparators); at != std::string::npos;
       at = full.find_first_of(kSeparators, at + 1)) {
    std::string prefix = full.substr(0, at + 1);
    DWORD error = CreateDirectoryA(prefix.c_str(), nullptr) ? ERROR_SUCCESS : GetLastError();
    if (!isDirectory(prefix)) {
      logFailure(ZU_HERE, "createDirectory(" + prefix + ")", error);
      throw std::runtime_error("FileUtils:createDirectory() failed");
    }
  }
}

void copyFile(const std::string& from, const std::string& to, bool failIfExists) {
  LOG_TRACE(tstrings::format("Copy %s file to %s", from.c_str(), to.c_str()));
  createDirectory(dirname(to));
  if (CopyFileA(from.c_str(), to.c_str(), failIfExists ? TRUE : FALSE) != TRUE) {
    logFailure(ZU_HERE, "copyFile()", GetLastError());
    throw std::runtime_error("FileUtils:copyFile() failed");
  }
  if (observer) observer->fileCreated();
}

namespace {

void removeFile(const std::string& path) {
  if (!DeleteFileA(path.c_str())) {
    logFailure(ZU_HERE, "DeleteFile(" + path + ")", GetLastError());
    throw std::runtime_error("DeleteFile failed");
  }
}

void removeDirectory(const std::string& path) {
  if (!RemoveDirectoryA(path.c_str())) {
    logFailure(ZU_HERE, "DeleteDirectory(" + path + ")", GetLastError());
    throw std::runtime_error("DeleteDirectory failed");
  }
}

}  // namespace

void deleteFile(const std::string& path) {
  removeFile(path);
  if (observer) observer->fileRemoved();
}

void deleteDirectory(const std::string& path) { removeDirectory(path); }

bool tryDeleteFile(const std::string& path) {
  try {
    deleteFile(path);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool tryDeleteDirectory(const std::string& path) {
  try {
    deleteDirectory(path);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void deleteFilesInDirectory(const std::string& dir) {
  WIN32_FIND_DATAA data;
  FindHandle search(FindFirstFileA(combinePath(dir, "*").c_str(), &data));
  if (search.get() == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return;
    ZU_THROW_SYS_ERROR("FindFirstFile(" + dir + ") failed");
  }
  do {
    std::string path = combinePath(dir, data.cFileName);
    if (!isDirectory(path)) {
      removeFile(path);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        if (observer) observer->linkRemoved();
      } else {
        if (observer) observer->fileRemoved();
      }
    }
  } while (FindNextFileA(search.get(), &data));
  if (GetLastError() != ERROR_NO_MORE_FILES) ZU_THROW_SYS_ERROR("FindNextFile(" + dir + ") failed");
}

void deleteOnReboot(const std::string& path) {
  if (!MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
    ZU_THROW_SYS_ERROR("deleteOnReboot(" + path + ") failed");
  }
  if (observer) observer->scheduled(path, nullptr);
}

void createJunction(const std::string& link, const std::string& target) {
  std::wstring print = tstrings::fromACP(target);
  std::wstring substitute = L"\\??\\" + print;
  size_t substituteBytes = substitute.size() * 2;
  size_t printBytes = print.size() * 2;
  size_t dataLength = substituteBytes + printBytes + 12;
  // Both names and their terminators must fit in the block behind its 8-byte header.
  if (dataLength + 8 > kReparseBufferSize) {
    throw ZdsError<std::runtime_error>(std::runtime_error(link + ": target too long for a junction"), ZU_HERE);
  }
  std::vector<unsigned char> buffer(kReparseBufferSize, 0);
  for (int i = 0; i < 4; ++i) buffer[i] = static_cast<unsigned char>(kTagMountPoint >> (8 * i));
  put16(buffer, 4, dataLength);
  put16(buffer, 8, 0);
  put16(buffer, 10, substituteBytes);
  put16(buffer, 12, substituteBytes + 2);
  put16(buffer, 14, printBytes);
  for (size_t i = 0; i < substitute.size(); ++i) put16(buffer, 16 + 2 * i, static_cast<uint16_t>(substitute[i]));
  for (size_t i = 0; i < print.size(); ++i) {
    put16(buffer, 16 + substituteBytes + 2 + 2 * i, static_cast<uint16_t>(print[i]));
  }

  CreateDirectoryA(link.c_str(), nullptr);
  ScopedHandle handle(CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle.valid()) ZU_THROW_SYS_ERROR(link + ": cannot open");
  DWORD returned = 0;
  if (!DeviceIoControl(handle.get(), kFsctlSetReparsePoint, buffer.data(), static_cast<DWORD>(dataLength + 8),
                       nullptr, 0, &returned, nullptr)) {
    ZU_THROW_SYS_ERROR(link + ": cannot set reparse point");
  }
  if (observer) observer->linkCreated();
}

void deleteJunction(const std::string& path) {
  if (!isLink(path)) {
    throw ZdsError<std::runtime_error>(std::runtime_error(path + ": is not a junction"), ZU_HERE);
  }
  removeDirectory(path);
  if (observer) observer->linkRemoved();
}

void deleteSymLink(const std::string& path) {
  if (!isLink(path)) {
    throw ZdsError<std::runtime_error>(std::runtime_error(tstrings::format("Not a symlink: %s", path.c_str())),
                                       ZU_HERE);
  }
  removeFile(path);
  if (observer) observer->linkRemoved();
}

std::string getLinkTarget(const std::string& path) {
  if (!isLink(path)) throw ZdsError<std::runtime_error>(std::runtime_error(path + ": not a link"), ZU_HERE);
  DWORD flags = FILE_FLAG_OPEN_REPARSE_POINT | (isDirectory(path) ? FILE_FLAG_BACKUP_SEMANTICS : 0);
  ScopedHandle handle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, flags, nullptr));
  if (!handle.valid()) ZU_THROW_SYS_ERROR(path + ": cannot open");
  std::vector<unsigned char> buffer(kReparseBufferSize, 0);
  DWORD returned = 0;
  if (!DeviceIoControl(handle.get(), kFsctlGetReparsePoint, nullptr, 0, buffer.data(),
                       static_cast<DWORD>(buffer.size()), &returned, nullptr)) {
    ZU_THROW_SYS_ERROR(path + ": cannot get reparse point");
  }
  uint32_t tag = get16(buffer, 0) | (get16(buffer, 2) << 16);
  size_t pathBuffer;
  if (tag == kTagMountPoint) pathBuffer = 16;
  else if (tag == kTagSymlink) pathBuffer = 20;
  else throw ZdsError<std::runtime_error>(std::runtime_error(path + ": unknown reparse tag " + std::to_string(tag)), ZU_HERE);
  // The name's place comes from the data itself; it must lie inside what was returned.
  size_t offset = get16(buffer, 8);
  size_t length = get16(buffer, 10);
  size_t end = std::min<size_t>(returned, buffer.size());
  if (pathBuffer + offset + length > end) {
    throw ZdsError<std::runtime_error>(std::runtime_error(path + ": invalid reparse data"), ZU_HERE);
  }
  std::wstring name;
  for (size_t i = 0; i + 1 < length; i += 2) {
    name += static_cast<wchar_t>(get16(buffer, pathBuffer + offset + i));
  }
  if (name.rfind(L"\\??\\", 0) == 0) name.erase(0, 4);
  size_t nul = name.find(L'\0');
  if (nul != std::wstring::npos) name.resize(nul);
  // The caller works on the target with the narrow functions. A target the code page
  // cannot name exactly is refused: a best-fit look-alike could name another folder.
  std::string target;
  if (!tstrings::toACPExactly(name, target)) {
    throw ZdsError<std::runtime_error>(
        std::runtime_error(path + ": link target " + tstrings::toAnsiText(name) + " is outside the code page"), ZU_HERE);
  }
  return target;
}

void createSymLink(const std::string& link, const std::string& target) {
  Dll kernel = Dll::fromSystemDirectory("kernel32");
  DllFunction<BOOLEAN(LPCWSTR, LPCWSTR, DWORD)> createSymbolicLink(kernel, "CreateSymbolicLinkW", false);
  if (!createSymbolicLink) {
    throw ZdsError<std::runtime_error>(std::runtime_error("CreateSymbolicLink is not available"), ZU_HERE);
  }
  std::wstring wideLink = tstrings::fromACP(link);
  std::wstring wideTarget = tstrings::fromACP(target);
  if (!createSymbolicLink(wideLink.c_str(), wideTarget.c_str(), 0)) ZU_THROW_SYS_ERROR("CreateSymbloiclink failed");
  if (observer) observer->linkCreated();
}

}  // namespace FileUtils

int MoveFileOnReboot(const char* from, const char* to) {
  try {
    // The record is cut to what a 780-character buffer holds.
    std::string message =
        tstrings::format("-- Start in MoveFileOnReboot: %s to %s --", from ? from : "NULL", to ? to : "NULL");
    if (message.size() > 779) message.resize(779);
    logit(message);
  } catch (...) {
    // Logging is best effort here; the move is what matters.
  }
  if (!from) return 0;
  BOOL scheduled = MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT);
  if (scheduled && observer) observer->scheduled(from, to);
  return scheduled;
}

void FileUtils::setChangeObserver(ChangeObserver* changeObserver) { observer = changeObserver; }
