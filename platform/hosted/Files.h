// Open files of the machine: the kernel object behind a file HANDLE, and Windows
// sharing modes approximated with host advisory locks (which also separate processes).
#pragma once

#include <cstdint>
#include <string>

#include "platform/hosted/Handles.h"

namespace hosted {

struct FileObject : HandleObject {
  FileObject(int fd, std::string windowsPath, uint32_t access)
      : fd(fd), windowsPath(std::move(windowsPath)), access(access) {}
  ~FileObject() override;
  int fd;                   // the host descriptor, owned
  std::string windowsPath;  // as resolved
  uint32_t access;          // GENERIC_READ / GENERIC_WRITE bits
};

// Takes the lock that stands for a Windows sharing mode on an open host descriptor:
// exclusive for a writer that denies writing to others, shared for any other writer
// and for a reader that denies writing. False when another open handle's mode forbids it.
bool lockForSharing(int fd, bool writes, bool deniesWrite, bool deniesRead);

// CreateFile on the machine, for a path in the ANSI code page. Returns the handle or
// INVALID_HANDLE_VALUE with the thread's last error set. A security descriptor in
// `security` is recorded for a file the call creates.
void* createFile(const std::string& path, uint32_t access, uint32_t share, const void* security,
                 uint32_t disposition, uint32_t flags);

}  // namespace hosted
