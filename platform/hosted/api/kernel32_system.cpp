// kernel32: the computer's processor, Windows version and system folders, as
// machine.json describes them.
#include <windows.h>

#include <cstring>
#include <optional>
#include <string>

#include "platform/hosted/machine/Run.h"
#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Processes.h"

using hosted::machine;
using hosted::setLastError;

namespace {

// The Get...DirectoryA convention: the length without NUL when the text fits, else
// the size needed including the NUL and nothing written.
UINT copyOut(const std::string& text, LPSTR buffer, UINT size) {
  if (text.size() + 1 > size || !buffer) return static_cast<UINT>(text.size() + 1);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<UINT>(text.size());
}

// `function` names the caller for fault injection; null when it has checked already.
UINT folderOut(const char* function, const char* folder, LPSTR buffer, UINT size) {
  if (auto error = function ? machine().faults().take(function) : std::nullopt) {
    setLastError(*error);
    return 0;
  }
  auto path = machine().facts().folder(folder);
  if (!path) {
    setLastError(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  return copyOut(*path, buffer, size);
}

}  // namespace

extern "C" {

VOID WINAPI GetNativeSystemInfo(LPSYSTEM_INFO lpSystemInfo) {
  if (!lpSystemInfo) return;
  const hosted::Facts& facts = machine().facts();
  std::memset(lpSystemInfo, 0, sizeof *lpSystemInfo);
  lpSystemInfo->dwPageSize = 4096;
  lpSystemInfo->dwAllocationGranularity = 65536;
  lpSystemInfo->dwNumberOfProcessors = 1;
  lpSystemInfo->dwActiveProcessorMask = 1;
  lpSystemInfo->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(0x10000);
  if (facts.architecture == "x64") {
    lpSystemInfo->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    lpSystemInfo->dwProcessorType = PROCESSOR_AMD_X8664;
    lpSystemInfo->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(0x7FFFFFFEFFFFULL);
  } else if (facts.architecture == "arm64") {
    lpSystemInfo->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_ARM64;
    lpSystemInfo->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(0x7FFFFFFEFFFFULL);
  } else if (facts.architecture == "ia64") {
    lpSystemInfo->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_IA64;
    lpSystemInfo->dwProcessorType = PROCESSOR_INTEL_IA64;
    lpSystemInfo->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(0x6FBFFFEFFFFULL);
  } else {
    lpSystemInfo->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
    lpSystemInfo->dwProcessorType = PROCESSOR_INTEL_PENTIUM;
    lpSystemInfo->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(0x7FFEFFFFULL);
  }
}

BOOL WINAPI IsWow64Process(HANDLE hProcess, PBOOL Wow64Process) {
  if (!Wow64Process) {
    setLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (auto error = machine().faults().take("IsWow64Process")) {
    setLastError(*error);
    return FALSE;
  }
  if (hProcess != GetCurrentProcess() && !machine().handles().get<hosted::ProcessObject>(hProcess)) {
    setLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // Other processes of the machine run natively.
  *Wow64Process = hProcess == GetCurrentProcess() && machine().facts().isWow64() ? TRUE : FALSE;
  return TRUE;
}

BOOL WINAPI IsWow64Process2(HANDLE hProcess, USHORT* pProcessMachine, USHORT* pNativeMachine) {
  if (!pProcessMachine) {
    setLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (auto error = machine().faults().take("IsWow64Process2")) {
    setLastError(*error);
    return FALSE;
  }
  if (hProcess != GetCurrentProcess() && !machine().handles().get<hosted::ProcessObject>(hProcess)) {
    setLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const hosted::Facts& facts = machine().facts();
  USHORT native = IMAGE_FILE_MACHINE_I386;
  if (facts.architecture == "x64") native = IMAGE_FILE_MACHINE_AMD64;
  if (facts.architecture == "arm64") native = IMAGE_FILE_MACHINE_ARM64;
  if (facts.architecture == "ia64") native = IMAGE_FILE_MACHINE_IA64;
  // Only a 32-bit process on a 64-bit system runs under WOW64; an x64 process emulated
  // on ARM64 does not, and other processes of the machine run natively.
  *pProcessMachine = hProcess == GetCurrentProcess() && facts.isWow64() ? IMAGE_FILE_MACHINE_I386
                                                                         : IMAGE_FILE_MACHINE_UNKNOWN;
  if (pNativeMachine) *pNativeMachine = native;
  return TRUE;
}

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
  if (!lpVersionInformation || (lpVersionInformation->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) &&
                                lpVersionInformation->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXA))) {
    setLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (auto error = machine().faults().take("GetVersionExA")) {
    setLastError(*error);
    return FALSE;
  }
  const hosted::Facts& facts = machine().facts();
  DWORD size = lpVersionInformation->dwOSVersionInfoSize;
  std::memset(reinterpret_cast<char*>(lpVersionInformation) + sizeof(DWORD), 0, size - sizeof(DWORD));
  lpVersionInformation->dwMajorVersion = static_cast<DWORD>(facts.osMajor);
  lpVersionInformation->dwMinorVersion = static_cast<DWORD>(facts.osMinor);
  lpVersionInformation->dwBuildNumber = facts.osMajor >= 10 ? 19045 : 7601;
  lpVersionInformation->dwPlatformId = VER_PLATFORM_WIN32_NT;
  if (size == sizeof(OSVERSIONINFOEXA)) {
    reinterpret_cast<LPOSVERSIONINFOEXA>(lpVersionInformation)->wProductType = VER_NT_WORKSTATION;
  }
  return TRUE;
}

UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
  return folderOut("GetSystemDirectoryA", "system", lpBuffer, uSize);
}

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
  return folderOut("GetWindowsDirectoryA", "windows", lpBuffer, uSize);
}

UINT WINAPI GetSystemWow64DirectoryA(LPSTR lpBuffer, UINT uSize) {
  if (auto error = machine().faults().take("GetSystemWow64DirectoryA")) {
    setLastError(*error);
    return 0;
  }
  // A 32-bit system has no WOW64 layer and says so.
  if (machine().facts().architecture == "x86") {
    setLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
  }
  return folderOut(nullptr, "systemWow64", lpBuffer, uSize);
}

}  // extern "C"
