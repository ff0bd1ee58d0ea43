// The modules of a process as the snapshot and psapi functions show them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <windef.h>

namespace hosted {

// The module paths of a running process, its image first. False, with the last error
// set, when the process does not run (ERROR_INVALID_PARAMETER) or is protected
// (ERROR_ACCESS_DENIED).
bool modulesOf(uint32_t pid, std::vector<std::string>* modules);

// The module handle of the module at `index` of a process, and back (SIZE_MAX when
// the handle names no module).
HMODULE moduleHandle(size_t index);
size_t moduleIndex(HMODULE module);

}  // namespace hosted
