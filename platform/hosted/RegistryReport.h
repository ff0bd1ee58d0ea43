// What a run changed in the registry, for the host's --report: a snapshot of every
// key and value before the run and after it.
#pragma once

#include <map>
#include <ostream>
#include <string>

#include "platform/hosted/machine/registry/Registry.h"

namespace hosted::registry {

class RegistrySnapshot {
 public:
  static RegistrySnapshot take(const Registry& registry);

  // Writes the keys and values added, removed or changed from `before` to `after`.
  static void writeChanges(std::ostream& out, const RegistrySnapshot& before, const RegistrySnapshot& after);

 private:
  struct KeyState {
    std::string path;
    std::map<std::string, Value> values;  // by upper-cased name
  };
  std::map<std::string, KeyState> keys_;  // by upper-cased path
};

}  // namespace hosted::registry
