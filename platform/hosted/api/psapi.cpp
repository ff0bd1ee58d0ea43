// psapi: the modules of another process, by a process handle with query and read access.
#include <windows.h>
#include <psapi.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/hosted/machine/Run.h"
#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/api/ProcessModules.h"
#include "platform/hosted/machine/Processes.h"

using hosted::machine;
using hosted::setLastError;

namespace hosted {

namespace {
// Module handles are base addresses; every hosted module gets its own 16 MB slot.
constexpr uintptr_t kFirstModule = 0x140000000ull;
constexpr uintptr_t kModuleSpacing = 0x1000000ull;
}  // namespace

bool modulesOf(uint32_t pid, std::vector<std::string>* modules) {
  if (pid == machine().facts().pid) {
    *modules = {machine().facts().image};
    return true;
  }
  const HostedProcess* process = machine().processes().find(pid);
  if (!process) {
    setLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (process->accessDenied) {
    setLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  *modules = process->allModules();
  return true;
}

HMODULE moduleHandle(size_t index) {
  return reinterpret_cast<HMODULE>(kFirstModule + index * kModuleSpacing);
}

size_t moduleIndex(HMODULE module) {
  auto address = reinterpret_cast<uintptr_t>(module);
  if (address < kFirstModule || (address - kFirstModule) % kModuleSpacing != 0) return SIZE_MAX;
  return (address - kFirstModule) / kModuleSpacing;
}

}  // namespace hosted

namespace {

// The modules of the process behind a handle opened with query and read access.
bool modulesOfHandle(HANDLE handle, std::vector<std::string>* modules) {
  uint32_t pid;
  if (handle == GetCurrentProcess()) {
    pid = machine().facts().pid;
  } else {
    auto process = machine().handles().get<hosted::ProcessObject>(handle);
    if (!process) {
      setLastError(ERROR_INVALID_HANDLE);
      return false;
    }
    constexpr DWORD kNeeded = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
    if ((process->access & kNeeded) != kNeeded) {
      setLastError(ERROR_ACCESS_DENIED);
      return false;
    }
    pid = process->pid;
  }
  // A process that has ended keeps its handle, but its modules are gone.
  if (!hosted::modulesOf(pid, modules)) {
    setLastError(ERROR_PARTIAL_COPY);
    return false;
  }
  return true;
}

}  // namespace

extern "C" {

BOOL WINAPI EnumProcessModules(HANDLE hProcess, HMODULE* lphModule, DWORD cb, LPDWORD lpcbNeeded) {
  if (auto error = machine().faults().take("EnumProcessModules")) {
    setLastError(*error);
    return FALSE;
  }
  std::vector<std::string> modules;
  if (!modulesOfHandle(hProcess, &modules)) return FALSE;
  if (!lpcbNeeded) {
    setLastError(ERROR_NOACCESS);
    return FALSE;
  }
  *lpcbNeeded = static_cast<DWORD>(modules.size() * sizeof(HMODULE));
  size_t room = cb / sizeof(HMODULE);
  for (size_t i = 0; i < modules.size() && i < room; ++i) lphModule[i] = hosted::moduleHandle(i);
  return TRUE;
}

DWORD WINAPI GetModuleFileNameExA(HANDLE hProcess, HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  if (auto error = machine().faults().take("GetModuleFileNameExA")) {
    setLastError(*error);
    return 0;
  }
  std::vector<std::string> modules;
  if (!modulesOfHandle(hProcess, &modules)) return 0;
  size_t index = hModule ? hosted::moduleIndex(hModule) : 0;
  if (index >= modules.size()) {
    setLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (nSize == 0 || !lpFilename) {
    setLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  // Truncated to the buffer and terminated; the result is the length copied.
  const std::string& path = modules[index];
  size_t n = std::min<size_t>(path.size(), nSize - 1);
  std::memcpy(lpFilename, path.data(), n);
  lpFilename[n] = '\0';
  return static_cast<DWORD>(n);
}

}  // extern "C"
