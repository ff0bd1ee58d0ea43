#include "platform/hosted/machine/Machine.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/hosted/machine/Changes.h"
#include "platform/hosted/machine/Files.h"
#include "platform/hosted/machine/JsonLines.h"
#include "platform/hosted/machine/Paths.h"
#include "platform/hosted/machine/Text.h"
#include "platform/hosted/machine/registry/Registry.h"

namespace hosted {

namespace {

using Json = nlohmann::json;

// The registry unloadForExit() leaves to the end of the process, kept reachable so that
// a leak checker at exit does not count it.
registry::Registry* registryLeftForExit = nullptr;

std::unique_ptr<Machine>& loadedMachine() {
  static std::unique_ptr<Machine> instance;
  return instance;
}

const std::map<std::string, std::optional<std::string>>& defaultFolders() {
  static const std::map<std::string, std::optional<std::string>> folders = {
      {"commonAppData", "C:\\ProgramData"},
      {"system", "C:\\Windows\\System32"},
      {"systemWow64", "C:\\Windows\\SysWOW64"},
      {"windows", "C:\\Windows"},
      {"programFilesCommon", "C:\\Program Files\\Common Files"},
      {"programFilesCommonX86", "C:\\Program Files (x86)\\Common Files"},
      {"commonPrograms", "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"},
      {"temp", "C:\\Users\\user\\AppData\\Local\\Temp"},
  };
  return folders;
}

// A run ended while it rewrote registry.reg or machine.json leaves the new text beside it
// under a name of its own ("registry.reg.tmp-" and six characters); no run uses it again.
void removeStaleTempFiles(const std::filesystem::path& root) {
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(root, ec); !ec && it != std::filesystem::directory_iterator();
       it.increment(ec)) {
    std::string name = it->path().filename().string();
    for (const char* prefix : {"registry.reg.tmp-", "machine.json.tmp-"}) {
      size_t length = std::strlen(prefix);
      if (name.size() == length + 6 && name.compare(0, length, prefix) == 0 &&
          it->symlink_status(ec).type() != std::filesystem::file_type::directory) {
        ::unlink(it->path().c_str());
      }
    }
  }
}

// machine.json's text and name, for messages that name the line of a value.
struct Source {
  const std::string& text;
  const std::string& file;
};

// Invalid data at the value `path` names.
[[noreturn]] void invalid(const Source& source, const std::vector<std::string>& path, const std::string& what) {
  throw HostFailure{kExitDataError,
                    source.file + ":" + std::to_string(jsonLine(source.text, path)) + ": " + what};
}

// Line of a byte offset in the text, counting from 1.
size_t lineOf(const std::string& text, size_t offset) {
  size_t line = 1;
  for (size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n') ++line;
  }
  return line;
}

const Json* member(const Json& object, const char* name) {
  auto it = object.find(name);
  return it == object.end() ? nullptr : &*it;
}

std::string stringField(const Json& object, const char* section, const char* name, const std::string& fallback,
                        const Source& source) {
  const Json* value = member(object, name);
  if (!value) return fallback;
  if (!value->is_string()) invalid(source, {section, name}, std::string(section) + "." + name + " must be a string");
  return value->get<std::string>();
}

const Json& objectField(const Json& object, const char* name, const Source& source) {
  static const Json empty = Json::object();
  const Json* value = member(object, name);
  if (!value) return empty;
  if (!value->is_object()) invalid(source, {name}, std::string(name) + " must be an object");
  return *value;
}

// A full path Windows could hold: a drive, then no character a file name cannot have.
// A quote in the uninstaller's own image would split its command line in the wrong
// places, and a NUL would cut it short.
bool isWindowsAbsolute(const std::string& path) {
  if (!(path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
        (path[2] == '\\' || path[2] == '/'))) {
    return false;
  }
  for (size_t i = 2; i < path.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (c < 0x20 || c == '"' || c == '<' || c == '>' || c == '|' || c == '?' || c == '*' || c == ':') return false;
  }
  return true;
}

// drives/ and its drive folders are real folders: the layer creates the system folders
// in them and resolves every Windows path below them, and a host link among them would
// take that outside the machine directory. (Links further down are Windows links, which
// the layer resolves itself.)
void checkDrives(const std::filesystem::path& drives) {
  namespace fs = std::filesystem;
  std::error_code ec;
  auto status = fs::symlink_status(drives, ec);
  if (!fs::exists(status)) return;
  if (!fs::is_directory(status)) {
    throw HostFailure{kExitDataError, drives.string() + ": must be a directory, not a link or a file"};
  }
  for (fs::directory_iterator it(drives, ec), end; !ec && it != end; it.increment(ec)) {
    auto entry = it->symlink_status(ec);
    if (fs::is_symlink(entry)) {
      throw HostFailure{kExitDataError, it->path().string() + ": a drive folder must be a directory, not a link"};
    }
  }
  if (ec) throw HostFailure{kExitDataError, drives.string() + ": cannot be read"};
}

}  // namespace

std::optional<std::string> Facts::folder(const std::string& name) const {
  auto it = folders.find(name);
  if (it != folders.end()) return it->second;
  if (name == "systemWow64" && architecture == "x86") return std::nullopt;
  auto def = defaultFolders().find(name);
  return def == defaultFolders().end() ? std::nullopt : def->second;
}

Facts parseFacts(const std::string& text, const std::string& file) {
  Json doc;
  try {
    doc = Json::parse(text);
  } catch (const Json::parse_error& e) {
    std::string what = e.what();
    // nlohmann's own text names its internal id first; keep the part after it.
    auto pos = what.find("] ");
    what = pos == std::string::npos ? what : what.substr(pos + 2);
    throw HostFailure{kExitDataError,
                      file + ":" + std::to_string(lineOf(text, e.byte == 0 ? 0 : e.byte - 1)) + ": " + what};
  } catch (const Json::exception& e) {
    // A number beyond any range, say; nlohmann quotes the token, which finds its line.
    std::string what = e.what();
    auto pos = what.find("] ");
    what = pos == std::string::npos ? what : what.substr(pos + 2);
    std::string where = file;
    auto open = what.find('\'');
    auto close = open == std::string::npos ? open : what.find('\'', open + 1);
    if (close != std::string::npos) {
      auto at = text.find(what.substr(open + 1, close - open - 1));
      if (at != std::string::npos) where += ":" + std::to_string(lineOf(text, at));
    }
    throw HostFailure{kExitDataError, where + ": " + what};
  }
  const Source source{text, file};
  if (!doc.is_object()) invalid(source, {}, "the top level must be an object");

  Facts facts;
  const Json& os = objectField(doc, "os", source);
  std::string version = stringField(os, "os", "version", "10.0", source);
  int major = 0;
  int minor = 0;
  char rest = 0;
  if (std::sscanf(version.c_str(), "%d.%d%c", &major, &minor, &rest) != 2 || major < 0 || minor < 0) {
    invalid(source, {"os", "version"}, "os.version must be major.minor, as \"10.0\"");
  }
  facts.osMajor = major;
  facts.osMinor = minor;
  facts.architecture = stringField(os, "os", "architecture", "x64", source);
  if (facts.architecture != "x64" && facts.architecture != "x86" && facts.architecture != "ia64" &&
      facts.architecture != "arm64") {
    invalid(source, {"os", "architecture"}, "os.architecture must be \"x64\", \"x86\", \"ia64\" or \"arm64\"");
  }

  const Json& process = objectField(doc, "process", source);
  if (const Json* bitness = member(process, "bitness")) {
    if (!bitness->is_number_integer() || (*bitness != 32 && *bitness != 64)) {
      invalid(source, {"process", "bitness"}, "process.bitness must be 32 or 64");
    }
    facts.bitness = bitness->get<int>();
  }
  if (facts.bitness == 64 && facts.architecture == "x86") {
    invalid(source, {"process", "bitness"}, "process.bitness 64 needs a 64-bit os.architecture");
  }
  if (const Json* pid = member(process, "pid")) {
    if (!pid->is_number_unsigned() || pid->get<uint64_t>() == 0 || pid->get<uint64_t>() > 0xFFFFFFFFu) {
      invalid(source, {"process", "pid"}, "process.pid must be a positive 32-bit number");
    }
    facts.pid = pid->get<uint32_t>();
  }
  facts.image = stringField(process, "process", "image", facts.image, source);
  if (!isWindowsAbsolute(facts.image)) invalid(source, {"process", "image"}, "process.image must be a full Windows path");
  facts.currentDirectory = stringField(process, "process", "currentDirectory", facts.currentDirectory, source);
  if (!isWindowsAbsolute(facts.currentDirectory)) {
    invalid(source, {"process", "currentDirectory"}, "process.currentDirectory must be a full Windows path");
  }

  const Json& user = objectField(doc, "user", source);
  facts.userSid = stringField(user, "user", "sid", facts.userSid, source);
  if (facts.userSid.rfind("S-1-", 0) != 0) {
    invalid(source, {"user", "sid"}, "user.sid must be a SID such as S-1-5-21-...");
  }
  const Json& locale = objectField(doc, "locale", source);
  facts.country = stringField(locale, "locale", "country", facts.country, source);
  facts.uiLanguage = stringField(locale, "locale", "uiLanguage", facts.uiLanguage, source);
  if (const Json* codePage = member(locale, "codePage")) {
    if (!codePage->is_number_unsigned() || !isSupportedCodePage(codePage->get<uint64_t>())) {
      invalid(source, {"locale", "codePage"}, "locale.codePage must be one of " + supportedCodePages());
    }
    facts.codePage = codePage->get<unsigned>();
  }
  if (const Json* codePage = member(locale, "threadCodePage")) {
    if (!codePage->is_number_unsigned() || !isSupportedCodePage(codePage->get<uint64_t>())) {
      invalid(source, {"locale", "threadCodePage"}, "locale.threadCodePage must be one of " + supportedCodePages());
    }
    facts.threadCodePage = codePage->get<unsigned>();
  }

  for (const auto& [name, value] : objectField(doc, "folders", source).items()) {
    if (value.is_null()) {
      facts.folders[name] = std::nullopt;
    } else if (value.is_string() && isWindowsAbsolute(value.get<std::string>())) {
      facts.folders[name] = value.get<std::string>();
    } else {
      invalid(source, {"folders", name}, "folders." + name + " must be a full Windows path or null");
    }
  }
  for (const auto& [name, value] : objectField(doc, "environment", source).items()) {
    if (!value.is_string()) invalid(source, {"environment", name}, "environment." + name + " must be a string");
    facts.environment[name] = value.get<std::string>();
  }
  return facts;
}

std::optional<std::string> readMachineFile(const std::filesystem::path& file) {
  int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return std::nullopt;
    throw HostFailure{kExitDataError, file.string() + ": cannot be read: " + std::strerror(errno)};
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    throw HostFailure{kExitDataError, file.string() + ": must be a regular file"};
  }
  std::string text;
  text.reserve(static_cast<size_t>(info.st_size));
  char buffer[65536];
  while (true) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int error = errno;
      ::close(fd);
      throw HostFailure{kExitDataError, file.string() + ": cannot be read: " + std::strerror(error)};
    }
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return text;
}

Machine::Machine(DirectoryLock lock, std::filesystem::path root, Facts facts, Session session,
                 ProcessTable processes)
    : lock_(std::move(lock)),
      root_(std::move(root)),
      facts_(std::move(facts)),
      session_(std::move(session)),
      journal_(root_ / "journal.jsonl"),
      processes_(std::move(processes)),
      sharedMemory_(root_ / "shm", journal_) {
  setAnsiCodePage(facts_.codePage);
  setThreadCodePage(facts_.threadCodePage ? facts_.threadCodePage : facts_.codePage);
}

Machine::~Machine() {
  setAnsiCodePage(1252);
  setThreadCodePage(1252);
  for (const auto& entry : crtFiles_) ::close(entry.first);
  closeLingeringFiles();
}

Machine& Machine::load(const std::filesystem::path& dir, Session session) {
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) {
    throw HostFailure{kExitDataError, dir.string() + ": no such machine directory"};
  }
  auto root = std::filesystem::absolute(dir, ec).lexically_normal();
  // A machine this process still holds would otherwise keep its own directory locked.
  loadedMachine().reset();
  forgetResolvedPaths();
  DirectoryLock lock(root);
  Facts facts;
  ProcessTable processes;
  auto file = root / "machine.json";
  if (auto text = readMachineFile(file)) {
    facts = parseFacts(*text, file.string());
    processes = ProcessTable::parse(*text, file.string());
    processes.setFile(file);
  }
  // The journal is appended to; it must be a file that takes appends.
  auto journal = root / "journal.jsonl";
  if (std::filesystem::exists(std::filesystem::symlink_status(journal, ec)) &&
      !std::filesystem::is_regular_file(std::filesystem::status(journal, ec))) {
    throw HostFailure{kExitDataError, journal.string() + ": must be a regular file"};
  }
  checkDrives(root / "drives");
  auto registry = registry::Registry::load(root, facts.userSid);
  removeStaleTempFiles(root);
  resetChangeCount();
  auto& slot = loadedMachine();
  slot.reset(new Machine(std::move(lock), root, std::move(facts), std::move(session), std::move(processes)));
  slot->registry_ = std::move(registry);
  // The files the other processes map, known by the file so that a rename keeps them.
  slot->processes_.identifyMappedFiles([](const std::string& module) -> std::optional<FileId> {
    auto resolved = resolvePath(module, nullptr, true);
    if (!resolved || !resolved->exists) return std::nullopt;
    return fileIdOf(resolved->host);
  });
  // A Windows computer always has its system folders; an empty machine directory gets them.
  for (const char* name : {"commonAppData", "system", "systemWow64", "windows", "programFilesCommon",
                           "programFilesCommonX86", "commonPrograms", "temp"}) {
    if (name == std::string("programFilesCommonX86") && !slot->facts_.runsX64()) continue;
    if (auto path = slot->facts_.folder(name)) createDirectories(*path);
  }
  return *slot;
}

void Machine::unload() {
  loadedMachine().reset();
  forgetResolvedPaths();
}

void Machine::unloadForExit() {
  auto& slot = loadedMachine();
  if (!slot) return;
  registryLeftForExit = slot->registry_.release();
  slot.reset();
}

bool Machine::loaded() { return loadedMachine() != nullptr; }

std::chrono::system_clock::time_point Machine::now() const {
  return std::chrono::system_clock::now() + clockOffset_;
}

Machine& machine() {
  auto& slot = loadedMachine();
  if (!slot) {
    std::fprintf(stderr, "hosted: a Windows function was called with no machine loaded\n");
    std::abort();
  }
  return *slot;
}

}  // namespace hosted
