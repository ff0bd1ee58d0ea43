#include "platform/hosted/Report.h"

#include <cctype>
#include <fstream>
#include <utility>

#include <nlohmann/json.hpp>
#include <system_error>
#include <vector>

namespace hosted {

namespace {

namespace fs = std::filesystem;

uint64_t digestOf(const fs::path& file) {
  uint64_t hash = 1469598103934665603ull;  // FNV-1a
  std::ifstream in(file, std::ios::binary);
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    for (std::streamsize i = 0; i < in.gcount(); ++i) {
      hash = (hash ^ static_cast<unsigned char>(buffer[i])) * 1099511628211ull;
    }
  }
  return hash;
}

// drives/C/Program Files/x as C:\Program Files\x.
std::string windowsPathOf(const fs::path& relative) {
  std::string out;
  bool first = true;
  for (const auto& part : relative) {
    if (first) {
      out = part.string() + ":";
      first = false;
    } else {
      out += "\\" + part.string();
    }
  }
  if (out.size() == 2) out += "\\";
  return out;
}

// A link's text as a person reads it: a junction's "\\??\\" prefix is the kernel's.
std::string linkTarget(const std::string& text) {
  if (text.rfind("\\??\\", 0) == 0) return text.substr(4) + " (junction)";
  return text;
}

std::string fieldValue(const nlohmann::ordered_json& value) {
  if (value.is_string()) {
    // One event a line: line breaks and tabs are shown as their escapes.
    std::string text = "\"";
    for (char c : value.get<std::string>()) {
      if (c == '\n') text += "\\n";
      else if (c == '\r') text += "\\r";
      else if (c == '\t') text += "\\t";
      else text += c;
    }
    return text + "\"";
  }
  return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace

Snapshot Snapshot::take(const fs::path& machineDir) {
  Snapshot snapshot;
  fs::path drives = machineDir / "drives";
  std::error_code ec;
  if (!fs::is_directory(drives, ec)) return snapshot;
  for (fs::recursive_directory_iterator it(drives, fs::directory_options::none, ec), end; !ec && it != end;
       it.increment(ec)) {
    Entry entry;
    auto status = it->symlink_status(ec);
    if (fs::is_symlink(status)) {
      entry.kind = "link";
      entry.linkText = fs::read_symlink(it->path(), ec).string();
    } else if (fs::is_directory(status)) {
      entry.kind = "directory";
    } else {
      entry.kind = "file";
      entry.size = it->file_size(ec);
      entry.digest = digestOf(it->path());
    }
    snapshot.files_[windowsPathOf(fs::relative(it->path(), drives, ec))] = entry;
  }
  return snapshot;
}

void Snapshot::writeChanges(std::ostream& out, const Snapshot& before, const Snapshot& after) {
  auto describe = [](const std::string& path, const Entry& e) {
    if (e.kind == "link") return path + " -> " + linkTarget(e.linkText);
    if (e.kind == "directory") return path + "\\";
    return path;
  };
  std::map<std::string, std::pair<const Entry*, const Entry*>> paths;
  for (const auto& [path, entry] : before.files_) paths[path].first = &entry;
  for (const auto& [path, entry] : after.files_) paths[path].second = &entry;
  std::vector<std::string> lines;
  for (const auto& [path, sides] : paths) {
    const auto [was, now] = sides;
    if (!now) {
      lines.push_back("removed  " + describe(path, *was));
    } else if (!was) {
      lines.push_back("added    " + describe(path, *now));
    } else if (!(*was == *now)) {
      std::string line = "changed  " + describe(path, *now);
      if (was->kind != now->kind) {
        line += " (was a " + was->kind + ")";
      } else if (now->kind == "link") {
        line += " (was -> " + linkTarget(was->linkText) + ")";
      } else if (now->kind == "file") {
        line += " (" + std::to_string(was->size) + " -> " + std::to_string(now->size) + " bytes)";
      }
      lines.push_back(line);
    }
  }
  if (lines.empty()) {
    out << "Files: no change\n";
    return;
  }
  out << "Files:\n";
  for (const auto& line : lines) out << "  " << line << "\n";
}

void Snapshot::writeRunFiles(std::ostream& out, const Snapshot& before, const Snapshot& after,
                             const std::string& tempFolder, bool dryRun) {
  std::string folder = tempFolder;
  while (!folder.empty() && folder.back() == '\\') folder.pop_back();
  auto upper = [](std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
  };
  // The files of the folder that the run added or rewrote, by name.
  std::vector<std::string> backups;
  std::string result;
  for (const auto& [path, entry] : after.files_) {
    size_t slash = path.rfind('\\');
    if (slash == std::string::npos || entry.kind != "file" || upper(path.substr(0, slash)) != upper(folder)) continue;
    auto was = before.files_.find(path);
    if (was != before.files_.end() && was->second == entry) continue;
    std::string name = upper(path.substr(slash + 1));
    if (name.rfind("ZUSCHED-BACKUP-", 0) == 0 && name.size() > 4 && name.compare(name.size() - 4, 4, ".REG") == 0) {
      backups.push_back(path);
    } else if (name == "ZUSCHED-RESULT.JSON") {
      result = path;
    }
  }
  std::string where = dryRun ? " (in the scratch copy, gone with it)" : "";
  if (backups.empty()) {
    out << "Registry backup: none\n";
  } else {
    for (const auto& path : backups) out << "Registry backup: " << path << where << "\n";
  }
  out << "Result: " << (result.empty() ? std::string("none") : result + where) << "\n";
}

void writeJournalSince(std::ostream& out, const fs::path& journal, std::uintmax_t offset) {
  std::ifstream in(journal, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset));
  out << "Journal of the run:\n";
  std::string line;
  while (std::getline(in, line)) {
    auto event = nlohmann::ordered_json::parse(line, nullptr, false);
    if (event.is_discarded() || !event.is_object()) {
      out << "  " << line << "\n";
      continue;
    }
    // The names in a column wide enough for the longest ("terminateProcess").
    std::string name;
    auto it = event.find("event");
    if (it != event.end() && it->is_string()) name = it->get<std::string>();
    if (name.size() < 16) name.resize(16, ' ');
    std::string text = "  " + name;
    for (auto it = event.begin(); it != event.end(); ++it) {
      if (it.key() == "event") continue;
      text += " " + it.key() + "=" + fieldValue(it.value());
    }
    out << text << "\n";
  }
}

}  // namespace hosted
