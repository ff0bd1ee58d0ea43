// What the layer's Windows functions share: the thread's last error and the end of a
// run that a prompt nobody can answer forces.
#pragma once

#include <cstdint>
#include <string>

namespace hosted {

// Sets the calling thread's last error, as a failing Windows function does.
void setLastError(uint32_t error);

// Ends the run at once with a host failure status and a one-line message on standard
// error, after noting it in the journal. Nothing more of the machine changes.
[[noreturn]] void abandonRun(int status, const std::string& message);

}  // namespace hosted
