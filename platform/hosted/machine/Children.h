// Child processes the program starts: real host processes run from the drives.
//
// A child runs on its own; the machine only starts it, waits for it when asked,
// kills it and reads its exit status. Children that outlive the run keep running:
// the machine never kills them at exit and never blocks to reap them.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/hosted/machine/Handles.h"

namespace hosted {

// What a child is started with.
struct ChildLaunch {
  std::filesystem::path program;          // the host file to run
  std::vector<std::string> arguments;     // UTF-8, the program's own name left out
  std::filesystem::path workingDirectory;
  std::vector<std::string> environment;   // complete, "NAME=value"
  int output = -1;                        // host descriptor for standard output; -1: /dev/null
  int errorOutput = -1;                   // host descriptor for standard error; -1: /dev/null
};

// Whether a host file can run as a program: 0, or the Windows error CreateProcess
// gives (ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED for a folder, ERROR_BAD_EXE_FORMAT
// for a file that is neither executable with "#!" nor an executable ELF image).
uint32_t checkProgram(const std::filesystem::path& host);

// The host environment of this process with `name`=`value` set (replacing any).
std::vector<std::string> hostEnvironmentWith(const std::string& name, const std::string& value);

class Children {
 public:
  Children() = default;
  // Reaps the children that have ended; running ones are left to run.
  ~Children();
  Children(const Children&) = delete;
  Children& operator=(const Children&) = delete;

  // Starts a child. Returns its host process id, or nullopt with the Windows error in
  // *error. Standard input is /dev/null; descriptors other than 0 to 2 are not passed on.
  std::optional<pid_t> start(const ChildLaunch& launch, uint32_t* error);

  // Waits until the child ends or `timeout` passes (nullopt: no limit). True when it
  // has ended. *waited receives the host time spent.
  bool wait(pid_t pid, std::optional<std::chrono::milliseconds> timeout, std::chrono::milliseconds* waited);

  // The exit status of an ended child, nullopt while it runs (or is unknown). A child
  // killed by TerminateProcess reports the code it was given; one killed by another
  // signal N reports 128 + N, as a shell would.
  std::optional<uint32_t> exitCode(pid_t pid);

  // Kills a running child and reaps it, recording `code` as its exit status. False
  // when it had already ended.
  bool terminate(pid_t pid, uint32_t code);

  bool isChild(pid_t pid) const { return children_.count(pid) != 0; }
  // Whether a child may still be running (and changing the drives).
  bool anyRunning();

 private:
  // Collects the child's status if it has ended; blocks only when `block` is set.
  bool reap(pid_t pid, bool block);

  std::map<pid_t, std::optional<uint32_t>> children_;  // pid -> exit status once ended
};

// The handles CreateProcess returns for a child.
struct ChildProcessObject : HandleObject {
  explicit ChildProcessObject(pid_t pid) : pid(pid) {}
  pid_t pid;
};
struct ChildThreadObject : HandleObject {
  explicit ChildThreadObject(pid_t pid) : pid(pid) {}
  pid_t pid;
};

}  // namespace hosted
