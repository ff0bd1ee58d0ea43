// Shared memory of the machine: the objects that CreateFileMappingA makes over the
// paging file, and the views mapped from them.
//
// A named block is the host file MACHINE/shm/NAME of the block's size, mapped shared
// (MAP_SHARED), so that another host process that has the file mapped (a progress
// watcher, a test) sees every write at once and can have made the block first. An
// unnamed block is a host memory file that no other process can reach.
//
// A block lives while a handle or a view holds it, as a Windows section object does.
// When the last one lets go, a block this process created is removed from shm/; one
// that it only opened (a watcher made it) stays.
//
// A view that was written to is journaled when it is flushed or unmapped: a
// `sharedMemory` event with the block's name and the whole block in hexadecimal.
// "Written to" means its bytes differ from what they were when it was mapped or last
// journaled; a write of the bytes already there leaves no trace.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/hosted/machine/Handles.h"
#include "platform/hosted/machine/Journal.h"

namespace hosted {

class SharedBlock {
 public:
  SharedBlock(std::string name, std::filesystem::path file, int fd, uint64_t size, bool writable, bool created);
  ~SharedBlock();
  SharedBlock(const SharedBlock&) = delete;
  SharedBlock& operator=(const SharedBlock&) = delete;

  const std::string& name() const { return name_; }
  uint64_t size() const { return size_; }
  int fd() const { return fd_; }
  // False for a block made with PAGE_READONLY: no view of it may write.
  bool writable() const { return writable_; }
  // The whole block as it is now.
  std::vector<unsigned char> contents() const;

 private:
  std::string name_;           // empty for an unnamed block
  std::filesystem::path file_; // shm/NAME; empty for an unnamed block
  int fd_;
  uint64_t size_;
  bool writable_;
  bool created_;  // this process made the file: it goes with the block
};

// What a file-mapping handle holds: its block and the access it was opened with.
struct MappingObject : HandleObject {
  std::shared_ptr<SharedBlock> block;
  bool mayRead = true;
  bool mayWrite = true;
};

class SharedMemory {
 public:
  // `dir` is MACHINE/shm, made when the first named block is created.
  SharedMemory(std::filesystem::path dir, Journal& journal);
  ~SharedMemory();
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;

  // Creates the block `name` (empty: unnamed) of `size` bytes, or opens it when it
  // exists (in this process or as a file another process made), then with its own
  // size; *existed tells which. Null with *error set on failure: ERROR_INVALID_NAME
  // for a name that cannot be a file name, ERROR_INVALID_PARAMETER for size 0,
  // ERROR_NOT_ENOUGH_MEMORY or ERROR_ACCESS_DENIED when the host refuses.
  std::shared_ptr<SharedBlock> create(const std::string& name, uint64_t size, bool writable, bool* existed,
                                      uint32_t* error);
  // Opens the existing block `name`. ERROR_FILE_NOT_FOUND when there is none.
  std::shared_ptr<SharedBlock> open(const std::string& name, uint32_t* error);

  // Maps `bytes` (0: up to the end) of the block from `offset`. Null with *error:
  // ERROR_MAPPED_ALIGNMENT for an offset that is no multiple of 64 KiB,
  // ERROR_ACCESS_DENIED for a range beyond the block or a write to a read-only block.
  void* map(const std::shared_ptr<SharedBlock>& block, uint64_t offset, uint64_t bytes, bool write,
            uint32_t* error);
  // Journals the view that holds `address` if it was written to. False with
  // ERROR_INVALID_ADDRESS when no view holds it.
  bool flush(const void* address, uint32_t* error);
  // Journals the view based at `address` if it was written to, and unmaps it. False
  // with ERROR_INVALID_ADDRESS when no view is based there.
  bool unmap(const void* address, uint32_t* error);

  std::size_t viewCount() const { return views_.size(); }
  // The name's host file, whether or not it exists.
  std::filesystem::path fileOf(const std::string& name) const { return dir_ / name; }

 private:
  struct View {
    std::shared_ptr<SharedBlock> block;
    void* host;            // what mmap returned (page-aligned)
    std::size_t hostLength;
    unsigned char* data;   // the address handed out
    std::size_t length;
    bool writable;
    std::vector<unsigned char> seen;  // the bytes when mapped or last journaled
  };
  void journalIfWritten(View& view);
  static void release(View& view);

  std::filesystem::path dir_;
  Journal& journal_;
  std::map<std::string, std::weak_ptr<SharedBlock>> named_;
  std::map<const void*, View> views_;  // by the address handed out
};

// Checks a mapping name and gives the host file name for it: the "Local\" and
// "Global\" namespaces are one on this machine. Empty for a name that cannot be one.
std::string sharedMemoryFileName(const std::string& name);

}  // namespace hosted
