#include "platform/hosted/machine/SharedMemory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include <winerror.h>

namespace hosted {

namespace {

// Windows places views at multiples of its allocation granularity.
constexpr uint64_t kAllocationGranularity = 64 * 1024;

uint32_t errorOfErrno(int error) {
  switch (error) {
    case ENOMEM:
    case ENOSPC:
    case EFBIG:
      return ERROR_NOT_ENOUGH_MEMORY;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    default:
      return ERROR_ACCESS_DENIED;
  }
}

std::string hexOf(const std::vector<unsigned char>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

}  // namespace

std::string sharedMemoryFileName(const std::string& name) {
  std::string rest = name;
  for (const char* space : {"Local\\", "Global\\"}) {
    if (rest.rfind(space, 0) == 0) {
      rest = rest.substr(std::strlen(space));
      break;
    }
  }
  // Windows allows '/' in object names; a host file name cannot hold it, and "." and
  // ".." would name folders, so those few names are refused here.
  if (rest.empty() || rest == "." || rest == ".." || rest.find_first_of("\\/") != std::string::npos ||
      rest.find('\0') != std::string::npos) {
    return {};
  }
  return rest;
}

SharedBlock::SharedBlock(std::string name, std::filesystem::path file, int fd, uint64_t size, bool writable,
                         bool created)
    : name_(std::move(name)), file_(std::move(file)), fd_(fd), size_(size), writable_(writable), created_(created) {}

SharedBlock::~SharedBlock() {
  if (created_ && !file_.empty()) {
    std::error_code ec;
    std::filesystem::remove(file_, ec);
  }
  ::close(fd_);
}

std::vector<unsigned char> SharedBlock::contents() const {
  std::vector<unsigned char> bytes(size_);
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::pread(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  bytes.resize(done);
  return bytes;
}

SharedMemory::SharedMemory(std::filesystem::path dir, Journal& journal) : dir_(std::move(dir)), journal_(journal) {}

SharedMemory::~SharedMemory() {
  for (auto& [address, view] : views_) release(view);
}

std::shared_ptr<SharedBlock> SharedMemory::create(const std::string& name, uint64_t size, bool writable,
                                                  bool* existed, uint32_t* error) {
  *existed = false;
  if (!name.empty()) {
    std::string fileName = sharedMemoryFileName(name);
    if (fileName.empty()) {
      *error = ERROR_INVALID_NAME;
      return nullptr;
    }
    if (auto live = named_[fileName].lock()) {
      *existed = true;
      return live;
    }
  }
  if (size == 0) {
    *error = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  if (name.empty()) {
    int fd = ::memfd_create("hosted-shared-memory", MFD_CLOEXEC);
    if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
      *error = errorOfErrno(errno);
      if (fd >= 0) ::close(fd);
      return nullptr;
    }
    return std::make_shared<SharedBlock>(std::string(), std::filesystem::path(), fd, size, writable, true);
  }

  std::string fileName = sharedMemoryFileName(name);
  std::error_code ec;
  std::filesystem::create_directories(dir_, ec);
  std::filesystem::path file = dir_ / fileName;
  int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd >= 0) {
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
      *error = errorOfErrno(errno);
      ::close(fd);
      std::filesystem::remove(file, ec);
      return nullptr;
    }
    auto block = std::make_shared<SharedBlock>(name, file, fd, size, writable, true);
    named_[fileName] = block;
    return block;
  }
  if (errno != EEXIST) {
    *error = errorOfErrno(errno);
    return nullptr;
  }
  // Another process made it first: this is an open, with the block's own size.
  auto block = open(name, error);
  if (block) *existed = true;
  return block;
}

std::shared_ptr<SharedBlock> SharedMemory::open(const std::string& name, uint32_t* error) {
  std::string fileName = sharedMemoryFileName(name);
  if (fileName.empty()) {
    *error = name.empty() ? ERROR_INVALID_PARAMETER : ERROR_INVALID_NAME;
    return nullptr;
  }
  if (auto live = named_[fileName].lock()) return live;
  std::filesystem::path file = dir_ / fileName;
  int fd = ::open(file.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    *error = (errno == ENOENT || errno == ENOTDIR) ? ERROR_FILE_NOT_FOUND : errorOfErrno(errno);
    return nullptr;
  }
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(fd);
    *error = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  auto block = std::make_shared<SharedBlock>(name, file, fd, static_cast<uint64_t>(status.st_size), true, false);
  named_[fileName] = block;
  return block;
}

void* SharedMemory::map(const std::shared_ptr<SharedBlock>& block, uint64_t offset, uint64_t bytes, bool write,
                        uint32_t* error) {
  if (offset % kAllocationGranularity != 0) {
    *error = ERROR_MAPPED_ALIGNMENT;
    return nullptr;
  }
  if ((write && !block->writable()) || offset > block->size() || bytes > block->size() - offset) {
    *error = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  uint64_t length = bytes == 0 ? block->size() - offset : bytes;
  if (length == 0) {
    *error = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  int protection = PROT_READ | (write ? PROT_WRITE : 0);
  void* host = ::mmap(nullptr, length, protection, MAP_SHARED, block->fd(), static_cast<off_t>(offset));
  if (host == MAP_FAILED) {
    *error = errorOfErrno(errno);
    return nullptr;
  }
  View view{block, host, static_cast<size_t>(length), static_cast<unsigned char*>(host), static_cast<size_t>(length),
            write, {}};
  view.seen.assign(view.data, view.data + view.length);
  void* address = view.data;
  views_.emplace(address, std::move(view));
  return address;
}

void SharedMemory::journalIfWritten(View& view) {
  if (!view.writable) return;
  if (std::memcmp(view.seen.data(), view.data, view.length) == 0) return;
  view.seen.assign(view.data, view.data + view.length);
  auto event = Journal::event("sharedMemory");
  event["name"] = view.block->name();
  event["data"] = hexOf(view.block->contents());
  journal_.append(event);
}

bool SharedMemory::flush(const void* address, uint32_t* error) {
  auto at = static_cast<const unsigned char*>(address);
  for (auto& [base, view] : views_) {
    if (at >= view.data && at < view.data + view.length) {
      journalIfWritten(view);
      return true;
    }
  }
  *error = ERROR_INVALID_ADDRESS;
  return false;
}

bool SharedMemory::unmap(const void* address, uint32_t* error) {
  auto it = views_.find(address);
  if (it == views_.end()) {
    *error = ERROR_INVALID_ADDRESS;
    return false;
  }
  journalIfWritten(it->second);
  release(it->second);
  views_.erase(it);
  return true;
}

void SharedMemory::release(View& view) {
  if (view.host) ::munmap(view.host, view.hostLength);
  view.host = nullptr;
}

}  // namespace hosted
