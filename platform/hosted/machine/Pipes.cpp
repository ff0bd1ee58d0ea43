#include "platform/hosted/machine/Pipes.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include <winerror.h>

namespace hosted {

namespace {

constexpr int kLargestPipe = 1 << 20;

// Whether every writer of a pipe's read end is gone (nothing more can arrive).
bool writersGone(int readFd) {
  pollfd p{readFd, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP);
}

}  // namespace

PipeEnd::~PipeEnd() {
  if (fd >= 0) ::close(fd);
}

std::optional<std::pair<int, int>> createHostPipe(uint32_t* error) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    *error = errno == EMFILE || errno == ENFILE ? ERROR_TOO_MANY_OPEN_FILES : ERROR_NOT_ENOUGH_MEMORY;
    return std::nullopt;
  }
  // Halve the size until the host accepts it; the default stays if none is.
  for (int size = kLargestPipe; size > 65536; size /= 2) {
    if (::fcntl(fds[1], F_SETPIPE_SZ, size) >= 0) break;
  }
  return std::make_pair(fds[0], fds[1]);
}

std::optional<size_t> bytesWaiting(int readFd, uint32_t* error) {
  int available = 0;
  if (::ioctl(readFd, FIONREAD, &available) != 0) {
    *error = ERROR_INVALID_HANDLE;
    return std::nullopt;
  }
  if (available == 0 && writersGone(readFd)) {
    *error = ERROR_BROKEN_PIPE;
    return std::nullopt;
  }
  return static_cast<size_t>(available);
}

size_t peekPipe(int readFd, void* buffer, size_t size) {
  // tee() copies pipe contents without consuming them, into a scratch pipe we read.
  int scratch[2];
  if (size == 0 || ::pipe2(scratch, O_CLOEXEC) != 0) return 0;
  size_t copied = 0;
  ssize_t n = ::tee(readFd, scratch[1], size, SPLICE_F_NONBLOCK);
  if (n > 0) {
    ::close(scratch[1]);
    scratch[1] = -1;
    auto* out = static_cast<char*>(buffer);
    ssize_t r;
    while (copied < static_cast<size_t>(n) && (r = ::read(scratch[0], out + copied, n - copied)) > 0) copied += r;
  }
  ::close(scratch[0]);
  if (scratch[1] >= 0) ::close(scratch[1]);
  return copied;
}

std::optional<size_t> readPipe(int readFd, void* buffer, size_t size, uint32_t* error) {
  ssize_t n;
  do n = ::read(readFd, buffer, size);
  while (n < 0 && errno == EINTR);
  if (n < 0) {
    *error = ERROR_INVALID_HANDLE;
    return std::nullopt;
  }
  if (n == 0 && size > 0) {
    *error = ERROR_BROKEN_PIPE;
    return std::nullopt;
  }
  return static_cast<size_t>(n);
}

std::optional<size_t> writePipe(int writeFd, const void* buffer, size_t size, uint32_t* error) {
  size_t done = 0;
  auto* bytes = static_cast<const char*>(buffer);
  while (done < size) {
    // A pipe without readers reports an error condition; checking first keeps the
    // host from raising SIGPIPE.
    pollfd p{writeFd, POLLOUT, 0};
    if (::poll(&p, 1, -1) == 1 && (p.revents & POLLERR)) {
      *error = ERROR_NO_DATA;
      return std::nullopt;
    }
    ssize_t n = ::write(writeFd, bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = errno == EPIPE ? ERROR_NO_DATA : ERROR_INVALID_HANDLE;
      return std::nullopt;
    }
    done += static_cast<size_t>(n);
  }
  return done;
}

}  // namespace hosted
