// The machine-readable result of a run: zusched-result.json in the user's temporary
// folder, beside the log, written over at the end of every run. Its fields are
// described in the README ("The result of a run").
//
// The program's steps report what they did here as they go (files and links removed
// or created, operations left for the next restart, the runtime registered again);
// the registry's counts come from the run's RegistryBackup. Reporting never fails.
// From start() on, the file helpers tell it of the files and links they change.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "windows/common/FileUtils.h"
#include "windows/common/RegistryBackup.h"

class RunResult : public FileUtils::ChangeObserver {
 public:
  struct Process {
    DWORD pid = 0;
    std::string name;
  };
  // A file operation left for the next restart; no target: a deletion.
  struct ScheduledOperation {
    std::string from;
    std::optional<std::string> to;
  };

  // The process's result. Nothing is recorded until start().
  static RunResult& instance();

  // Begins a run's result: forgets an earlier run's, and is told of the file helpers'
  // changes from now on.
  void start(const std::string& release);
  bool active() const { return active_; }

  void setSilent(bool silent) { silent_ = silent; }
  // Runtime files were held by `processes` in silent mode, so they are removed at the
  // next restart.
  void setFilesLockedInSilentMode(std::vector<Process> processes);
  void setReregistered(const std::string& version);
  void scheduled(const std::string& from, const char* to) override;
  void fileRemoved() override;
  void fileCreated() override;
  void linkRemoved() override;
  void linkCreated() override;

  // The JSON text of the result for a run that ends with `exitCode`, with the backup's
  // file name (empty: none) and the registry's counts.
  std::string toJson(DWORD exitCode, const std::string& backupFile, const RegistryChangeCounts& registry) const;
  // Writes toJson() as zusched-result.json into `directory` (a Windows path), replacing
  // an older one. False, after an ERROR record, when it cannot be written.
  bool write(const std::string& directory, DWORD exitCode, const std::string& backupFile,
             const RegistryChangeCounts& registry) const;

  static constexpr const char* kFileName = "zusched-result.json";

 private:
  RunResult() = default;

  bool active_ = false;
  std::string release_;
  bool silent_ = false;
  bool lockedInSilentMode_ = false;
  std::vector<Process> processes_;
  std::optional<std::string> reregistered_;
  std::vector<ScheduledOperation> scheduled_;
  int filesRemoved_ = 0;
  int filesCreated_ = 0;
  int linksRemoved_ = 0;
  int linksCreated_ = 0;
};
