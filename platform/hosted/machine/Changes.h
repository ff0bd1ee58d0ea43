// Every change a run makes to its machine directory passes through beforeChange() first:
// a registry change, a file or folder created, written over, renamed or deleted, a link
// made or removed, and the rewrite of registry.reg or machine.json (each at its rename).
// Appending to a file that exists (the log) is not a change of its own, nor is the
// journal, which records the run.
//
// With ZU_HOSTED_KILL_BEFORE_CHANGE=N in the host's environment when the machine is
// loaded, the process ends abruptly (SIGKILL, as a power cut or an ended task would end
// it) right before its N-th change, counted from 1 for each load. Tests use it to show
// that a run ended anywhere leaves a machine that the next run finishes.
#pragma once

#include <cstdint>

namespace hosted {

// Counts one change about to be made; ends the process when it is the one asked for.
void beforeChange();

// Starts the count again for a newly loaded machine and reads the environment variable
// (unset, empty, 0 or not a number: never end the process). Machine::load calls it.
void resetChangeCount();

// The changes counted since the last reset.
uint64_t changeCount();

}  // namespace hosted
