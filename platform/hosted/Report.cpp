#include "platform/hosted/Report.h"

#include <fstream>
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

void writeSection(std::ostream& out, const char* title, const std::vector<std::string>& lines) {
  if (lines.empty()) return;
  out << title << ":\n";
  for (const auto& line : lines) out << "  " << line << "\n";
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
  std::vector<std::string> added, removed, changed;
  auto describe = [](const std::string& path, const Entry& e) {
    if (e.kind == "link") return path + " -> " + e.linkText;
    if (e.kind == "directory") return path + "\\";
    return path;
  };
  for (const auto& [path, entry] : after.files_) {
    auto it = before.files_.find(path);
    if (it == before.files_.end()) added.push_back(describe(path, entry));
    else if (!(it->second == entry)) changed.push_back(describe(path, entry));
  }
  for (const auto& [path, entry] : before.files_) {
    if (!after.files_.count(path)) removed.push_back(describe(path, entry));
  }
  if (added.empty() && removed.empty() && changed.empty()) {
    out << "Files: no change\n";
    return;
  }
  writeSection(out, "Files added", added);
  writeSection(out, "Files removed", removed);
  writeSection(out, "Files changed", changed);
}

void writeJournalSince(std::ostream& out, const fs::path& journal, std::uintmax_t offset) {
  std::ifstream in(journal, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset));
  out << "Journal of the run:\n";
  std::string line;
  while (std::getline(in, line)) out << "  " << line << "\n";
}

}  // namespace hosted
