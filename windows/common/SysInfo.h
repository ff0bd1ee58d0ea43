// What the program asks about the machine: processor, bitness, Windows generation,
// its folders and its own executable. Directory answers carry no trailing separator.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace SysInfo {

// Windows generations as osVersion() reports them; callers compare against them
// (2 or more is Vista or later).
enum OsGeneration : int32_t {
  Windows2000OrOlder = 0,
  WindowsXP = 1,
  WindowsVista = 2,
  Windows7 = 3,
  Windows8 = 4,
  Windows81OrLater = 5,
};

// The generation of a reported major.minor version.
int32_t classifyOsVersion(DWORD major, DWORD minor);
// Asks the system for its version and keeps the generation for osVersion(). A failed
// query is logged at ERROR and gives generation 0. Runs on the first osVersion() call;
// calling it again asks again.
void initialize();
int32_t osVersion();

// True when the system is 64-bit Windows on x64 (AMD64) or ARM64, which runs x64
// programs emulated; Itanium and x86 give false.
bool isX64OS();
// Whether this process runs under WOW64; false where the system lacks the query.
// Throws std::runtime_error "fnIsWow64Process() failed" when the query fails.
bool isWow64Process();
// True on a 32-bit system or in a 32-bit process on a 64-bit one.
bool is32BitEnvironment();
// The registry access mask for the view of the program's own bitness.
REGSAM registryAccess(bool write);

// The folders; each logs "<label> failed with <error>" at ERROR and throws
// std::runtime_error when the system cannot answer.
std::string getCommonAppDataDir();
std::string getSystem32Dir();
std::string getSystemWow64Dir();
std::string getWindowsDir();
// The 32-bit Common Files folder: the x86 one on a 64-bit system, the ordinary one on
// a 32-bit system.
std::string getProgramFilesCommonX86Dir();

// The patch cache of the installers of one bitness (32 or 64) under the common
// application data folder. Throws std::runtime_error for any other `arch`.
std::string getPatchCache(int arch);

// The user's temporary directory; empty when the system cannot say. Never throws.
std::string getTempDir();

// The full path of the running executable, however long. Throws
// ZdsError<std::runtime_error> "GetModuleFileName(NULL) failed" when it cannot be had.
std::string getProcessModulePath();

// The executable's file name, or "Unknown" when its path cannot be had. Never throws.
std::string getProcessName();

}  // namespace SysInfo
