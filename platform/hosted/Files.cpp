#include "platform/hosted/Files.h"

#include <windows.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/hosted/Api.h"
#include "platform/hosted/Machine.h"
#include "platform/hosted/Paths.h"
#include "platform/hosted/Security.h"

namespace hosted {

FileObject::~FileObject() {
  if (fd >= 0) ::close(fd);
}

bool lockForSharing(int fd, bool writes, bool deniesWrite, bool deniesRead) {
  int lock = 0;
  if (writes && deniesWrite) lock = LOCK_EX;
  else if (writes || deniesWrite || deniesRead) lock = LOCK_SH;
  return lock == 0 || ::flock(fd, lock | LOCK_NB) == 0;
}

void* createFile(const std::string& path, uint32_t access, uint32_t share, const void* security,
                 uint32_t disposition, uint32_t flags) {
  auto fail = [](DWORD error) {
    setLastError(error);
    return INVALID_HANDLE_VALUE;
  };
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) return fail(ERROR_INVALID_PARAMETER);
  uint32_t error = 0;
  bool openLink = (flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0;
  auto resolved = resolvePath(path, &error, !openLink);
  if (!resolved) return fail(error);
  if (!resolved->parentExists) return fail(ERROR_PATH_NOT_FOUND);

  bool writes = (access & (GENERIC_WRITE | GENERIC_ALL)) != 0;
  bool existed = resolved->exists;
  struct stat st{};
  if (existed && ::lstat(resolved->host.c_str(), &st) != 0) existed = false;
  if (existed) {
    if (disposition == CREATE_NEW) return fail(ERROR_FILE_EXISTS);
    if (S_ISDIR(st.st_mode) && !(flags & FILE_FLAG_BACKUP_SEMANTICS)) return fail(ERROR_ACCESS_DENIED);
    // The host runs us as root, which ignores mode bits; read-only is Windows' rule here.
    if (writes && !S_ISLNK(st.st_mode) && !(st.st_mode & S_IWUSR)) return fail(ERROR_ACCESS_DENIED);
  } else if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
    return fail(ERROR_FILE_NOT_FOUND);
  }

  int fd;
  if (existed && S_ISLNK(st.st_mode)) {
    fd = ::open(resolved->host.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  } else if (existed && S_ISDIR(st.st_mode)) {
    fd = ::open(resolved->host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  } else {
    int mode = writes ? ((access & (GENERIC_READ | GENERIC_ALL)) ? O_RDWR : O_WRONLY) : O_RDONLY;
    fd = ::open(resolved->host.c_str(), mode | O_CLOEXEC | O_NOFOLLOW | (existed ? 0 : O_CREAT | O_EXCL), 0644);
  }
  if (fd < 0) return fail(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
  if (!S_ISLNK(st.st_mode) &&
      !lockForSharing(fd, writes, !(share & FILE_SHARE_WRITE), !(share & FILE_SHARE_READ))) {
    ::close(fd);
    if (!existed) ::unlink(resolved->host.c_str());
    return fail(ERROR_SHARING_VIOLATION);
  }
  if (existed && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) && S_ISREG(st.st_mode)) {
    if (::ftruncate(fd, 0) != 0) {
      ::close(fd);
      return fail(ERROR_ACCESS_DENIED);
    }
  }
  if (!existed && security) {
    if (auto sddl = decodeSecurityDescriptor(security)) recordSecurity(resolved->windows, *sddl);
  }
  HANDLE handle = machine().handles().add(std::make_shared<FileObject>(fd, resolved->windows, access));
  // Opening what already exists with these dispositions succeeds and says so.
  setLastError(existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                         : ERROR_SUCCESS);
  return handle;
}

}  // namespace hosted
