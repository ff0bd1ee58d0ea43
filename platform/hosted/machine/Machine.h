// The hosted machine: the state of one Windows computer held in a directory.
//
// Every Windows function of the layer reads and changes the machine through this
// object; nothing else in the layer keeps state. The host's main loads it once from
// the --machine directory; tests load a scratch directory of their own.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/hosted/machine/Children.h"
#include "platform/hosted/machine/Faults.h"
#include "platform/hosted/machine/Handles.h"
#include "platform/hosted/machine/Journal.h"
#include "platform/hosted/machine/Lock.h"
#include "platform/hosted/machine/ProcessTable.h"
#include "platform/hosted/machine/SharedMemory.h"

namespace hosted {

namespace registry {
class Registry;
}

// A host failure: the machine directory cannot be used, or a prompt cannot be
// answered. It ends the run with `status` and `message` on standard error.
struct HostFailure {
  int status;
  std::string message;
};

inline constexpr int kExitUsage = 64;
inline constexpr int kExitDataError = 65;
inline constexpr int kExitUnavailable = 69;

// The facts of machine.json, with the defaults of a 64-bit Windows 10 computer.
struct Facts {
  int osMajor = 10;
  int osMinor = 0;
  std::string architecture = "x64";  // "x64", "x86", "ia64" or "arm64"
  int bitness = 64;
  uint32_t pid = 4242;
  std::string image = "C:\\Windows\\Temp\\uninstaller.exe";
  std::string currentDirectory = "C:\\Windows\\system32";
  std::string userSid = "S-1-5-21-1004336348-1177238915-682003330-1001";
  std::string country = "United States";
  std::string uiLanguage = "en-US";  // the language the program's resources are read in
  unsigned codePage = 1252;          // the ANSI code page of the narrow functions
  unsigned threadCodePage = 0;       // CP_THREAD_ACP's page; 0: the same as codePage
  // Folder name (as in machine.json) to its Windows path; nullopt makes its query fail.
  std::map<std::string, std::optional<std::string>> folders;
  std::map<std::string, std::string> environment;

  // The folder's path, or nullopt when the machine has none.
  std::optional<std::string> folder(const std::string& name) const;
  // An x64 system, or an ARM64 one, which runs x64 programs emulated: both keep 32-bit
  // registry views and folders beside the 64-bit ones.
  bool runsX64() const { return architecture == "x64" || architecture == "arm64"; }
  bool isWow64() const { return runsX64() && bitness == 32; }
};

// A file of the C runtime's low-level I/O, by its descriptor.
struct CrtFile {
  bool textMode = true;  // line feeds are written as CR LF
};

// How the run meets its user.
struct Session {
  std::deque<std::string> answers;  // --answer values not yet used
  bool interactive = false;         // standard input is a terminal
};

class Machine {
 public:
  // Reads DIR/machine.json and prepares the machine for a run. Throws HostFailure
  // (65, naming the file and line) when the directory or its data cannot be used;
  // it then has changed nothing in the directory. The machine loaded before is
  // unloaded first. The directory stays locked against other runs until unload();
  // while another run holds it, load() waits.
  static Machine& load(const std::filesystem::path& dir, Session session = {});
  // Forgets the loaded machine (tests load a new one for every case).
  static void unload();
  // The same when the process is about to end: every file and lock is released, but the
  // registry's keys are left to go with the process, since taking a large registry apart
  // key by key costs about as much as reading it. Call fold() on it first.
  static void unloadForExit();
  static bool loaded();

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path drivesRoot() const { return root_ / "drives"; }
  const Facts& facts() const { return facts_; }
  Session& session() { return session_; }
  Journal& journal() { return journal_; }
  Handles& handles() { return handles_; }
  Faults& faults() { return faults_; }
  // Named and unnamed shared memory, and the views mapped from it (MACHINE/shm).
  SharedMemory& sharedMemory() { return sharedMemory_; }
  // The other running processes and their windows.
  ProcessTable& processes() { return processes_; }
  // The real host processes the program started.
  Children& children() { return children_; }
  std::map<int, CrtFile>& crtFiles() { return crtFiles_; }
  // The registry, loaded from registry.reg (platform/hosted/registry/Registry.h).
  registry::Registry& registry() { return *registry_; }

  // The Windows command line of the run, as GetCommandLineW returns it.
  const std::wstring& commandLine() const { return commandLine_; }
  void setCommandLine(std::wstring commandLine) { commandLine_ = std::move(commandLine); }

  // The machine's clock: the host's time when the run started, advanced by the
  // waits the program asks for, never by sleeping on the host.
  std::chrono::system_clock::time_point now() const;
  void advanceClock(std::chrono::milliseconds by) { clockOffset_ += by; }
  uint32_t mainThreadId() const { return facts_.pid + 4; }

 ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

 private:
  Machine(DirectoryLock lock, std::filesystem::path root, Facts facts, Session session, ProcessTable processes);

  // First, so that it is released last, after every file is closed.
  DirectoryLock lock_;
  std::filesystem::path root_;
  Facts facts_;
  Session session_;
  Journal journal_;
  Handles handles_;
  Faults faults_;
  ProcessTable processes_;
  Children children_;
  std::map<int, CrtFile> crtFiles_;
  std::unique_ptr<registry::Registry> registry_;
  std::wstring commandLine_;
  SharedMemory sharedMemory_;
  std::chrono::milliseconds clockOffset_{0};
};

// The loaded machine. Calling a Windows function of the layer with no machine
// loaded is a fault of the caller and aborts.
Machine& machine();

// The whole content of a file of the machine directory, or nullopt when there is
// none. Anything but a regular file (a directory, a FIFO, a device) is invalid data:
// HostFailure(65) naming the file; it is never read, so it cannot block the run.
std::optional<std::string> readMachineFile(const std::filesystem::path& file);

// Parses machine.json text; `file` names it in messages. Throws HostFailure(65).
Facts parseFacts(const std::string& text, const std::string& file);

}  // namespace hosted
