// What a run changed on a machine: taken as a snapshot before and after the run.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>

namespace hosted {

class Snapshot {
 public:
  // Reads the state of the machine directory: every file and link under drives/.
  static Snapshot take(const std::filesystem::path& machineDir);

  // Writes the differences from `before` to `after`, by Windows path.
  static void writeChanges(std::ostream& out, const Snapshot& before, const Snapshot& after);

 private:
  struct Entry {
    std::string kind;  // "file", "link" or "directory"
    std::uintmax_t size = 0;
    uint64_t digest = 0;
    std::string linkText;
    bool operator==(const Entry&) const = default;
  };
  std::map<std::string, Entry> files_;  // Windows path to its state
};

// Writes the journal lines from byte `offset` on: the events of one run.
void writeJournalSince(std::ostream& out, const std::filesystem::path& journal, std::uintmax_t offset);

}  // namespace hosted
