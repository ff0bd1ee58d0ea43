// The registry held in memory: a tree of keys with their values, in the form Windows
// keeps them (string data as UTF-16LE code units), and its text form, registry.reg.
//
// Names are UTF-8 and keep the case they were created with; lookups ignore ASCII case.
// Subkeys are kept in ascending order of their upper-cased names, the order in which
// RegEnumKey* lists them.
//
// A large registry.reg is read without building its values: each key keeps only its
// value lines, as text, until something asks for its values, and a key whose values did
// not change is written back with those lines as they stood. A file already in the form
// the fold writes (keys in enumeration order, one block each, as written) does not even
// get its tree of keys built: the keys below a key stay entries of an index of the
// file's headers until something reaches them, and a stretch of keys nothing reached is
// written back as the bytes it was. A file whose blocks are in that form but in another
// order gets the same index, sorted; nothing reached is then written block by block.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace hosted::registry {

struct RegIndex;

struct Value {
  std::string name;  // empty: the key's default value
  uint32_t type = 0;
  std::vector<uint8_t> data;
  bool operator==(const Value&) const = default;
};

struct Key {
  std::string name;
  // In creation order. While `valuesPending`, not read yet: call loadValues() first
  // (findValue() and Registry::find() do).
  std::vector<Value> values;
  // By upper-cased name. While `index` holds entries for the keys below, they are not
  // made yet: call expand() before looking here (findSubkey(), Registry::find() and
  // Registry::createKey() do, for the key they return and the keys on the way).
  mutable std::map<std::string, std::shared_ptr<Key>> subkeys;
  // While the values are those registry.reg held when it was read, `bodyInIndex` is set
  // and they are read from bytes [bodyOffset, bodyOffset + bodyLength) of index->text
  // (the file's text, or its value lines copied into one buffer the keys share),
  // comments between them included. Keys made or changed since are written from
  // `values`.
  uint64_t bodyOffset = 0;
  uint32_t bodyLength = 0;  // longer ranges are read at once
  // Read from a file in the fold's own form, entries [indexBegin, indexEnd) of `index`
  // are the keys below this one, not made yet; their paths have `depth` names in common
  // with this key's (its own number of names).
  mutable uint32_t indexBegin = 0;
  mutable uint32_t indexEnd = 0;
  mutable std::shared_ptr<const RegIndex> index;
  uint16_t depth = 0;
  bool valuesPending = false;
  bool bodyInIndex = false;
  // Written as a [header] of its own. Keys that only exist because a deeper key was
  // named in the file (or that every machine has) are not written, so that a file
  // made by the registry editor for one branch comes back as it was.
  bool explicitKey = false;
  // Set when the key is deleted; handles to it then report ERROR_KEY_DELETED.
  bool deleted = false;

  Key() = default;
  Key(const Key&) = default;
  Key& operator=(const Key&) = default;
  Key(Key&&) = default;
  Key& operator=(Key&&) = default;
  // Takes the keys below apart one level at a time, so that no depth of tree runs the
  // destruction out of stack.
  ~Key();

  // Makes the keys right below this one from the index, if they are not made yet.
  void expand() const;
  // Whether keys below are still entries of the index.
  bool expandPending() const { return index && indexBegin < indexEnd; }

  // Parses the key's value lines into `values` if that has not been done yet.
  void loadValues();
  // Before the values change: loads them and lets go of the text they came from.
  void editValues();
  Value* findValue(std::string_view valueName);
  std::shared_ptr<Key> findSubkey(std::string_view subkeyName) const;
  // Marks this key and every key below it deleted.
  void markDeleted();
};

// The headers of a registry.reg in the form the fold writes, in enumeration order (the
// order of the file, unless its blocks were sorted); without entries, only the text keys
// read their value lines from.
struct RegIndex {
  struct Entry {
    uint64_t start;       // of the header line
    uint32_t pathLength;  // of the path between the brackets
    uint32_t bodyLength;  // of the value lines after the header line
  };
  std::string_view text;
  std::shared_ptr<const void> owner;  // keeps `text` readable
  std::string newline;
  std::vector<Entry> entries;
  bool contiguous = true;  // the entries' blocks follow each other in the text, in order

  std::string_view path(const Entry& entry) const { return text.substr(entry.start + 1, entry.pathLength); }
  uint64_t bodyStart(const Entry& entry) const { return entry.start + entry.pathLength + 2 + newline.size(); }
  // The bytes of an entry's block: its header, value lines and the blank line after.
  std::string_view block(const Entry& entry) const {
    return text.substr(entry.start, bodyStart(entry) + entry.bodyLength + newline.size() - entry.start);
  }
  // The bytes of entries [begin, end) when contiguous: their blocks one after another.
  std::string_view stretch(uint32_t begin, uint32_t end) const {
    uint64_t from = entries[begin].start;
    uint64_t to = end < entries.size() ? entries[end].start : text.size();
    return text.substr(from, to - from);
  }
};

// A path of key names from a root: {"HKEY_LOCAL_MACHINE", "SOFTWARE", "Classes"}.
using KeyPath = std::vector<std::string>;

// The roots registry.reg may name that are stored as trees of their own; the others
// (HKEY_CLASSES_ROOT, HKEY_CURRENT_USER) are aliases of keys under these.
inline constexpr const char* kLocalMachine = "HKEY_LOCAL_MACHINE";
inline constexpr const char* kUsers = "HKEY_USERS";
inline constexpr const char* kCurrentConfig = "HKEY_CURRENT_CONFIG";

// How many levels of keys a root may have below it, as on Windows.
inline constexpr size_t kMaxKeyDepth = 512;

// "A\B\C" split at backslashes.
std::vector<std::string> splitKeyPath(std::string_view path);
std::string joinKeyPath(const KeyPath& path);

// The bytes of registry.reg as UTF-8 text without a byte-order mark: UTF-16LE (with its
// mark) converted, a UTF-8 mark dropped. Throws hosted::HostFailure (65) as below for
// text that is not UTF-8.
void decodeRegFile(std::string& bytes, const std::string& file);
std::string decodeRegText(std::string_view bytes, const std::string& file);

// Parses the text of registry.reg (UTF-8, optionally with a byte-order mark, or
// UTF-16LE with one) into `root`, whose subkeys are the stored roots. `userSid` says
// which key of HKEY_USERS a [HKEY_CURRENT_USER\...] header names. Throws
// hosted::HostFailure (65) with "<file>:<line>: <what>" for malformed text.
void parseRegFile(std::string_view bytes, const std::string& file, const std::string& userSid, Key& root);
// The same, checking every line as thoroughly but leaving each key's values unread: the
// keys share one copy of their value lines (the file's text less its headers) and read
// their values from it when asked. A key named by two headers has its values read at once.
void parseRegFileLazily(std::string bytes, const std::string& file, const std::string& userSid, Key& root);
// The same for the text of a file read in place (a mapping of it), which must be UTF-8
// without a byte-order mark; `passed(offset)` is told now and then that reading has gone
// past `offset`, so that the caller can let go of the memory before it (the text must
// stay readable, but what lies before is seldom looked at again).
void parseRegTextLazily(std::string_view text, const std::string& file, const std::string& userSid, Key& root,
                        const std::function<void(size_t)>& passed);

// Indexes `text` (UTF-8 without a byte-order mark, kept readable by `owner`) if it is
// exactly what the fold writes, with `newline` ending each line, and holds nothing the
// reading refuses; null otherwise (the caller then reads it with parseRegTextLazily,
// which also reports what is wrong). On success `root` (empty) gets the whole index as
// the keys below it, unmade. A text longer than `splitAbove` bytes is checked in two
// halves at once, on two threads; the outcome is the same either way.
// With `anyOrder`, the blocks may come in any order (as a file exported key by key, or
// put together from several, has them): they are indexed, then the index is sorted into
// enumeration order, which must hold every key once, each name of a path written as in
// every other path that shares it.
inline constexpr size_t kIndexSplitAbove = 4u << 20;
std::shared_ptr<const RegIndex> indexRegText(std::string_view text, std::string_view newline,
                                             std::shared_ptr<const void> owner, Key& root,
                                             size_t splitAbove = kIndexSplitAbove, bool anyOrder = false);

// The text the registry editor writes for the tree under `root` (UTF-8), with
// `newline` ending each line. `sizeHint` is the expected size (the file's last size).
// A key whose values are still those read is written with its value lines as they stand
// there (a last line without a line end gets `newline`).
std::string formatRegFile(const Key& root, std::string_view newline, size_t sizeHint = 0);
// The same text handed to `sink` in pieces of about `chunk` bytes, so that a large
// registry is never held twice in memory. Stops and returns false when `sink` does.
bool writeRegFile(const Key& root, std::string_view newline, size_t chunk,
                  const std::function<bool(std::string_view)>& sink);

// Whether a string value's data can be written as "text" and read back unchanged.
bool isPlainString(const std::vector<uint8_t>& data);

}  // namespace hosted::registry
