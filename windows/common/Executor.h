// Starting a child process: optionally hidden, optionally waited for with a time
// limit (the child is terminated when it passes), optionally with its standard output
// and error captured through an anonymous pipe.
//
// Results are Win32-style codes: 0 for success, else the system error of a failed
// start, WAIT_TIMEOUT (258) when the time limit passed, or the child's own non-zero
// exit code.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "common/share/ScopedHandle.h"

class Executor {
 public:
  class ExecutorError : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
  };

  // The program to run: blanks and tabs trimmed, one pair of enclosing double quotes
  // removed. An empty path logs "Executor: applicationPath is empty" at ERROR and
  // throws ExecutorError "applicationPath is empty".
  explicit Executor(const std::string& applicationPath);
  ~Executor() = default;
  Executor(const Executor&) = delete;
  Executor& operator=(const Executor&) = delete;

  // The argument text (trimmed). The command line is the quoted program followed by a
  // blank and the text, except that text beginning with the program path (bare at
  // position 0, or quoted) does not repeat it.
  void setArguments(const std::string& text);
  void setShowMode(DWORD mode) { showMode_ = mode; }  // 1 = hidden
  void setWaitForExit(bool wait) { waitForExit_ = wait; }
  void setTimeout(DWORD milliseconds) { timeoutMs_ = milliseconds; }
  void setUsePipe(bool use) { usePipe_ = use; }

  // Starts the child and, if it started, finishes it: returns at once when not
  // waiting, else waits, terminating it (exit code 1) when the time limit passes.
  DWORD exec();

  // What the child wrote, as bytes: at most 1,023,999 of them, read once after the
  // wait. Throws ExecutorError "readFromPipe:ReadFile failed" when the read fails.
  std::string getUtf8OutputFromPipe();
  // Closes both ends of the capture pipe.
  void closePipe();

  bool started() const { return started_; }
  const std::string& applicationPath() const { return applicationPath_; }
  const std::string& arguments() const { return arguments_; }
  const std::string& commandLine() const { return commandLine_; }

  // Output beyond this many bytes, including the terminating NUL, stays in the pipe.
  static constexpr DWORD kMaxPipeRead = 1024000;

 private:
  bool startExecution();
  DWORD finishExecution();
  std::vector<char> readBytesFromPipe();

  std::string applicationPath_;
  std::string arguments_;
  std::string commandLine_;
  BOOL inheritHandles_ = FALSE;
  DWORD creationFlags_ = 0;
  PROCESS_INFORMATION processInfo_{};
  STARTUPINFOA startupInfo_{};
  DWORD showMode_ = 0;
  bool waitForExit_ = false;
  DWORD timeoutMs_ = INFINITE;
  bool usePipe_ = false;
  bool started_ = false;
  ScopedHandle pipeRead_;
  ScopedHandle pipeWrite_;
};

// Starts a program and returns without waiting: 0 once it started, else the system
// error; 1627 (ERROR_FUNCTION_FAILED) for an ExecutorError. `started` receives whether
// it started.
DWORD ExecProcess(const std::string& app, const std::string& args, DWORD showMode, bool* started = nullptr);

// Runs a program hidden, waits up to one second and fills `output` with what it wrote
// (also when the result is not 0). Results as ExecProcess, plus 258 when the program
// ran longer and was terminated, and its own non-zero exit code.
DWORD ExecProcessWithPipe(const std::string& app, const std::string& args, std::string& output,
                          bool* started = nullptr);
