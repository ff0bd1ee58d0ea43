#include "ipc/include/ipc/SharedMemory.h"

#include <objbase.h>
#include <rpc.h>

#include <cstdint>
#include <stdexcept>

#include "common/share/Errors.h"
#include "windows/common/AllUtils.h"

namespace ipc {

namespace {

[[noreturn]] void throwPlatformError(const SourceLocation& location) {
  throw ZdsError<PlatformError>(PlatformError(), location);
}

// Frees a string that UuidToStringA allocated.
class RpcString {
 public:
  RpcString() = default;
  ~RpcString() {
    if (text_) RpcStringFreeA(&text_);
  }
  RpcString(const RpcString&) = delete;
  RpcString& operator=(const RpcString&) = delete;
  RPC_CSTR* receive() { return &text_; }
  std::string str() const { return text_ ? reinterpret_cast<const char*>(text_) : ""; }

 private:
  RPC_CSTR text_ = nullptr;
};

}  // namespace

SharedMemoryUnsafe SharedMemoryUnsafe::create(const std::string& name, std::size_t size) {
  if (name.empty()) throw std::invalid_argument("shared memory needs a name");
  if (size == 0 || static_cast<uint64_t>(size) > 0xFFFFFFFFull) throw std::invalid_argument("shared memory size");
  ScopedHandle handle(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                         static_cast<DWORD>(size), name.c_str()));
  if (!handle.valid()) throwPlatformError(ZU_HERE);
  return SharedMemoryUnsafe(std::move(handle), size, name);
}

SharedMemoryUnsafe SharedMemoryUnsafe::create(std::size_t size) { return create(createGuid(), size); }

SharedMemoryUnsafe SharedMemoryUnsafe::open(const std::string& name, std::size_t size) {
  if (name.empty()) throw std::invalid_argument("shared memory needs a name");
  if (size == 0) throw std::invalid_argument("shared memory size");
  ScopedHandle handle(OpenFileMappingA(FILE_MAP_WRITE | FILE_MAP_READ, FALSE, name.c_str()));
  if (!handle.valid()) throwPlatformError(ZU_HERE);
  return SharedMemoryUnsafe(std::move(handle), size, name);
}

std::string SharedMemoryUnsafe::createGuid() {
  GUID guid{};
  if (FAILED(CoCreateGuid(&guid))) throwPlatformError(ZU_HERE);
  RpcString text;
  if (UuidToStringA(&guid, text.receive()) != RPC_S_OK) throwPlatformError(ZU_HERE);
  return text.str();
}

SharedMemoryUnsafe::Snapshot::Snapshot(const SharedMemoryUnsafe& memory) : size_(memory.size()) {
  base_ = MapViewOfFile(memory.handle(), FILE_MAP_ALL_ACCESS, 0, 0, memory.size());
  if (!base_) throwPlatformError(ZU_HERE);
  current_ = base_;
}

SharedMemoryUnsafe::Snapshot::~Snapshot() {
  if (!UnmapViewOfFile(base_)) {
    reportException(SourceLocation{__FILE__, "ipc::SharedMemoryUnsafe::Snapshot::~Snapshot", __LINE__},
                    ZdsError<PlatformError>(PlatformError(), ZU_HERE));
  }
}

void SharedMemoryUnsafe::Snapshot::flush() {
  if (!FlushViewOfFile(base_, size_)) throwPlatformError(ZU_HERE);
}

}  // namespace ipc
