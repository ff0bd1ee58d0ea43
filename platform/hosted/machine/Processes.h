// Kernel objects for processes and their tokens.
#pragma once

#include <cstdint>

#include "platform/hosted/machine/Handles.h"

namespace hosted {

struct ProcessObject : HandleObject {
  ProcessObject(uint32_t pid, uint32_t access) : pid(pid), access(access) {}
  uint32_t pid;
  uint32_t access;
};

struct TokenObject : HandleObject {
  explicit TokenObject(uint32_t pid) : pid(pid) {}
  uint32_t pid;
};

}  // namespace hosted
