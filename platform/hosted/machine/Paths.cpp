#include "platform/hosted/machine/Paths.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <system_error>

#include <windef.h>
#include <winerror.h>

#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Text.h"

namespace hosted {

namespace {

namespace fs = std::filesystem;

constexpr int kMaxLinkDepth = 32;

struct Normalised {
  char drive = 'C';
  std::vector<std::string> components;
};

bool startsWithDrive(std::string_view text) {
  return text.size() >= 2 && std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':';
}

// Turns any Windows path form into a drive and its components. `base` is the
// directory relative paths start from.
std::optional<Normalised> normalise(std::string text, const std::string& base, uint32_t* error) {
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  if (text.rfind("\\\\?\\", 0) == 0 || text.rfind("\\??\\", 0) == 0) text.erase(0, 4);
  if (text.empty()) {
    *error = ERROR_PATH_NOT_FOUND;
    return std::nullopt;
  }
  if (text.rfind("\\\\", 0) == 0) {  // network paths do not exist on this machine
    *error = ERROR_BAD_PATHNAME;
    return std::nullopt;
  }
  for (char c : text) {
    if (c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*' ||
        (static_cast<unsigned char>(c) < 32)) {
      *error = ERROR_INVALID_NAME;
      return std::nullopt;
    }
  }
  std::string full;
  if (startsWithDrive(text)) {
    std::string rest = text.substr(2);
    if (rest.find(':') != std::string::npos) {
      *error = ERROR_INVALID_NAME;
      return std::nullopt;
    }
    bool sameDriveAsBase = std::toupper(static_cast<unsigned char>(text[0])) ==
                           std::toupper(static_cast<unsigned char>(base[0]));
    if (!rest.empty() && rest[0] == '\\') {
      full = text;
    } else {
      full = (sameDriveAsBase ? base : text.substr(0, 2) + "\\") + "\\" + rest;
    }
  } else if (text.find(':') != std::string::npos) {
    *error = ERROR_INVALID_NAME;
    return std::nullopt;
  } else if (text[0] == '\\') {
    full = base.substr(0, 2) + text;
  } else {
    full = base + "\\" + text;
  }

  Normalised out;
  out.drive = static_cast<char>(std::toupper(static_cast<unsigned char>(full[0])));
  size_t start = 2;
  while (start <= full.size()) {
    size_t end = full.find('\\', start);
    if (end == std::string::npos) end = full.size();
    std::string part = full.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (out.components.empty()) {
        *error = ERROR_ACCESS_DENIED;
        return std::nullopt;
      }
      out.components.pop_back();
      continue;
    }
    // Windows drops trailing dots and blanks of a name.
    while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
    if (!part.empty()) out.components.push_back(part);
  }
  return out;
}

// Whether a name is a valid 8.3 name already, which then needs no short alias.
bool isShortName(const std::string& name) {
  size_t dot = name.find('.');
  if (dot != name.rfind('.')) return false;
  size_t base = dot == std::string::npos ? name.size() : dot;
  size_t extension = dot == std::string::npos ? 0 : name.size() - dot - 1;
  if (base == 0 || base > 8 || extension > 3) return false;
  for (unsigned char c : name) {
    if (c < 0x21 || c > 0x7E || std::strchr("\"*+,/:;<=>?[]|", c)) return false;
  }
  return true;
}

// The 8.3 aliases Windows gives the long names of a folder: the first six usable
// characters of the name before its last dot, "~" and a number, then up to three
// characters of the extension, upper-cased. Numbers count up among names with the same
// stem in the order of the names, which stands in for the order they were created in.
std::vector<std::pair<std::string, std::string>> shortNameAliases(const fs::path& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return asciiUpper(a) < asciiUpper(b);
  });
  auto usable = [](const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
      if (c == ' ' || c == '.' || c > 0x7E) continue;
      out += std::strchr("\"*+,/:;<=>?[]|", c) ? '_' : static_cast<char>(std::toupper(c));
    }
    return out;
  };
  std::map<std::string, int> used;
  std::vector<std::pair<std::string, std::string>> aliases;
  for (const auto& name : names) {
    if (isShortName(name)) continue;
    size_t dot = name.rfind('.');
    std::string stem = usable(dot == std::string::npos || dot == 0 ? name : name.substr(0, dot)).substr(0, 6);
    std::string extension = dot == std::string::npos || dot == 0 ? "" : usable(name.substr(dot + 1)).substr(0, 3);
    std::string key = stem + "." + extension;
    std::string alias = stem + "~" + std::to_string(++used[key]) + (extension.empty() ? "" : "." + extension);
    aliases.emplace_back(alias, name);
  }
  return aliases;
}

// What the resolution learnt of the host within this run: the entry a name finds in a
// folder, and the type of an entry (not following links), each by its host path. The
// layer forgets a folder's part when it changes something in it (forgetResolvedPaths),
// and all of it when a machine is loaded or a child process may have changed the drives.
struct ResolutionCache {
  std::map<std::string, std::optional<std::string>, std::less<>> entries;  // "dir/name" -> entry
  std::map<std::string, fs::file_type, std::less<>> types;                 // host path -> type

  template <typename Map>
  static void forgetUnder(Map& map, const std::string& prefix) {
    for (auto it = map.lower_bound(prefix); it != map.end() && it->first.compare(0, prefix.size(), prefix) == 0;) {
      it = map.erase(it);
    }
  }
};

ResolutionCache& cache() {
  static ResolutionCache instance;
  return instance;
}

// The type of a host entry, not following a link (not_found when there is none).
fs::file_type entryType(const fs::path& host) {
  auto& types = cache().types;
  auto it = types.find(host.native());
  if (it != types.end()) return it->second;
  std::error_code ec;
  fs::file_type type = fs::symlink_status(host, ec).type();
  if (type == fs::file_type::none) type = fs::file_type::not_found;
  types.emplace(host.native(), type);
  return type;
}

// The entry of `dir` whose name, or whose 8.3 alias, matches `name` without ASCII case.
std::optional<std::string> findEntryOnHost(const fs::path& dir, const std::string& utf8Name) {
  std::error_code ec;
  if (fs::exists(fs::symlink_status(dir / utf8Name, ec))) return utf8Name;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string entry = it->path().filename().string();
    if (equalsIgnoringAsciiCase(entry, utf8Name)) return entry;
  }
  if (utf8Name.find('~') != std::string::npos) {
    for (const auto& [alias, entry] : shortNameAliases(dir)) {
      if (equalsIgnoringAsciiCase(alias, utf8Name)) return entry;
    }
  }
  return std::nullopt;
}

std::optional<std::string> findEntry(const fs::path& dir, const std::string& utf8Name) {
  std::string key = dir.native() + "/" + utf8Name;
  auto& entries = cache().entries;
  auto it = entries.find(key);
  if (it == entries.end()) it = entries.emplace(std::move(key), findEntryOnHost(dir, utf8Name)).first;
  return it->second;
}

std::string joinWindows(char drive, const std::vector<std::string>& components) {
  std::string out(1, drive);
  out += ":\\";
  for (size_t i = 0; i < components.size(); ++i) {
    if (i) out += '\\';
    out += components[i];
  }
  return out;
}

std::optional<ResolvedPath> resolveNormalised(const Normalised& path, bool followLastLink, int depth,
                                              uint32_t* error) {
  if (depth > kMaxLinkDepth) {
    *error = ERROR_CANT_RESOLVE_FILENAME;
    return std::nullopt;
  }
  fs::path drives = machine().drivesRoot();
  std::string letter(1, path.drive);
  fs::path host = drives / (findEntry(drives, letter).value_or(letter));
  // The machine refuses host links as drives/ or a drive folder when it loads; one made
  // since would lead outside it.
  if (entryType(drives) == fs::file_type::symlink || entryType(host) == fs::file_type::symlink) {
    *error = ERROR_ACCESS_DENIED;
    return std::nullopt;
  }
  bool present = entryType(host) == fs::file_type::directory;
  std::vector<std::string> windowsNames;
  ResolvedPath out;

  for (size_t i = 0; i < path.components.size(); ++i) {
    bool last = i + 1 == path.components.size();
    if (last) out.parentExists = present;
    std::string name = path.components[i];
    if (present) {
      if (auto found = findEntry(host, name)) name = *found;
      else present = false;
    }
    fs::path next = host / name;
    if (present && entryType(next) == fs::file_type::symlink && (!last || followLastLink)) {
      // A link is followed by its Windows target, relative ones from the link's folder.
      std::error_code ec;
      std::string target = fs::read_symlink(next, ec).string();
      if (target.rfind("\\??\\", 0) == 0) target.erase(0, 4);
      std::string base = joinWindows(path.drive, windowsNames);
      auto targetPath = normalise(target, base, error);
      if (!targetPath) return std::nullopt;
      for (size_t k = i + 1; k < path.components.size(); ++k) targetPath->components.push_back(path.components[k]);
      return resolveNormalised(*targetPath, followLastLink, depth + 1, error);
    }
    windowsNames.push_back(name);
    if (last) {
      out.exists = present;
    } else if (present && entryType(next) != fs::file_type::directory) {
      present = false;
    }
    host = next;
  }
  if (path.components.empty()) out.exists = present;
  out.host = host;
  out.windowsUtf8 = joinWindows(path.drive, windowsNames);
  out.windows = utf8ToAnsi(out.windowsUtf8);
  return out;
}

}  // namespace

void forgetResolvedPaths(const fs::path& host) {
  ResolutionCache& known = cache();
  if (host.empty()) {
    known.entries.clear();
    known.types.clear();
    return;
  }
  // Everything in the entry's folder: a new or removed name there changes what other
  // names find (the 8.3 aliases), and everything below it, a renamed or removed folder.
  std::string prefix = host.parent_path().native() + "/";
  ResolutionCache::forgetUnder(known.entries, prefix);
  ResolutionCache::forgetUnder(known.types, prefix);
}

// Paths are resolved in UTF-8, the host's own text; only the narrow functions' text
// passes through the ANSI code page, on its way in and out.
std::optional<ResolvedPath> resolveUtf8Path(std::string_view windowsPath, uint32_t* error, bool followLastLink) {
  uint32_t ignored = 0;
  if (!error) error = &ignored;
  // What a child process may have changed while it ran is looked at afresh (starting
  // one forgets everything too).
  static bool childWasRunning = false;
  bool childRunning = machine().children().anyRunning();
  if (childRunning || childWasRunning) forgetResolvedPaths();
  childWasRunning = childRunning;
  const std::string& cwd = machine().facts().currentDirectory;
  auto normalised = normalise(std::string(windowsPath), cwd, error);
  if (!normalised) return std::nullopt;
  return resolveNormalised(*normalised, followLastLink, 0, error);
}

namespace {

// The narrow functions convert a path into a buffer of MAX_PATH + 1 wide characters.
bool fitsNarrowFunctions(std::string_view windowsPath, uint32_t* error) {
  if (windowsPath.size() <= MAX_PATH || ansiToWide(windowsPath).size() <= MAX_PATH) return true;
  if (error) *error = ERROR_FILENAME_EXCED_RANGE;
  return false;
}

}  // namespace

std::optional<ResolvedPath> resolvePath(std::string_view windowsPath, uint32_t* error, bool followLastLink) {
  if (!fitsNarrowFunctions(windowsPath, error)) return std::nullopt;
  return resolveUtf8Path(ansiToUtf8(windowsPath), error, followLastLink);
}

std::optional<ResolvedPath> resolveWidePath(std::wstring_view windowsPath, uint32_t* error, bool followLastLink) {
  return resolveUtf8Path(wideToUtf8(windowsPath), error, followLastLink);
}

std::optional<std::string> fullPathName(std::string_view windowsPath, uint32_t* error) {
  uint32_t ignored = 0;
  if (!error) error = &ignored;
  if (!fitsNarrowFunctions(windowsPath, error)) return std::nullopt;
  auto normalised = normalise(ansiToUtf8(windowsPath), machine().facts().currentDirectory, error);
  if (!normalised) return std::nullopt;
  return utf8ToAnsi(joinWindows(normalised->drive, normalised->components));
}

bool createDirectories(const std::string& windowsPath) {
  auto resolved = resolvePath(windowsPath, nullptr, true);
  if (!resolved) return false;
  std::error_code ec;
  if (resolved->exists) return fs::is_directory(resolved->host, ec);
  // The folders about to be made.
  for (fs::path made = resolved->host; made.has_relative_path() && made != machine().drivesRoot() &&
                                       !fs::exists(fs::symlink_status(made, ec));
       made = made.parent_path()) {
    forgetResolvedPaths(made);
  }
  fs::create_directories(resolved->host, ec);
  return fs::is_directory(resolved->host, ec);
}

}  // namespace hosted
