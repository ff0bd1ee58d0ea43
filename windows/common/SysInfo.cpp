#include "windows/common/SysInfo.h"

#include <windows.h>
#include <shlobj.h>

#include <stdexcept>
#include <vector>

#include "common/share/Errors.h"
#include "common/share/tstrings.h"
#include "windows/common/FileUtils.h"
#include "windows/common/Logger.h"

namespace SysInfo {

namespace {

bool initialized = false;
int32_t generation = Windows2000OrOlder;

// A shell folder without its trailing separator. A failure is logged under the caller's
// location and thrown.
std::string folder(const SourceLocation& where, int csidl, const char* label, const char* failure) {
  char buffer[MAX_PATH] = {};
  HRESULT hr = SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer);
  if (FAILED(hr)) {
    logAt(LogLevel::Error, where, tstrings::format("%s failed with %s", label, comErrorText(hr).c_str()));
    throw std::runtime_error(failure);
  }
  return removeTrailingSlashes(buffer);
}

}  // namespace

int32_t classifyOsVersion(DWORD major, DWORD minor) {
  if (major > 6) return Windows81OrLater;
  if (major == 6) {
    switch (minor) {
      case 0: return WindowsVista;
      case 1: return Windows7;
      case 2: return Windows8;
      default: return Windows81OrLater;
    }
  }
  if (major == 5 && minor >= 1) return WindowsXP;
  return Windows2000OrOlder;
}

void initialize() {
  OSVERSIONINFOEXA info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&info))) {
    DWORD error = GetLastError();
    LOG_ERROR(tstrings::format("%s failed with %s", "SysInfo::initialize(GetVersionEx)",
                               systemErrorText(error).c_str()));
  }
  generation = classifyOsVersion(info.dwMajorVersion, info.dwMinorVersion);
  initialized = true;
}

int32_t osVersion() {
  if (!initialized) initialize();
  return generation;
}

bool isX64OS() {
  // ARM64 Windows runs x64 programs emulated and keeps the same 32-bit registry views
  // and folders as x64 Windows. Where the system has IsWow64Process2 it names the
  // native machine even to an emulated 32-bit process, which GetNativeSystemInfo
  // tells x86 on a system that emulates no x64.
  using IsWow64Process2Function = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
  HMODULE kernel = GetModuleHandleA("kernel32");
  auto isWow64Process2 = kernel ? reinterpret_cast<IsWow64Process2Function>(
                                      reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process2")))
                                : nullptr;
  USHORT processMachine = 0;
  USHORT nativeMachine = 0;
  if (isWow64Process2 && isWow64Process2(GetCurrentProcess(), &processMachine, &nativeMachine)) {
    return nativeMachine == IMAGE_FILE_MACHINE_AMD64 || nativeMachine == IMAGE_FILE_MACHINE_ARM64;
  }
  SYSTEM_INFO info{};
  GetNativeSystemInfo(&info);
  return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
         info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_ARM64;
}

bool isWow64Process() {
  using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
  HMODULE kernel = GetModuleHandleA("kernel32");
  auto fnIsWow64Process = kernel ? reinterpret_cast<IsWow64ProcessFunction>(
                                       reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")))
                                 : nullptr;
  if (!fnIsWow64Process) return false;
  BOOL wow64 = FALSE;
  if (!fnIsWow64Process(GetCurrentProcess(), &wow64)) throw std::runtime_error("fnIsWow64Process() failed");
  return wow64 != FALSE;
}

bool is32BitEnvironment() { return !isX64OS() || isWow64Process(); }

REGSAM registryAccess(bool write) {
  REGSAM view = is32BitEnvironment() ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
  return (write ? KEY_WRITE : KEY_READ) | view;
}

std::string getCommonAppDataDir() {
  return folder(ZU_HERE, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, "GetAppDataDir",
                "SHGetFolderPath(CSIDL_COMMON_APPDATA) failed");
}

std::string getSystem32Dir() {
  return folder(ZU_HERE, CSIDL_SYSTEM, "GetSystem32Dir", "SHGetFolderPath(CSIDL_SYSTEM) failed");
}

std::string getSystemWow64Dir() {
  char buffer[MAX_PATH] = {};
  UINT length = GetSystemWow64DirectoryA(buffer, MAX_PATH);
  // A path longer than the buffer is reported by its size and not written.
  if (length == 0 || length >= MAX_PATH) {
    DWORD error = length == 0 ? GetLastError() : static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER);
    LOG_ERROR(tstrings::format("%s failed with %s", "GetSystemWow64Directory", systemErrorText(error).c_str()));
    throw std::runtime_error("GetSystemWow64Directory(LPTSTR lpBuffer, UINT uSize) failed");
  }
  return removeTrailingSlashes(std::string(buffer, length));
}

std::string getWindowsDir() {
  return folder(ZU_HERE, CSIDL_WINDOWS, "getWindowsDir", "SHGetFolderPath(CSIDL_WINDOWS) failed");
}

std::string getProgramFilesCommonX86Dir() {
  int csidl = (isX64OS() ? CSIDL_PROGRAM_FILES_COMMONX86 : CSIDL_PROGRAM_FILES_COMMON) | CSIDL_FLAG_CREATE;
  return folder(ZU_HERE, csidl, "GetProgramFilesCommonX86Dir", "SHGetFolderPath(CSIDL_PROGRAM_FILES_COMMONX86) failed");
}

std::string getPatchCache(int arch) {
  if (arch != 32 && arch != 64) throw std::runtime_error("getPatchCache() failed, invalid arch passed");
  std::string path = combinePath(getCommonAppDataDir(), "Vantor");
  path = combinePath(path, "Zuna");
  return combinePath(path, arch == 32 ? "installcache" : "installcache_x64");
}

std::string getTempDir() {
  std::vector<char> buffer(MAX_PATH);
  DWORD length = GetTempPathA(static_cast<DWORD>(buffer.size()), buffer.data());
  if (length > buffer.size()) {
    buffer.resize(length);
    length = GetTempPathA(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length >= buffer.size()) length = 0;
  }
  return removeTrailingSlashes(std::string(buffer.data(), length));
}

std::string getProcessModulePath() {
  std::vector<char> buffer(MAX_PATH);
  while (true) {
    DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      throw ZdsError<std::runtime_error>(std::runtime_error("GetModuleFileName(NULL) failed"), ZU_HERE);
    }
    if (length < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

std::string getProcessName() {
  try {
    return basename(getProcessModulePath());
  } catch (const std::exception&) {
    return "Unknown";
  }
}

}  // namespace SysInfo
