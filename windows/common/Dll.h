// Libraries loaded at run time and the functions looked up in them, for system
// functions that only some Windows versions offer and for libraries that must come
// from the system directory.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

#include "common/share/Errors.h"

// A loaded library. Owns its handle (freed on destruction) unless made from one it
// does not own; moving hands the handle over.
class Dll {
 public:
  // Loads `name` (ANSI code-page text, like every path of the program) by the normal
  // search order with LoadLibraryW. Throws ZdsError<SysError> "LoadLibraryW(<name>)
  // failed" when it cannot be loaded.
  explicit Dll(const std::string& name);
  // Loads `name` from the system directory: "kernel32" becomes the system directory
  // joined with "kernel32". Throws as the constructor does, or the system directory
  // query's error.
  static Dll fromSystemDirectory(const std::string& name);

  ~Dll();
  Dll(Dll&& other) noexcept;
  Dll& operator=(Dll&& other) noexcept;
  Dll(const Dll&) = delete;
  Dll& operator=(const Dll&) = delete;

  // The function `name`, or null when the library lacks it and `throwIfMissing` is
  // false; when it is true a missing function throws ZdsError<SysError>
  // "GetProcAddress(<name>) failed".
  FARPROC getFunction(const std::string& name, bool throwIfMissing) const;

  HMODULE module() const { return module_; }
  const std::wstring& path() const { return path_; }

 private:
  void release();

  HMODULE module_ = nullptr;
  bool owned_ = false;
  std::wstring path_;
};

template <class Signature>
class DllFunction;

// A function of a Dll with a known signature. The Dll must outlive it.
template <class R, class... Args>
class DllFunction<R(Args...)> {
 public:
  // Exports of Windows libraries use the Windows calling convention.
  using Pointer = R(WINAPI*)(Args...);

  DllFunction(const Dll& dll, std::string name, bool throwIfMissing)
      : dll_(&dll),
        name_(std::move(name)),
        function_(reinterpret_cast<Pointer>(reinterpret_cast<void*>(dll.getFunction(name_, throwIfMissing)))) {}

  explicit operator bool() const { return function_ != nullptr; }
  Pointer get() const { return function_; }
  const std::string& name() const { return name_; }

  // Calls the function; throws ZdsError<std::runtime_error> "function <name> is not
  // available" when it was not found.
  R operator()(Args... args) const {
    if (!function_) {
      throw ZdsError<std::runtime_error>(std::runtime_error("function " + name_ + " is not available"), ZU_HERE);
    }
    return function_(args...);
  }

 private:
  const Dll* dll_;
  std::string name_;
  Pointer function_;
};

// Loads `name` from the system directory with LoadLibraryA. Returns null after an
// ERROR record when the directory cannot be had, the joined path would not fit in
// 260 characters, or the library does not load. The caller frees the handle.
HMODULE ZRE_System_LoadLibrary(const char* name);

// Closes a handle unless it is null or INVALID_HANDLE_VALUE.
void closeHandleIfValid(HANDLE handle);
// Frees a library when there is one.
void freeLibraryIfPresent(HMODULE module);
