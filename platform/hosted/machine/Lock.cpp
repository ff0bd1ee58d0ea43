#include "platform/hosted/machine/Lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/hosted/machine/Machine.h"

namespace hosted {

DirectoryLock::DirectoryLock(const std::filesystem::path& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) throw HostFailure{kExitDataError, dir.string() + ": cannot be opened"};
  int result = ::flock(fd, LOCK_EX | LOCK_NB);
  while (result != 0 && errno == EINTR) result = ::flock(fd, LOCK_EX | LOCK_NB);
  if (result != 0 && errno == EWOULDBLOCK) {
    std::fprintf(stderr, "uninstaller: %s: another run is using this machine; waiting for it to end\n",
                 dir.c_str());
    std::fflush(stderr);
    do {
      result = ::flock(fd, LOCK_EX);
    } while (result != 0 && errno == EINTR);
  }
  if (result != 0) {
    ::close(fd);
    throw HostFailure{kExitDataError, dir.string() + ": cannot be locked"};
  }
  fd_ = fd;
}

DirectoryLock::~DirectoryLock() {
  if (fd_ >= 0) ::close(fd_);
}

DirectoryLock::DirectoryLock(DirectoryLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

DirectoryLock& DirectoryLock::operator=(DirectoryLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

int createTempBeside(const std::filesystem::path& file, std::filesystem::path& temp) {
  std::string pattern = file.string() + ".tmp-XXXXXX";
  int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return -1;
  ::fchmod(fd, 0644);
  temp = pattern;
  return fd;
}

}  // namespace hosted
