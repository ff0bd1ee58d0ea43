// The files-in-use scanner: finds the running processes that hold files of the
// runtime being removed (modules loaded from its directories, or its launchers and
// deployment libraries loaded from the system directory), records up to
// kMaxProcesses of them, and notes which are browsers or hosted by one.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

class CFilesInUse {
 public:
  static constexpr int kMaxProcesses = 100;

  CFilesInUse() = default;

  // Rebuilds `directories` from one or more directories separated by ";". Empty pieces
  // are skipped, a piece in double quotes loses them, and each is taken in its long form
  // (unchanged when it has none, e.g. because it does not exist).
  void SetDirectories(const std::string& directoryList);

  // Scans the running processes. Returns 1 when at least one process was recorded,
  // else 0 (also when no process snapshot can be taken). Resets and updates
  // `onlyBrowsers`, the browser flags, `count` and `processes`; never touches `inUse`.
  // A failed system-directory query is reported and the scan goes on without it.
  int GetProcessList();

  // Whether a process has a module loaded from one of `directories` (other than the
  // compiler's runtime libraries), or a launcher or deployment library loaded from
  // `systemDir` or, on a 64-bit system with two or more directories, from `systemWow64Dir`.
  // No when its modules cannot be listed. Empty system directories are not consulted.
  bool ProcessUsesRuntime(DWORD processId, const std::string& systemDir, const std::string& systemWow64Dir) const;

  // The parent id of a running process; 0 when it is not found, no snapshot can be
  // taken, or its parent id is 0.
  static DWORD GetParentProcessId(DWORD processId);

  // Whether the process's image path contains `name` (case-sensitive); false when the
  // process cannot be opened or its path cannot be read.
  static bool ProcessImageContains(DWORD processId, const char* name);

  // Set by the owner from the last scan: 1 when something was found.
  int inUse = 0;
  // 1 unless a recorded process is neither a browser nor hosted by one.
  int onlyBrowsers = 0;
  int browserHosted = 0;
  int firefoxInUse = 0;
  int safariInUse = 0;
  int chromeInUse = 0;
  int count = 0;
  // The recorded processes, in the order of the system's process list.
  PROCESSENTRY32 processes[kMaxProcesses] = {};
  std::vector<std::string> directories;

 private:
  void Record(const PROCESSENTRY32& entry);
};

// Case-insensitive comparison of executable and module names.
bool SameName(const char* a, const char* b);
