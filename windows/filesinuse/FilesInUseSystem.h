// What the scan asks of the system: the system directories, the kind of processor,
// and the long form of a path. Kept in one place so that the scan's rules can be read
// without the system calls behind them.
#pragma once

#include <string>

namespace FilesInUseSystem {

// The system directory; throws std::runtime_error "SHGetFolderPath(CSIDL_SYSTEM) failed".
std::string SystemDir();
// The 32-bit system directory of a 64-bit system; throws std::runtime_error
// "GetSystemWow64Directory(LPTSTR lpBuffer, UINT uSize) failed".
std::string SystemWow64Dir();
// Whether the operating system runs on an x64 (AMD64) processor.
bool IsX64OS();
// The long form of a path, or empty when it has none.
std::string LongPathName(const std::string& path);

}  // namespace FilesInUseSystem
