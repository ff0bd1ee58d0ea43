// The C runtime's wide-character path functions (_wfopen, _wstat, _wremove, _wmkdir,
// _wgetcwd), _open_osfhandle, and kernel32's ReplaceFileW on the hosted machine.
//
// Streams are host streams over our own read and write functions, so that text mode
// can store LF as CR LF and read CR LF back as LF, and so that tests can make the
// reads and writes of one file fail ("fread", "fwrite" faults by Windows path).
#include <windows.h>
#include <direct.h>
#include <io.h>
#include <tchar.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/hosted/machine/Changes.h"
#include "platform/hosted/machine/Run.h"
#include "platform/hosted/machine/Files.h"
#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Paths.h"
#include "platform/hosted/machine/Text.h"

// The host's <fcntl.h> names members of its own struct stat with these macros; the
// runtime's struct _stat has plain members of the same names.
#undef st_atime
#undef st_mtime
#undef st_ctime

using hosted::machine;

namespace {

namespace fs = std::filesystem;

template <class T>
T failWith(int err, DWORD winError, T result) {
  errno = err;
  hosted::setLastError(winError);
  return result;
}

int errnoFor(uint32_t winError) {
  switch (winError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_PARAMETER: return EINVAL;
    default: return EACCES;
  }
}

// Writing is refused for files that are read-only on the machine. The host runs us
// with rights that ignore mode bits, so the bit is tested here.
bool isReadOnly(const fs::path& host) {
  std::error_code ec;
  auto status = fs::symlink_status(host, ec);
  return !ec && (status.permissions() & fs::perms::owner_write) == fs::perms::none;
}

bool isDirectory(const fs::path& host) {
  std::error_code ec;
  return fs::is_directory(fs::symlink_status(host, ec));
}

struct Stream {
  int fd;
  bool text;
  std::string windowsPath;
  int heldBack = -1;  // a byte read after a CR to see whether it was a CR LF
};

ssize_t readRaw(int fd, char* buffer, size_t size) {
  ssize_t n;
  do n = ::read(fd, buffer, size);
  while (n < 0 && errno == EINTR);
  return n;
}

ssize_t streamRead(void* cookie, char* buffer, size_t size) {
  auto* stream = static_cast<Stream*>(cookie);
  if (auto error = machine().faults().take("fread", stream->windowsPath)) {
    return failWith(EIO, *error, static_cast<ssize_t>(-1));
  }
  if (size == 0) return 0;
  size_t have = 0;
  if (stream->heldBack >= 0) {
    buffer[have++] = static_cast<char>(stream->heldBack);
    stream->heldBack = -1;
  }
  ssize_t n = readRaw(stream->fd, buffer + have, size - have);
  if (n < 0) return -1;
  have += static_cast<size_t>(n);
  if (!stream->text) return static_cast<ssize_t>(have);

  size_t out = 0;
  for (size_t i = 0; i < have; ++i) {
    if (buffer[i] != '\r') {
      buffer[out++] = buffer[i];
      continue;
    }
    if (i + 1 < have) {
      if (buffer[i + 1] != '\n') buffer[out++] = '\r';
      continue;
    }
    // A CR at the end of what was read: look at the next byte of the file.
    char next;
    ssize_t m = readRaw(stream->fd, &next, 1);
    if (m == 1 && next == '\n') {
      buffer[out++] = '\n';
    } else {
      buffer[out++] = '\r';
      if (m == 1) stream->heldBack = static_cast<unsigned char>(next);
    }
  }
  return static_cast<ssize_t>(out);
}

ssize_t streamWrite(void* cookie, const char* buffer, size_t size) {
  auto* stream = static_cast<Stream*>(cookie);
  if (auto error = machine().faults().take("fwrite", stream->windowsPath)) {
    return failWith(EIO, *error, static_cast<ssize_t>(-1));
  }
  std::string translated;
  if (stream->text) {
    translated.reserve(size + size / 8);
    for (size_t i = 0; i < size; ++i) {
      if (buffer[i] == '\n') translated += '\r';
      translated += buffer[i];
    }
  } else {
    translated.assign(buffer, size);
  }
  size_t done = 0;
  while (done < translated.size()) {
    ssize_t n = ::write(stream->fd, translated.data() + done, translated.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(size);
}

int streamClose(void* cookie) {
  auto* stream = static_cast<Stream*>(cookie);
  int result = ::close(stream->fd);
  delete stream;
  return result;
}

}  // namespace

extern "C" {

FILE* _wfopen(const wchar_t* filename, const wchar_t* mode) {
  if (!filename || !mode || !*mode) return failWith(EINVAL, ERROR_INVALID_PARAMETER, static_cast<FILE*>(nullptr));
  std::string path = hosted::wideToAnsi(filename);
  if (auto error = machine().faults().take("_wfopen", path)) {
    return failWith(errnoFor(*error), *error, static_cast<FILE*>(nullptr));
  }
  std::wstring modeText(mode);
  wchar_t kind = modeText[0];
  if (kind != L'r' && kind != L'w' && kind != L'a') {
    return failWith(EINVAL, ERROR_INVALID_PARAMETER, static_cast<FILE*>(nullptr));
  }
  size_t options = modeText.find(L",");
  std::wstring flags = modeText.substr(1, options == std::wstring::npos ? std::wstring::npos : options - 1);
  bool update = flags.find(L'+') != std::wstring::npos;
  bool binary = flags.find(L'b') != std::wstring::npos;

  uint32_t error = 0;
  auto resolved = hosted::resolveWidePath(filename, &error, true);
  if (!resolved) return failWith(errnoFor(error), error, static_cast<FILE*>(nullptr));
  if (!resolved->parentExists) return failWith(ENOENT, ERROR_PATH_NOT_FOUND, static_cast<FILE*>(nullptr));
  if (resolved->exists && isDirectory(resolved->host)) {
    return failWith(EACCES, ERROR_ACCESS_DENIED, static_cast<FILE*>(nullptr));
  }
  if (kind == L'r' && !resolved->exists) return failWith(ENOENT, ERROR_FILE_NOT_FOUND, static_cast<FILE*>(nullptr));
  bool writes = kind != L'r' || update;
  if (writes && resolved->exists && isReadOnly(resolved->host)) {
    return failWith(EACCES, ERROR_ACCESS_DENIED, static_cast<FILE*>(nullptr));
  }

  int hostFlags = O_CLOEXEC | O_NOFOLLOW | (update ? O_RDWR : kind == L'r' ? O_RDONLY : O_WRONLY);
  if (kind == L'w') hostFlags |= O_CREAT | O_TRUNC;
  if (kind == L'a') hostFlags |= O_CREAT | O_APPEND;
  if (kind == L'w' || (kind == L'a' && !resolved->exists)) hosted::beforeChange();
  hosted::forgetResolvedPaths(resolved->host);
  int fd = ::open(resolved->host.c_str(), hostFlags, 0644);
  if (fd < 0) return failWith(EACCES, ERROR_ACCESS_DENIED, static_cast<FILE*>(nullptr));

  auto* stream = new Stream{fd, !binary, resolved->windows};
  cookie_io_functions_t functions{streamRead, streamWrite, nullptr, streamClose};
  std::string hostMode(1, static_cast<char>(kind));
  if (update) hostMode += '+';
  FILE* file = fopencookie(stream, hostMode.c_str(), functions);
  if (!file) {
    streamClose(stream);
    return failWith(ENOMEM, ERROR_NOT_ENOUGH_MEMORY, static_cast<FILE*>(nullptr));
  }
  return file;
}

int _wstat(const wchar_t* path, struct _stat* buffer) {
  if (!path || !buffer) return failWith(EINVAL, ERROR_INVALID_PARAMETER, -1);
  std::string windowsPath = hosted::wideToAnsi(path);
  if (auto error = machine().faults().take("_wstat", windowsPath)) return failWith(errnoFor(*error), *error, -1);
  uint32_t error = 0;
  auto resolved = hosted::resolveWidePath(path, &error, true);
  if (!resolved) return failWith(errnoFor(error), error, -1);
  if (!resolved->exists) return failWith(ENOENT, ERROR_FILE_NOT_FOUND, -1);
  std::error_code ec;
  auto status = fs::symlink_status(resolved->host, ec);
  if (ec) return failWith(ENOENT, ERROR_FILE_NOT_FOUND, -1);
  std::memset(buffer, 0, sizeof *buffer);
  bool directory = fs::is_directory(status);
  unsigned short mode = directory ? (_S_IFDIR | 0111) : _S_IFREG;
  mode |= 0444;
  if ((status.permissions() & fs::perms::owner_write) != fs::perms::none) mode |= 0222;
  buffer->st_mode = mode;
  buffer->st_nlink = 1;
  buffer->st_dev = buffer->st_rdev = static_cast<unsigned int>(std::toupper(resolved->windows[0]) - 'A');
  if (!directory) buffer->st_size = static_cast<int32_t>(fs::file_size(resolved->host, ec));
  auto written = fs::last_write_time(resolved->host, ec);
  if (!ec) {
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::file_clock::to_sys(written).time_since_epoch());
    buffer->st_mtime = buffer->st_atime = buffer->st_ctime = seconds.count();
  }
  return 0;
}

int _wremove(const wchar_t* filename) {
  if (!filename) return failWith(EINVAL, ERROR_INVALID_PARAMETER, -1);
  std::string path = hosted::wideToAnsi(filename);
  if (auto error = machine().faults().take("_wremove", path)) return failWith(errnoFor(*error), *error, -1);
  uint32_t error = 0;
  auto resolved = hosted::resolveWidePath(filename, &error, false);
  if (!resolved) return failWith(errnoFor(error), error, -1);
  if (!resolved->exists) return failWith(ENOENT, ERROR_FILE_NOT_FOUND, -1);
  if (isDirectory(resolved->host) || isReadOnly(resolved->host)) return failWith(EACCES, ERROR_ACCESS_DENIED, -1);
  if (hosted::linkKind(resolved->host) == hosted::LinkKind::None && hosted::isMappedImage(resolved->host)) {
    return failWith(EACCES, ERROR_ACCESS_DENIED, -1);
  }
  hosted::beforeChange();
  hosted::forgetResolvedPaths(resolved->host);
  if (::unlink(resolved->host.c_str()) != 0) return failWith(EACCES, ERROR_ACCESS_DENIED, -1);
  return 0;
}

int _wmkdir(const wchar_t* dirname) {
  if (!dirname) return failWith(EINVAL, ERROR_INVALID_PARAMETER, -1);
  std::string path = hosted::wideToAnsi(dirname);
  if (auto error = machine().faults().take("_wmkdir", path)) return failWith(errnoFor(*error), *error, -1);
  uint32_t error = 0;
  auto resolved = hosted::resolveWidePath(dirname, &error, false);
  if (!resolved) return failWith(errnoFor(error), error, -1);
  if (resolved->exists) return failWith(EEXIST, ERROR_ALREADY_EXISTS, -1);
  if (!resolved->parentExists) return failWith(ENOENT, ERROR_PATH_NOT_FOUND, -1);
  std::error_code ec;
  hosted::beforeChange();
  hosted::forgetResolvedPaths(resolved->host);
  if (!fs::create_directory(resolved->host, ec)) return failWith(EACCES, ERROR_ACCESS_DENIED, -1);
  return 0;
}

wchar_t* _wgetcwd(wchar_t* buffer, int size) {
  if (auto error = machine().faults().take("_wgetcwd")) return failWith(errnoFor(*error), *error, (wchar_t*)nullptr);
  std::wstring cwd = hosted::utf8ToWide(machine().facts().currentDirectory);
  size_t needed = cwd.size() + 1;
  if (!buffer) {
    size_t units = size > 0 && static_cast<size_t>(size) > needed ? static_cast<size_t>(size) : needed;
    buffer = static_cast<wchar_t*>(std::malloc(units * sizeof(wchar_t)));
    if (!buffer) return failWith(ENOMEM, ERROR_NOT_ENOUGH_MEMORY, (wchar_t*)nullptr);
  } else if (size <= 0 || needed > static_cast<size_t>(size)) {
    return failWith(ERANGE, ERROR_INSUFFICIENT_BUFFER, (wchar_t*)nullptr);
  }
  std::copy(cwd.begin(), cwd.end(), buffer);
  buffer[cwd.size()] = L'\0';
  return buffer;
}

int _open_osfhandle(intptr_t osfhandle, int flags) {
  HANDLE handle = reinterpret_cast<HANDLE>(osfhandle);
  auto file = machine().handles().get<hosted::FileObject>(handle);
  if (!file) return failWith(EBADF, ERROR_INVALID_HANDLE, -1);
  if (auto error = machine().faults().take("_open_osfhandle", file->windowsPath)) {
    return failWith(errnoFor(*error), *error, -1);
  }
  // The descriptor takes the handle over: it keeps the open file (and its sharing
  // lock, which belongs to the open file) and the handle itself goes away.
  int fd = ::fcntl(file->fd, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return failWith(EMFILE, ERROR_TOO_MANY_OPEN_FILES, -1);
  machine().handles().close(handle);
  machine().crtFiles()[fd] = hosted::CrtFile{(flags & _O_TEXT) != 0};
  return fd;
}

BOOL WINAPI ReplaceFileW(LPCWSTR lpReplacedFileName, LPCWSTR lpReplacementFileName, LPCWSTR lpBackupFileName,
                         DWORD, LPVOID, LPVOID) {
  if (!lpReplacedFileName || !lpReplacementFileName || lpBackupFileName) {
    return failWith(EINVAL, ERROR_INVALID_PARAMETER, FALSE);
  }
  std::string replacedPath = hosted::wideToAnsi(lpReplacedFileName);
  if (auto error = machine().faults().take("ReplaceFileW", replacedPath)) return failWith(EACCES, *error, FALSE);
  uint32_t error = 0;
  auto replaced = hosted::resolveWidePath(lpReplacedFileName, &error, false);
  if (!replaced) return failWith(EACCES, error, FALSE);
  auto replacement = hosted::resolveWidePath(lpReplacementFileName, &error, false);
  if (!replacement) return failWith(EACCES, error, FALSE);
  if (!replaced->exists || !replacement->exists) return failWith(ENOENT, ERROR_FILE_NOT_FOUND, FALSE);
  if (isDirectory(replaced->host) || isDirectory(replacement->host)) {
    return failWith(EACCES, ERROR_ACCESS_DENIED, FALSE);
  }
  if (isReadOnly(replaced->host)) return failWith(EACCES, ERROR_UNABLE_TO_REMOVE_REPLACED, FALSE);
  // The replacement takes over the replaced file's protection, which the machine
  // keeps in the host's permission bits.
  std::error_code ec;
  hosted::beforeChange();
  fs::permissions(replacement->host, fs::symlink_status(replaced->host, ec).permissions(), ec);
  if (ec) return failWith(EACCES, ERROR_UNABLE_TO_MOVE_REPLACEMENT, FALSE);
  hosted::forgetResolvedPaths(replaced->host);
  hosted::forgetResolvedPaths(replacement->host);
  fs::rename(replacement->host, replaced->host, ec);
  if (ec) return failWith(EACCES, ERROR_UNABLE_TO_MOVE_REPLACEMENT, FALSE);
  return TRUE;
}

}  // extern "C"
