// The C runtime's low-level files (_sopen, _write, _close) on the hosted machine,
// with Windows sharing modes and text-mode line ends.
#include <windows.h>
#include <io.h>
#include <share.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <string>

#include "platform/hosted/machine/Changes.h"
#include "platform/hosted/machine/Run.h"
#include "platform/hosted/machine/Files.h"
#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Paths.h"

namespace {

int failWith(int err, DWORD winError) {
  errno = err;
  hosted::setLastError(winError);
  return -1;
}

}  // namespace

extern "C" {

int _sopen(const char* filename, int oflag, int shflag, ...) {
  int pmode = _S_IREAD | _S_IWRITE;
  if (oflag & _O_CREAT) {
    va_list args;
    va_start(args, shflag);
    pmode = va_arg(args, int);
    va_end(args);
  }
  if (!filename) return failWith(EINVAL, ERROR_INVALID_PARAMETER);
  auto& machine = hosted::machine();
  if (auto error = machine.faults().take("_sopen", filename)) {
    return failWith(*error == ERROR_FILE_NOT_FOUND ? ENOENT : EACCES, *error);
  }
  uint32_t error = 0;
  auto path = hosted::resolvePath(filename, &error, true);
  if (!path) return failWith(error == ERROR_ACCESS_DENIED ? EACCES : ENOENT, error);
  if (!path->parentExists) return failWith(ENOENT, ERROR_PATH_NOT_FOUND);
  if (!path->exists && !(oflag & _O_CREAT)) return failWith(ENOENT, ERROR_FILE_NOT_FOUND);
  if (path->exists && (oflag & _O_CREAT) && (oflag & _O_EXCL)) return failWith(EEXIST, ERROR_FILE_EXISTS);

  int access = oflag & 3;
  // The host runs us as root, which ignores mode bits; a read-only file refuses writers
  // here as on Windows.
  struct stat st{};
  if (path->exists && (access != _O_RDONLY || (oflag & _O_TRUNC)) && ::lstat(path->host.c_str(), &st) == 0 &&
      S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)) {
    return failWith(EACCES, ERROR_ACCESS_DENIED);
  }
  int flags = O_CLOEXEC | O_NOFOLLOW;
  flags |= access == _O_WRONLY ? O_WRONLY : access == _O_RDWR ? O_RDWR : O_RDONLY;
  if (oflag & _O_APPEND) flags |= O_APPEND;
  if (oflag & _O_CREAT) flags |= O_CREAT;
  mode_t mode = (pmode & _S_IWRITE) ? 0644 : 0444;
  if (path->exists ? ((oflag & _O_TRUNC) && access != _O_RDONLY) : (oflag & _O_CREAT) != 0) hosted::beforeChange();
  hosted::forgetResolvedPaths(path->host);
  int fd = ::open(path->host.c_str(), flags, mode);
  if (fd < 0) {
    return failWith(errno == EISDIR ? EACCES : errno, errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
  }
  bool deniesWrite = shflag == _SH_DENYWR || shflag == _SH_DENYRW;
  bool deniesRead = shflag == _SH_DENYRD || shflag == _SH_DENYRW;
  if (!hosted::lockForSharing(fd, access != _O_RDONLY, deniesWrite, deniesRead)) {
    ::close(fd);
    return failWith(EACCES, ERROR_SHARING_VIOLATION);
  }
  if ((oflag & _O_TRUNC) && access != _O_RDONLY && ::ftruncate(fd, 0) != 0) {
    ::close(fd);
    return failWith(EACCES, ERROR_ACCESS_DENIED);
  }
  machine.crtFiles()[fd] = hosted::CrtFile{(oflag & _O_BINARY) == 0};
  // The Microsoft runtime opens through CreateFile, which tells on success whether a file
  // it could have created was already there (OPEN_ALWAYS and CREATE_ALWAYS); the runtime
  // leaves that in the last error.
  if ((oflag & _O_CREAT) && !(oflag & _O_EXCL)) hosted::setLastError(path->exists ? ERROR_ALREADY_EXISTS : 0);
  return fd;
}

int _write(int fd, const void* buffer, unsigned int count) {
  auto& files = hosted::machine().crtFiles();
  auto it = files.find(fd);
  if (it == files.end()) return failWith(EBADF, ERROR_INVALID_HANDLE);
  auto bytes = static_cast<const char*>(buffer);
  std::string out;
  if (it->second.textMode) {
    out.reserve(count + count / 8);
    for (unsigned int i = 0; i < count; ++i) {
      if (bytes[i] == '\n') out += '\r';
      out += bytes[i];
    }
  } else {
    out.assign(bytes, count);
  }
  size_t done = 0;
  while (done < out.size()) {
    ssize_t n = ::write(fd, out.data() + done, out.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return failWith(errno == ENOSPC ? ENOSPC : EBADF, ERROR_CANTWRITE);
    }
    done += static_cast<size_t>(n);
  }
  // Like the Microsoft runtime, report the caller's bytes, not the bytes stored.
  return static_cast<int>(count);
}

int _close(int fd) {
  auto& files = hosted::machine().crtFiles();
  if (files.erase(fd) == 0) return failWith(EBADF, ERROR_INVALID_HANDLE);
  ::close(fd);
  return 0;
}

}  // extern "C"
