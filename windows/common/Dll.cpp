#include "windows/common/Dll.h"

#include <utility>

#include "common/share/tstrings.h"
#include "windows/common/FileUtils.h"
#include "windows/common/Logger.h"
#include "windows/common/SysInfo.h"

namespace {

// The loader's messages, cut to what a 2048-byte buffer holds, under the caller's location.
void logLoaderError(const SourceLocation& where, const std::string& message) {
  if (!Logger::instance().isEnabled(LogLevel::Error)) return;
  logAt(LogLevel::Error, where, message.size() > 2047 ? message.substr(0, 2047) : message);
}

}  // namespace

Dll::Dll(const std::string& name) : path_(tstrings::fromACP(name)) {
  module_ = LoadLibraryW(path_.c_str());
  if (!module_) ZU_THROW_SYS_ERROR("LoadLibraryW(" + name + ") failed");
  owned_ = true;
}

Dll Dll::fromSystemDirectory(const std::string& name) { return Dll(combinePath(SysInfo::getSystem32Dir(), name)); }

Dll::~Dll() { release(); }

Dll::Dll(Dll&& other) noexcept
    : module_(std::exchange(other.module_, nullptr)),
      owned_(std::exchange(other.owned_, false)),
      path_(std::move(other.path_)) {}

Dll& Dll::operator=(Dll&& other) noexcept {
  if (this != &other) {
    release();
    module_ = std::exchange(other.module_, nullptr);
    owned_ = std::exchange(other.owned_, false);
    path_ = std::move(other.path_);
  }
  return *this;
}

void Dll::release() {
  if (owned_ && module_) FreeLibrary(module_);
  module_ = nullptr;
  owned_ = false;
}

FARPROC Dll::getFunction(const std::string& name, bool throwIfMissing) const {
  FARPROC function = GetProcAddress(module_, name.c_str());
  if (!function && throwIfMissing) ZU_THROW_SYS_ERROR("GetProcAddress(" + name + ") failed");
  return function;
}

HMODULE ZRE_System_LoadLibrary(const char* name) {
  char directory[MAX_PATH];
  UINT length = GetSystemDirectoryA(directory, MAX_PATH);
  if (length == 0 || length > MAX_PATH) {
    DWORD error = GetLastError();
    logLoaderError(ZU_HERE, tstrings::format("GetSystemDirectory failed.  Return Code: %d, ErrorCode: %d",
                                    static_cast<int>(length), static_cast<int>(error)));
    return nullptr;
  }
  // The path must fit in 260 characters with its terminator; a longer one would be
  // cut, and a cut path may name another library.
  std::string path = std::string(directory, length) + "\\" + (name ? name : "");
  if (path.size() >= MAX_PATH) {
    logLoaderError(ZU_HERE, tstrings::format("_snprintf failed.  ErrorCode: %d", static_cast<int>(GetLastError())));
    return nullptr;
  }
  HMODULE module = LoadLibraryA(path.c_str());
  if (!module) {
    DWORD error = GetLastError();
    logLoaderError(ZU_HERE, tstrings::format("LoadLibrary(%s) failed.  ErrorCode: %d", path.c_str(), static_cast<int>(error)));
  }
  return module;
}

void closeHandleIfValid(HANDLE handle) {
  if (handle && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
}

void freeLibraryIfPresent(HMODULE module) {
  if (module) FreeLibrary(module);
}
