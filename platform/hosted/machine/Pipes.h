// Anonymous pipes: a host pipe behind the two handles CreatePipe returns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>

#include "platform/hosted/machine/Handles.h"

namespace hosted {

struct PipeEnd : HandleObject {
  PipeEnd(int fd, bool readEnd, bool inheritable) : fd(fd), readEnd(readEnd), inheritable(inheritable) {}
  ~PipeEnd() override;
  PipeEnd(const PipeEnd&) = delete;
  PipeEnd& operator=(const PipeEnd&) = delete;

  int fd;            // the host descriptor, owned
  bool readEnd;
  bool inheritable;  // HANDLE_FLAG_INHERIT: a child started with inheritance may use it
};

// A new host pipe, read end first, both close-on-exec. Its buffer is as large as the
// host allows (up to 1 MiB), so that a child can write that much before anyone reads.
// nullopt with the Windows error in *error.
std::optional<std::pair<int, int>> createHostPipe(uint32_t* error);

// Bytes waiting in the pipe. nullopt with ERROR_BROKEN_PIPE in *error when none wait
// and every writer is gone.
std::optional<size_t> bytesWaiting(int readFd, uint32_t* error);

// Copies up to `size` waiting bytes without taking them out of the pipe.
size_t peekPipe(int readFd, void* buffer, size_t size);

// Reads once, blocking until some bytes arrive. nullopt with ERROR_BROKEN_PIPE when
// the pipe is empty and every writer is gone.
std::optional<size_t> readPipe(int readFd, void* buffer, size_t size, uint32_t* error);

// Writes everything. nullopt with ERROR_NO_DATA when no reader is left.
std::optional<size_t> writePipe(int writeFd, const void* buffer, size_t size, uint32_t* error);

}  // namespace hosted
