// What the layer shares with its Windows functions: the thread's last error and the end of a
// run that a prompt nobody can answer forces.
#pragma once

#include <cstdint>
#include <string>

namespace hosted {

// Sets the calling thread's last error, as a failing Windows function does.
void setLastError(uint32_t error);

// The calling thread's last error.
uint32_t lastError();

// Ends the run at once with a host failure status and a one-line message on standard
// error, after noting it in the journal. Nothing more of the machine changes.
[[noreturn]] void abandonRun(int status, const std::string& message);

}  // namespace hosted
