// The uninstaller's entry point and what it promises its caller.
#pragma once

#include <cstdint>

// The exit status of a run that ended normally, whatever it found on the way.
inline constexpr uint32_t kExitSuccess = 0;
// The exit status when an exception reached the entry point (0x94EE1).
inline constexpr uint32_t kExitException = 610017;
