// The machine's registry: registry.reg loaded into memory, with every change handed to
// the kernel before the call that makes it returns.
//
// A change is appended to registry.reg.log (one checksummed line) and applied in
// memory. Written, it outlives the process however it ends, killed included; like a
// Windows hive, the log reaches the disk lazily, and only flush() (RegFlushKey) and the
// fold wait for it, so a crash of the whole computer may lose what came after the last
// of them. registry.reg itself is rewritten, durably, only when the log is folded into
// it (written to a temporary file that is synced and renamed over it), which the host
// does when a run ends and which load() does for a log a crashed run left.
// A record cut short by a crash fails its checksum and is dropped with everything
// after it: its call never returned. Replaying a log onto a registry.reg it was
// already folded into changes nothing, so a crash between the rename and the
// removal of the log loses and repeats nothing.
//
// The load checks the whole file but reads the values of a key only when they are asked
// for (find() reads them), and the fold writes each key whose values did not change with
// its value lines as they stood in the file: a run on a large registry pays for one
// check of the file, its tree of keys and one rewrite, not for every value in it. A file
// in the form the fold writes (as every run leaves it) does not even get its tree built:
// the keys below a key are made when find() or createKey() reaches it, and the fold
// copies the stretches of the file nothing reached as they stood. Blocks in that form
// but in any other order are indexed too, the index sorted into enumeration order.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/hosted/machine/registry/RegTree.h"

namespace hosted::registry {

class Registry {
 public:
  // Reads DIR/registry.reg (missing: an empty registry) and replays DIR/registry.reg.log
  // if a run left one, folding it in. Throws hosted::HostFailure (65, "<file>:<line>:
  // <what>") for a malformed file; the directory is then unchanged. `userSid` is the
  // key under HKEY_USERS that HKEY_CURRENT_USER stands for.
  static std::unique_ptr<Registry> load(const std::filesystem::path& dir, const std::string& userSid);

  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;
  ~Registry();

  // The key at a path of real key names (root first), or null; its values are read.
  std::shared_ptr<Key> find(const KeyPath& path) const;
  // The tree; its subkeys are the stored roots.
  const Key& root() const { return root_; }

  // The changes. Each returns 0, or ERROR_REGISTRY_IO_FAILED (1016) when the change
  // could not be written to the log; the registry is then left as it was.
  //
  // Creates the key and every missing key above it, naming new keys as given.
  // `created` tells whether the last key is new.
  uint32_t createKey(const KeyPath& path, std::shared_ptr<Key>* key = nullptr, bool* created = nullptr);
  // Deletes the key with everything below it (callers check for subkeys).
  uint32_t deleteKey(const KeyPath& path);
  uint32_t setValue(const KeyPath& path, const std::string& name, uint32_t type, std::vector<uint8_t> data);
  uint32_t deleteValue(const KeyPath& path, const std::string& name);

  // Waits until every change made so far is on the disk: 0, or ERROR_REGISTRY_IO_FAILED.
  uint32_t flush();

  // Writes the registry into registry.reg durably and removes the log, if anything
  // changed since registry.reg was written. Returns false (leaving the log, which still
  // holds every change, flushed) when the file cannot be written.
  bool fold();

  const std::filesystem::path& file() const { return file_; }
  std::filesystem::path logFile() const { return file_.string() + ".log"; }

 private:
  Registry(std::filesystem::path file, std::string newline);

  struct Change {
    char op;  // 'K' create key, 'D' delete key, 'V' set value, 'X' delete value
    KeyPath path;
    std::string name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
  };
  void apply(const Change& change);
  // Whether registry.reg can hold the change's keys and names.
  static bool representable(const Change& change);
  uint32_t record(const Change& change);
  static std::string encode(const Change& change);
  static bool decode(std::string_view line, Change& change);

  std::filesystem::path file_;
  std::string newline_;
  Key root_;
  int logFd_ = -1;
  bool logNew_ = false;  // the log's directory entry is not yet known to be on the disk
  bool dirty_ = false;  // the log holds changes registry.reg lacks
};

}  // namespace hosted::registry
