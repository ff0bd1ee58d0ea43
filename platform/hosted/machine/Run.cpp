// The thread's last error and the end of a run that a prompt nobody can answer forces.
#include "platform/hosted/machine/Run.h"

#include <cstdio>
#include <cstdlib>

#include <windows.h>

#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/registry/Registry.h"

namespace hosted {

namespace {
thread_local uint32_t threadLastError = ERROR_SUCCESS;
}

void setLastError(uint32_t error) { threadLastError = error; }
uint32_t lastError() { return threadLastError; }

[[noreturn]] void abandonRun(int status, const std::string& message) {
  if (Machine::loaded()) {
    machine().registry().fold();
    auto event = Journal::event("run");
    event["exitCode"] = status;
    event["hostFailure"] = message;
    machine().journal().append(event);
  }
  std::fprintf(stderr, "uninstaller: %s\n", message.c_str());
  std::fflush(nullptr);
  std::exit(status);
}

}  // namespace hosted
