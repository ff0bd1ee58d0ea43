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

  // Writes what changed from `before` to `after`, a key at a time in the order of
  // their paths: "key added", "key removed" or "key changed" with the path, and
  // beneath it its values, each marked + (added), - (removed) or ~ (changed: the old
  // value, then "->" and the new one). A removed or added key lists all its values.
  // "Registry: no change" when nothing changed.
  static void writeChanges(std::ostream& out, const RegistrySnapshot& before, const RegistrySnapshot& after);

 private:
  struct KeyState {
    std::string path;
    std::map<std::string, Value> values;  // by upper-cased name
  };
  std::map<std::string, KeyState> keys_;  // by upper-cased path
};

}  // namespace hosted::registry
