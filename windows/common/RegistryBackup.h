// The run's undo file: for every registry key and value the run deletes, changes or
// creates, the first time it does, the registry-editor text that puts it back as it
// was, in zusched-backup-<YYYYMMDD-HHMMSS>.reg in the user's temporary folder.
//
// The program's key owners (RegistryKey, CheckedRegistryKey, RegistryTreeKey) and the
// few places that call Reg* functions themselves report here where a handle points
// (opened/closed) and wrap each change in capture + commit: capture reads what is
// there before the change, commit records it once the change succeeded. Nothing here
// reads more of the registry than the key or value about to change, so it costs the
// same on any registry.
//
// The file is a "Windows Registry Editor Version 5.00" file in UTF-16LE with a
// byte-order mark, as the registry editor writes it. Values are read through the wide
// functions, so the file holds every character they have, also those the ANSI code
// page lacks. Its records are kept newest
// first, so that the editor, which applies a file from the top, undoes the changes in
// the reverse of the order they were made: a key deleted after one of its values was
// changed comes back first, and the value's old data is then written over it. The
// whole file is rewritten with each new record.
//
// Recording never changes the outcome of a run: a file that cannot be written is
// logged at ERROR once, and recording stops for the rest of the run. Reboot-time file
// operations are written by the system, not through these hooks, and are never part
// of the file.
#pragma once

#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

// What the run changed in the registry, every change counted (not only the first).
struct RegistryChangeCounts {
  int keysCreated = 0;
  int keysRemoved = 0;    // every key deleted, subkeys of a deleted tree included
  int valuesCreated = 0;
  int valuesChanged = 0;
  int valuesRemoved = 0;  // values deleted by name; those that go with their key are not counted
};

class RegistryBackup {
 public:
  // What a capture found; handed back to commit() after the change succeeded.
  struct Capture {
    enum class Kind { None, CreatedKey, Value, DeletedKey };
    Kind kind = Kind::None;
    std::string item;    // the recorded item's identity (upper-cased path)
    std::string record;  // the undo text; empty when the item is already covered
    bool existed = false;  // a value: whether it was there before
    bool removal = false;  // a value: the change deletes it
    bool same = false;     // a value: written again with the type and data it has
    int keys = 0;          // keys the change creates or deletes, for the counts
  };

  // The process's recorder. It records nothing until start().
  static RegistryBackup& instance();

  // Begins a run's recording into `directory` (a Windows path): forgets the records,
  // counts and handles of an earlier run. No file is made until the first change.
  void start(const std::string& directory);
  // Stops recording.
  void stop() { active_ = false; }
  bool active() const { return active_; }

  // Handle bookkeeping while recording: `key` was opened or created as `subkey` (may
  // be null) under `parent` with `access`. Changes under a handle of unknown origin
  // (one opened before start()) are not recorded.
  void opened(HKEY parent, const char* subkey, REGSAM access, HKEY key);
  void closed(HKEY key);

  // Captures before a change. Each returns a capture of kind None when the recorder is
  // not active or the handle's key is unknown.
  // Setting a value: given the data to be written, a rewrite of the same type and
  // data is no change and is neither recorded nor counted. `wide` says that string
  // data is UTF-16LE (written with RegSetValueExW) rather than ANSI.
  Capture beforeSetValue(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size, bool wide = false);
  Capture beforeDeleteValue(HKEY key, const char* name);
  // `view` is the KEY_WOW64_* bits the deletion works in.
  Capture beforeDeleteKey(HKEY parent, const char* subkey, REGSAM view);
  Capture beforeCreateKey(HKEY parent, const char* subkey, REGSAM access);
  // Records a capture whose change succeeded, counts the change, and rewrites the
  // file when the capture holds a new record.
  void commit(const Capture& capture);

  // The file's name (no folder), or empty while nothing was recorded or it could not
  // be made.
  std::string fileName() const;
  const RegistryChangeCounts& counts() const { return counts_; }

  // The full path a handle stands for, as the registry editor names it (the 32-bit
  // view's keys under Wow6432Node), or empty when the handle is unknown.
  std::string pathOf(HKEY key) const;

 private:
  RegistryBackup() = default;

  // What a value holds before a change (type and data, when it exists).
  Capture captureValue(HKEY key, const char* name, DWORD& type, std::vector<BYTE>& data);
  std::string locate(HKEY parent, const char* subkey, REGSAM access) const;
  bool covered(const std::string& item) const;
  void write();
  bool claimFile(const std::string& content);

  bool active_ = false;
  bool failed_ = false;
  std::string directory_;
  std::string file_;  // full Windows path once claimed
  std::map<HKEY, std::string> paths_;
  std::vector<std::string> records_;  // oldest first
  std::set<std::string> keys_;        // upper-cased keys whose whole tree is recorded
  std::set<std::string> values_;      // upper-cased "key\nname" recorded
  RegistryChangeCounts counts_;
};
