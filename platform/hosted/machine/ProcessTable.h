// The other running processes of the machine (machine.json "processes") and their
// top-level windows. Processes that end leave the table and machine.json.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <windef.h>

namespace hosted {

struct HostedWindow {
  HWND handle = nullptr;
  std::string title;
  bool visible = true;
};

struct HostedProcess {
  uint32_t pid = 0;
  uint32_t ppid = 0;
  std::string exe;                   // the snapshot's executable name
  std::string image;                 // full path; also the first module
  std::vector<std::string> modules;  // further modules
  std::vector<HostedWindow> windows;
  bool endsOnClose = true;      // onClose "exit"
  bool endsOnTerminate = true;  // onTerminate "exit"
  bool accessDenied = false;    // access "denied"
  // The files its image and modules are mapped from, found when the machine was
  // loaded: a mapped file stays the same file when it is renamed.
  std::vector<std::pair<uint64_t, uint64_t>> mappedFiles;  // host device and inode

  // The image followed by the further modules.
  std::vector<std::string> allModules() const;
};

class ProcessTable {
 public:
  ProcessTable() = default;
  // Reads the "processes" of machine.json text (already known to be a JSON object).
  // Throws HostFailure(65) naming `file` for an entry that is not a valid process.
  static ProcessTable parse(const std::string& machineJson, const std::string& file);

  // Where ended processes are written back; empty when the machine has no machine.json.
  void setFile(std::filesystem::path file) { file_ = std::move(file); }

  const std::vector<HostedProcess>& processes() const { return processes_; }
  HostedProcess* find(uint32_t pid);
  // The process and window of a window handle.
  struct WindowRef {
    HostedProcess* process;
    HostedWindow* window;
  };
  std::optional<WindowRef> findWindow(HWND handle);
  // Every window handle now, in enumeration order.
  std::vector<HWND> windowHandles() const;

  // Finds the files every process maps, through `identify` (a module's Windows path to
  // its file's host device and inode, or nothing when the file is not on the drives).
  template <class Identify>
  void identifyMappedFiles(Identify identify) {
    for (HostedProcess& process : processes_) {
      for (const std::string& module : process.allModules()) {
        if (auto id = identify(module)) process.mappedFiles.push_back(*id);
      }
    }
  }

  // Whether a process of the table ran and has ended, and its exit code.
  std::optional<uint32_t> exitCodeOf(uint32_t pid) const;

  // Ends the process: removes it from the table and from machine.json (written back
  // atomically with everything else in the file kept).
  void end(uint32_t pid, uint32_t exitCode);
  // Removes one window of a process that goes on running.
  void removeWindow(HWND handle);

  // A process's main window: its first visible top-level window, if it has one.
  static const HostedWindow* mainWindow(const HostedProcess& process);

  // WM_CLOSE posted to a process's main window waits in its queue until the uninstaller
  // next waits or sleeps, when the process handles it (and ends when its onClose says so).
  void postClose(uint32_t pid);
  void deliverPostedMessages();

 private:
  void writeBack(uint32_t pid) const;

  std::vector<HostedProcess> processes_;
  std::map<uint32_t, uint32_t> ended_;
  std::vector<uint32_t> pendingClose_;
  std::filesystem::path file_;
};

}  // namespace hosted
