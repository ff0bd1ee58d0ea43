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

  // Writes the differences from `before` to `after` in the order of their Windows
  // paths, one a line: "added", "removed" or "changed" and the path; a folder's path
  // ends in "\", a link shows "-> " and its target (a junction's marked so), a
  // changed file its sizes.
  // "Files: no change" when nothing changed.
  static void writeChanges(std::ostream& out, const Snapshot& before, const Snapshot& after);

  // Writes where the run left its registry backup and its result, the two files it
  // writes into the temporary folder `tempFolder` (a Windows path), as
  // "Registry backup: PATH" and "Result: PATH"; "none" for a file the run did not
  // write (no backup when the run changed no key or value). `dryRun` adds that the
  // files went with the scratch copy.
  static void writeRunFiles(std::ostream& out, const Snapshot& before, const Snapshot& after,
                            const std::string& tempFolder, bool dryRun);

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

// Writes the journal's events from byte `offset` on (the events of one run), one a
// line: the event's name, then its fields as name=value, texts in double quotes as
// they stand but for line breaks and tabs (\n, \r, \t). A line that is not JSON is
// written as it stands.
void writeJournalSince(std::ostream& out, const std::filesystem::path& journal, std::uintmax_t offset);

}  // namespace hosted
