#include "windows/common/RunResult.h"

#include <cstdio>

#include "common/share/ScopedHandle.h"
#include "windows/common/Logger.h"

namespace {

// A JSON string of ANSI text: quoted, escaped, and every character past ASCII written
// as its UTF-16 code units (\uXXXX), so that the file is plain ASCII whatever the code
// page.
std::string jsonString(const std::string& text) {
  std::vector<WCHAR> wide;
  if (!text.empty()) {
    int length = static_cast<int>(text.size());
    int units = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (units > 0) {
      wide.resize(static_cast<size_t>(units));
      MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), units);
    }
  }
  std::string out = "\"";
  char escaped[8];
  for (WCHAR unit : wide) {
    unsigned value = static_cast<unsigned>(unit) & 0xFFFF;
    if (value == '"' || value == '\\') {
      out += '\\';
      out += static_cast<char>(value);
    } else if (value == '\n') {
      out += "\\n";
    } else if (value == '\r') {
      out += "\\r";
    } else if (value == '\t') {
      out += "\\t";
    } else if (value < 0x20 || value >= 0x80) {
      std::snprintf(escaped, sizeof escaped, "\\u%04x", value);
      out += escaped;
    } else {
      out += static_cast<char>(value);
    }
  }
  return out + "\"";
}

std::string jsonOptional(const std::optional<std::string>& text) { return text ? jsonString(*text) : "null"; }

}  // namespace

RunResult& RunResult::instance() {
  static RunResult result;
  return result;
}

void RunResult::start(const std::string& release) {
  *this = RunResult();
  active_ = true;
  release_ = release;
  FileUtils::setChangeObserver(this);
}

void RunResult::setFilesLockedInSilentMode(std::vector<Process> processes) {
  lockedInSilentMode_ = true;
  processes_ = std::move(processes);
}

void RunResult::setReregistered(const std::string& version) {
  if (active_) reregistered_ = version;
}

void RunResult::scheduled(const std::string& from, const char* to) {
  if (!active_) return;
  ScheduledOperation operation;
  operation.from = from;
  if (to) operation.to = std::string(to);
  scheduled_.push_back(std::move(operation));
}

void RunResult::fileRemoved() {
  if (active_) ++filesRemoved_;
}

void RunResult::fileCreated() {
  if (active_) ++filesCreated_;
}

void RunResult::linkRemoved() {
  if (active_) ++linksRemoved_;
}

void RunResult::linkCreated() {
  if (active_) ++linksCreated_;
}

std::string RunResult::toJson(DWORD exitCode, const std::string& backupFile,
                              const RegistryChangeCounts& registry) const {
  std::string out = "{\r\n";
  out += "  \"exitCode\": " + std::to_string(static_cast<unsigned long>(exitCode)) + ",\r\n";
  out += "  \"release\": " + jsonString(release_) + ",\r\n";
  out += "  \"silent\": " + std::string(silent_ ? "true" : "false") + ",\r\n";
  out += "  \"reregistered\": " + jsonOptional(reregistered_) + ",\r\n";
  bool restart = lockedInSilentMode_ || !scheduled_.empty();
  out += "  \"restartNeeded\": " + std::string(restart ? "true" : "false") + ",\r\n";
  out += "  \"filesLockedInSilentMode\": " + std::string(lockedInSilentMode_ ? "true" : "false") + ",\r\n";
  out += "  \"processesInUse\": [";
  for (size_t i = 0; i < processes_.size(); ++i) {
    out += std::string(i ? ", " : "") + "{\"pid\": " + std::to_string(static_cast<unsigned long>(processes_[i].pid)) +
           ", \"name\": " + jsonString(processes_[i].name) + "}";
  }
  out += "],\r\n";
  out += "  \"scheduledOperations\": [";
  for (size_t i = 0; i < scheduled_.size(); ++i) {
    out += std::string(i ? ", " : "") + "{\"from\": " + jsonString(scheduled_[i].from) +
           ", \"to\": " + jsonOptional(scheduled_[i].to) + "}";
  }
  out += "],\r\n";
  out += "  \"backup\": " + (backupFile.empty() ? std::string("null") : jsonString(backupFile)) + ",\r\n";
  out += "  \"removed\": {\"keys\": " + std::to_string(registry.keysRemoved) +
         ", \"values\": " + std::to_string(registry.valuesRemoved) + ", \"files\": " + std::to_string(filesRemoved_) +
         ", \"links\": " + std::to_string(linksRemoved_) + "},\r\n";
  out += "  \"created\": {\"keys\": " + std::to_string(registry.keysCreated) +
         ", \"values\": " + std::to_string(registry.valuesCreated) + ", \"files\": " + std::to_string(filesCreated_) +
         ", \"links\": " + std::to_string(linksCreated_) + "},\r\n";
  out += "  \"changed\": {\"values\": " + std::to_string(registry.valuesChanged) + "}\r\n";
  return out + "}\r\n";
}

bool RunResult::write(const std::string& directory, DWORD exitCode, const std::string& backupFile,
                      const RegistryChangeCounts& registry) const {
  std::string path = combinePath(directory, kFileName);
  std::string text = toJson(exitCode, backupFile, registry);
  ScopedHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (!file.valid() || !WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
      written != text.size()) {
    LOG_ERROR("Cannot write the result of the run to " + path + " (error " + std::to_string(GetLastError()) + ").");
    return false;
  }
  return true;
}
