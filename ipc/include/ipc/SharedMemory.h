// Named blocks of shared memory backed by the paging file, written through short-lived
// views. "Unsafe": there is no lock; writers in different processes overwrite each
// other and the last one wins, so a block is only ever replaced whole by one copy.
#pragma once

#include <windows.h>

#include <cstddef>
#include <exception>
#include <string>

#include "common/share/ScopedHandle.h"

namespace ipc {

// The family of shared-memory failures. `what` answers "ipc error".
class Error : public std::exception {
 public:
  const char* what() const noexcept override { return "ipc error"; }
};

// A failed system call of the shared-memory functions. Thrown as
// ZdsError<ipc::PlatformError>, which carries the place it was thrown from.
class PlatformError : public Error {};

class SharedMemoryUnsafe {
 public:
  // Creates the block `name` of `size` bytes, read and write, or opens it with its
  // existing size when another process made it first. Throws
  // ZdsError<ipc::PlatformError> when the system refuses. `name` must not be empty
  // and `size` not 0 (std::invalid_argument otherwise).
  static SharedMemoryUnsafe create(const std::string& name, std::size_t size);
  // Creates a block under a new GUID name (createGuid()).
  static SharedMemoryUnsafe create(std::size_t size);
  // Opens the existing block `name` for reading and writing; its views are `size`
  // bytes. Throws ZdsError<ipc::PlatformError> when there is no such block or it
  // cannot be opened.
  static SharedMemoryUnsafe open(const std::string& name, std::size_t size);

  // A new GUID as UuidToStringA writes it: lower-case hexadecimal groups with hyphens,
  // no braces. Throws ZdsError<ipc::PlatformError> when either call fails.
  static std::string createGuid();

  SharedMemoryUnsafe(SharedMemoryUnsafe&&) noexcept = default;
  SharedMemoryUnsafe& operator=(SharedMemoryUnsafe&&) noexcept = default;
  SharedMemoryUnsafe(const SharedMemoryUnsafe&) = delete;
  SharedMemoryUnsafe& operator=(const SharedMemoryUnsafe&) = delete;
  // Closes the handle; the block goes when no process holds it any more.
  ~SharedMemoryUnsafe() = default;

  const std::string& name() const { return name_; }
  std::size_t size() const { return size_; }
  HANDLE handle() const { return handle_.get(); }

  // A view of the whole block, unmapped when destroyed. A failed unmapping is
  // reported (ERROR record) and not thrown.
  class Snapshot {
   public:
    // Maps the block with all access. Throws ZdsError<ipc::PlatformError>.
    explicit Snapshot(const SharedMemoryUnsafe& memory);
    ~Snapshot();
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

    void* data() const { return current_; }
    std::size_t size() const { return size_; }
    // Writes the view back to the block now. Throws ZdsError<ipc::PlatformError>.
    void flush();

   private:
    void* base_ = nullptr;     // what MapViewOfFile returned, for UnmapViewOfFile
    void* current_ = nullptr;  // where the caller reads and writes
    std::size_t size_ = 0;
  };

 private:
  SharedMemoryUnsafe(ScopedHandle handle, std::size_t size, std::string name)
      : handle_(std::move(handle)), size_(size), name_(std::move(name)) {}

  ScopedHandle handle_;
  std::size_t size_ = 0;
  std::string name_;
};

}  // namespace ipc
