// The machine's journal: one JSON object a line, appended to journal.jsonl, for what
// a run does that leaves no other trace (message boxes, dialogs, processes started).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

namespace hosted {

class Journal {
 public:
  explicit Journal(std::filesystem::path file) : file_(std::move(file)) {}

  // A new event object whose first member is "event": name.
  static nlohmann::ordered_json event(const std::string& name);

  // Appends one line and closes the file again, so that the line survives a crash.
  // A journal that cannot be written is reported on standard error once; the run goes on.
  void append(const nlohmann::ordered_json& event);

  const std::filesystem::path& file() const { return file_; }
  // The journal's size in bytes now; lines appended later start at this offset.
  std::uintmax_t size() const;

 private:
  std::filesystem::path file_;
  bool warned_ = false;
};

}  // namespace hosted
