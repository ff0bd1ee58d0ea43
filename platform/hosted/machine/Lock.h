// One run at a time on a machine directory, and temporary files no other run uses.
#pragma once

#include <filesystem>
#include <string>

namespace hosted {

// An exclusive lock on a machine directory, held from before its files are read until
// after its last write. A second run on the same directory waits until the first has
// released it, saying so on standard error. The lock is the host's advisory lock on the
// directory itself, so it goes with the process however that ends, and it is not passed
// to child processes.
class DirectoryLock {
 public:
  DirectoryLock() = default;
  // Locks `dir`, waiting as long as another run holds it. Throws HostFailure (65) when
  // the directory cannot be opened.
  explicit DirectoryLock(const std::filesystem::path& dir);
  ~DirectoryLock();
  DirectoryLock(DirectoryLock&& other) noexcept;
  DirectoryLock& operator=(DirectoryLock&& other) noexcept;
  DirectoryLock(const DirectoryLock&) = delete;
  DirectoryLock& operator=(const DirectoryLock&) = delete;

  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Creates a new, empty file beside `file` whose name no other run uses (file's name,
// ".tmp-" and a unique suffix), open for writing with mode 0644. Returns its descriptor
// and sets `temp` to its path, or returns -1.
int createTempBeside(const std::filesystem::path& file, std::filesystem::path& temp);

}  // namespace hosted
