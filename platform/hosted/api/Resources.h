// The resources of the hosted executable: what a resource script puts into a Windows
// executable, in a form the layer reads. The executable defines one
// `hostedExecutableResources` (resources/hosted_resources.cpp); LoadStringA and
// DialogBoxParamA find it among the executable's exported symbols, as Windows finds
// the resource section of a module. An executable without one has no resources.
#pragma once

#include <cstddef>

namespace hosted {

struct StringResource {
  unsigned id;
  const char* text;  // ANSI code page
};

enum class ControlKind { Static, SortedListBox, Button };

struct ControlResource {
  int id;
  ControlKind kind;
};

struct DialogResource {
  int id;
  const char* caption;
  const ControlResource* controls;
  size_t controlCount;
  int linesControl;  // the control whose lines the user reads
};

struct ExecutableResources {
  const StringResource* strings;
  size_t stringCount;
  const DialogResource* dialogs;
  size_t dialogCount;
};

// The executable's resources, or null when it has none.
const ExecutableResources* executableResources();

}  // namespace hosted

// Defined by the executable (with C linkage, so that the layer can find it by name).
extern "C" const hosted::ExecutableResources hostedExecutableResources;
