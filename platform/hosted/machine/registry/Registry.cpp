#include "platform/hosted/machine/registry/Registry.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/hosted/machine/Changes.h"
#include "platform/hosted/machine/Lock.h"
#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Text.h"

namespace hosted::registry {

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kRegistryIoFailed = 1016;  // ERROR_REGISTRY_IO_FAILED

uint64_t checksum(std::string_view text) {
  uint64_t hash = 1469598103934665603ull;  // FNV-1a
  for (char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return hash;
}

void appendHex(std::string& out, std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  for (char c : bytes) {
    out += kDigits[static_cast<unsigned char>(c) >> 4];
    out += kDigits[static_cast<unsigned char>(c) & 0xF];
  }
  if (bytes.empty()) out += '-';
}

bool readHex(std::string_view text, std::string& out) {
  out.clear();
  if (text == "-") return true;
  if (text.size() % 2 != 0) return false;
  auto digit = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  for (size_t i = 0; i < text.size(); i += 2) {
    int high = digit(text[i]);
    int low = digit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    out += static_cast<char>(high * 16 + low);
  }
  return true;
}

bool writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

// Makes a new, renamed or removed directory entry durable.
void syncDirectory(const fs::path& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Whether a name can stand in registry.reg and be read back: a line break cannot, and
// the file is UTF-8 text.
bool writableName(std::string_view name) {
  return name.find_first_of("\r\n") == std::string_view::npos && isValidUtf8(name);
}

// Keys every Windows computer has; present in memory without being written out.
void addStandardKeys(Key& root, const std::string& userSid) {
  auto ensure = [&](const KeyPath& path) {
    Key* key = &root;
    for (const auto& name : path) {
      key->expand();
      auto& slot = key->subkeys[asciiUpper(name)];
      if (!slot) {
        slot = std::make_shared<Key>();
        slot->name = name;
      }
      key = slot.get();
    }
  };
  ensure({kLocalMachine, "SOFTWARE", "Classes"});
  ensure({kLocalMachine, "SYSTEM"});
  ensure({kUsers, userSid});
  ensure({kCurrentConfig});
}

// registry.reg read in place: mapped, so that the pages the reading has passed can be
// let go of (a large file is then never held whole beside the keys made from it).
// Where the file cannot be mapped, it is read into memory.
class MappedFile {
 public:
  // Null when the file does not exist. Throws HostFailure (65) as readMachineFile does.
  static std::unique_ptr<MappedFile> open(const fs::path& file) {
    int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
      if (errno == ENOENT) return nullptr;
      throw HostFailure{kExitDataError, file.string() + ": cannot be read: " + std::strerror(errno)};
    }
    struct stat info {};
    bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    auto mapped = std::unique_ptr<MappedFile>(new MappedFile);
    if (regular && info.st_size > 0) {
      void* data = ::mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
      if (data != MAP_FAILED) {
        mapped->data_ = static_cast<const char*>(data);
        mapped->size_ = static_cast<size_t>(info.st_size);
      }
    }
    ::close(fd);
    if (regular && info.st_size > 0 && !mapped->data_) {
      std::optional<std::string> content = readMachineFile(file);
      if (!content) return nullptr;
      mapped->copy_ = std::move(*content);
    } else if (!regular) {
      readMachineFile(file);  // refuses it, as for every machine file
    }
    return mapped;
  }

  ~MappedFile() {
    if (data_) ::munmap(const_cast<char*>(data_), size_);
  }

  std::string_view text() const { return data_ ? std::string_view(data_, size_) : std::string_view(copy_); }
  bool inPlace() const { return data_ != nullptr; }

  // The pages before `offset` leave the process's memory; read again, they come back
  // from the file. An offset before the last one starts a new pass over the text.
  void passed(size_t offset) {
    static const size_t kPage = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    if (offset < released_) released_ = 0;
    size_t end = std::min(offset, size_) / kPage * kPage;
    if (!data_ || end < released_ + (2u << 20)) return;
    ::madvise(const_cast<char*>(data_) + released_, end - released_, MADV_DONTNEED);
    released_ = end;
  }

 private:
  MappedFile() = default;
  const char* data_ = nullptr;
  size_t size_ = 0;
  size_t released_ = 0;
  std::string copy_;
};

}  // namespace

Registry::Registry(fs::path file, std::string newline) : file_(std::move(file)), newline_(std::move(newline)) {}

Registry::~Registry() {
  if (logFd_ >= 0) ::close(logFd_);
}

std::unique_ptr<Registry> Registry::load(const fs::path& dir, const std::string& userSid) {
  fs::path file = dir / "registry.reg";
  std::shared_ptr<MappedFile> content = MappedFile::open(file);
  bool exists = content != nullptr;
  std::string_view bytes = content ? content->text() : std::string_view();
  // Keep the line ends the file came with; the registry editor's are CR LF.
  std::string newline = "\r\n";
  bool utf16 = bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
  if (exists) {
    size_t lf = bytes.find('\n');
    if (!utf16 && lf != std::string::npos && (lf == 0 || bytes[lf - 1] != '\r')) newline = "\n";
  }
  std::unique_ptr<Registry> registry(new Registry(file, newline));
  if (exists) {
    if (content->inPlace() && !utf16) {
      // A file the fold wrote is only indexed; its mapping stays while keys read from it.
      // A byte-order mark before it changes nothing.
      size_t mark = bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
      std::string_view text = bytes.substr(mark);
      if (indexRegText(text, newline, content, registry->root_) ||
          indexRegText(text, newline, content, registry->root_, kIndexSplitAbove, true)) {
        content.reset();
        bytes = {};
      } else {
        content->passed(bytes.size());  // what the indexing read goes before the tree is built
        parseRegTextLazily(text, file.string(), userSid, registry->root_,
                           [&content, mark](size_t offset) { content->passed(mark + offset); });
      }
    } else {
      // UTF-16LE, as the registry editor saves it: made UTF-8 once, then indexed as a file
      // the fold wrote when it is in that form, as a file exported whole usually is.
      auto text = std::make_shared<std::string>(decodeRegText(bytes, file.string()));
      content.reset();
      bytes = {};
      if (!indexRegText(*text, newline, text, registry->root_) &&
          !indexRegText(*text, newline, text, registry->root_, kIndexSplitAbove, true)) {
        parseRegTextLazily(*text, file.string(), userSid, registry->root_, [](size_t) {});
      }
    }
  }
  content.reset();
  addStandardKeys(registry->root_, userSid);

  std::optional<std::string> logContent = readMachineFile(registry->logFile());
  if (!logContent) return registry;
  const std::string& log = *logContent;
  size_t good = 0;
  while (good < log.size()) {
    size_t end = log.find('\n', good);
    if (end == std::string::npos) break;
    Change change;
    if (!decode(std::string_view(log).substr(good, end - good), change)) break;
    // A whole line this layer would not have written (a key outside the stored roots,
    // deeper than Windows allows, or a name registry.reg cannot hold) is passed over, so
    // that the fold always writes a file that loads.
    if (representable(change)) registry->apply(change);
    good = end + 1;
  }
  registry->dirty_ = true;
  if (!registry->fold()) {
    // The log stays the record of every change; new changes go after its last whole line.
    if (::truncate(registry->logFile().c_str(), static_cast<off_t>(good)) != 0) {
      throw HostFailure{kExitDataError, registry->logFile().string() + ": cannot be repaired"};
    }
  }
  return registry;
}

bool Registry::representable(const Change& change) {
  if (change.path.empty() || change.path.size() - 1 > kMaxKeyDepth) return false;
  std::string rootName = asciiUpper(change.path[0]);
  if (rootName != kLocalMachine && rootName != kUsers && rootName != kCurrentConfig) return false;
  for (const auto& name : change.path) {
    if (name.empty() || !writableName(name)) return false;
  }
  return writableName(change.name);
}

std::shared_ptr<Key> Registry::find(const KeyPath& path) const {
  if (path.empty()) return nullptr;
  std::shared_ptr<Key> key = root_.findSubkey(path[0]);
  for (size_t i = 1; key && i < path.size(); ++i) key = key->findSubkey(path[i]);
  if (key) {
    key->expand();
    key->loadValues();
  }
  return key;
}

void Registry::apply(const Change& change) {
  switch (change.op) {
    case 'K': {
      Key* key = &root_;
      for (size_t i = 0; i < change.path.size(); ++i) {
        key->expand();
        auto& slot = key->subkeys[asciiUpper(change.path[i])];
        if (!slot) {
          slot = std::make_shared<Key>();
          slot->name = change.path[i];
          slot->explicitKey = i > 0;
        }
        key = slot.get();
      }
      break;
    }
    case 'D': {
      if (change.path.size() < 2) break;
      KeyPath parentPath(change.path.begin(), change.path.end() - 1);
      std::shared_ptr<Key> parent = find(parentPath);
      if (!parent) break;
      auto it = parent->subkeys.find(asciiUpper(change.path.back()));
      if (it == parent->subkeys.end()) break;
      it->second->markDeleted();
      parent->subkeys.erase(it);
      // A key that stood only for the path to its last subkey still exists on its own.
      if (parentPath.size() > 1 && parent->subkeys.empty()) parent->explicitKey = true;
      break;
    }
    case 'V': {
      std::shared_ptr<Key> key = find(change.path);
      if (!key) break;
      key->explicitKey = true;
      key->editValues();
      if (Value* value = key->findValue(change.name)) {
        value->type = change.type;
        value->data = change.data;
      } else {
        key->values.push_back(Value{change.name, change.type, change.data});
      }
      break;
    }
    case 'X': {
      std::shared_ptr<Key> key = find(change.path);
      if (!key) break;
      key->editValues();
      for (auto it = key->values.begin(); it != key->values.end(); ++it) {
        if (equalsIgnoringAsciiCase(it->name, change.name)) {
          key->values.erase(it);
          break;
        }
      }
      break;
    }
    default:
      break;
  }
}

std::string Registry::encode(const Change& change) {
  std::string payload;
  payload += change.op;
  payload += ' ';
  appendHex(payload, joinKeyPath(change.path));
  payload += ' ';
  appendHex(payload, change.name);
  payload += ' ';
  payload += std::to_string(change.type);
  payload += ' ';
  appendHex(payload, std::string_view(reinterpret_cast<const char*>(change.data.data()), change.data.size()));
  char sum[20];
  std::snprintf(sum, sizeof sum, "%016llx ", static_cast<unsigned long long>(checksum(payload)));
  return sum + payload + "\n";
}

bool Registry::decode(std::string_view line, Change& change) {
  if (line.size() < 18 || line[16] != ' ') return false;
  std::string_view payload = line.substr(17);
  char sum[20];
  std::snprintf(sum, sizeof sum, "%016llx", static_cast<unsigned long long>(checksum(payload)));
  if (line.substr(0, 16) != sum) return false;
  std::vector<std::string_view> fields;
  size_t start = 0;
  while (true) {
    size_t end = payload.find(' ', start);
    fields.push_back(payload.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  if (fields.size() != 5 || fields[0].size() != 1) return false;
  change.op = fields[0][0];
  std::string path, data;
  if (!readHex(fields[1], path) || !readHex(fields[2], change.name) || !readHex(fields[4], data)) return false;
  change.path = splitKeyPath(path);
  if (fields[3].empty() || fields[3].size() > 10) return false;
  uint64_t type = 0;
  for (char c : fields[3]) {
    if (c < '0' || c > '9') return false;
    type = type * 10 + static_cast<uint64_t>(c - '0');
  }
  if (type > 0xFFFFFFFFull) return false;
  change.type = static_cast<uint32_t>(type);
  change.data.assign(data.begin(), data.end());
  return true;
}

uint32_t Registry::record(const Change& change) {
  beforeChange();
  if (logFd_ < 0) {
    logNew_ = !fs::exists(logFile());
    logFd_ = ::open(logFile().c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (logFd_ < 0) return kRegistryIoFailed;
  }
  // Once written, the line is the kernel's to keep: it outlives this process however it
  // ends. Only flush() and the fold wait for the disk.
  std::string line = encode(change);
  if (!writeAll(logFd_, line)) {
    // A partial line fails its checksum on replay; cut it off so later lines count.
    struct stat info {};
    if (::fstat(logFd_, &info) == 0 && info.st_size >= static_cast<off_t>(line.size())) {
      (void)::ftruncate(logFd_, info.st_size - static_cast<off_t>(line.size()));
    }
    return kRegistryIoFailed;
  }
  apply(change);
  dirty_ = true;
  return 0;
}

uint32_t Registry::createKey(const KeyPath& path, std::shared_ptr<Key>* key, bool* created) {
  std::shared_ptr<Key> existing = find(path);
  if (created) *created = !existing;
  if (!existing) {
    if (uint32_t error = record(Change{'K', path, {}, 0, {}})) return error;
    existing = find(path);
  }
  if (key) *key = existing;
  return 0;
}

uint32_t Registry::deleteKey(const KeyPath& path) { return record(Change{'D', path, {}, 0, {}}); }

uint32_t Registry::setValue(const KeyPath& path, const std::string& name, uint32_t type, std::vector<uint8_t> data) {
  return record(Change{'V', path, name, type, std::move(data)});
}

uint32_t Registry::deleteValue(const KeyPath& path, const std::string& name) {
  return record(Change{'X', path, name, 0, {}});
}

uint32_t Registry::flush() {
  if (logFd_ < 0) return 0;
  if (::fdatasync(logFd_) != 0) return kRegistryIoFailed;
  if (logNew_) {
    syncDirectory(file_.parent_path());
    logNew_ = false;
  }
  return 0;
}

bool Registry::fold() {
  if (!dirty_) return true;
  fs::path temp;
  int fd = createTempBeside(file_, temp);
  if (fd < 0) {
    flush();
    return false;
  }
  // Written in large pieces straight from the tree: keys the run did not change are
  // copied as they stood in the text that was read.
  // The disk starts on each few megabytes as soon as they are written, so that the fsync
  // at the end waits only for the last of them.
  constexpr size_t kFlushStep = 8u << 20;
  off_t written = 0, flushed = 0;
  auto sink = [&](std::string_view piece) {
    while (!piece.empty()) {
      std::string_view part = piece.substr(0, kFlushStep);
      if (!writeAll(fd, part)) return false;
      written += static_cast<off_t>(part.size());
      piece.remove_prefix(part.size());
      if (written - flushed >= static_cast<off_t>(kFlushStep)) {
        (void)::sync_file_range(fd, flushed, written - flushed, SYNC_FILE_RANGE_WRITE);
        flushed = written;
      }
    }
    return true;
  };
  bool ok = writeRegFile(root_, newline_, 1u << 20, sink) && ::fsync(fd) == 0;
  ::close(fd);
  if (ok) beforeChange();
  if (!ok || ::rename(temp.c_str(), file_.c_str()) != 0) {
    ::unlink(temp.c_str());
    flush();  // the log stays the durable record
    return false;
  }
  syncDirectory(file_.parent_path());
  if (logFd_ >= 0) {
    ::close(logFd_);
    logFd_ = -1;
  }
  // The log's removal need not reach the disk: replayed onto the file it was folded
  // into, it changes nothing.
  ::unlink(logFile().c_str());
  logNew_ = false;
  dirty_ = false;
  return true;
}

}  // namespace hosted::registry
