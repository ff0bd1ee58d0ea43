// What the program asks about the machine: its folders and its own executable.
// Directory answers carry no trailing separator.
#pragma once

#include <string>

namespace SysInfo {

// The user's temporary directory; empty when the system cannot say. Never throws.
std::string getTempDir();

// The full path of the running executable, however long. Throws
// ZdsError<std::runtime_error> "GetModuleFileName(NULL) failed" when it cannot be had.
std::string getProcessModulePath();

// The executable's file name, or "Unknown" when its path cannot be had. Never throws.
std::string getProcessName();

}  // namespace SysInfo
