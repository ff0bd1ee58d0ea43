// The fault sweep: runs the demo uninstall once, counting the Windows calls it makes
// that can fail, then runs it again for each of those calls in turn with that one call
// failing with an error Windows gives for it. Every run must end with 0 or 610017,
// without a crash or a hang, and leave a machine directory that loads again.
//
//   zu_fault_sweep [--every N] [--keep DIR]
//
// --every N fails only every N-th call (the first, the N+1-th, ...), for a sample that
// fits CI; without it the whole sweep runs. Prints a summary and exits 1 when any run
// ended otherwise. Each run is a child process of the sweep, on a fresh copy of the
// demo machine with the project's deployment library.
//
// With --kill it runs the kill sweep instead (kill_sweep.cpp), which shares the helpers
// of the namespace `sweep` below.
#include <windows.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/registry/Registry.h"

namespace fs = std::filesystem;

namespace sweep {

// A copy of the demo machine at `to`, with the project's deployment library.
void copyDemo(const fs::path& to) {
  fs::copy(fs::path(ZU_SOURCE_DIR) / "examples" / "machines" / "demo", to,
           fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  fs::copy_file(ZU_DEPLOY_SUBSTITUTE, to / "drives/C/Program Files/Zuna/zre1.8.0_31/bin/deploy.dll",
                fs::copy_options::overwrite_existing);
}

// Removes a machine directory. A program a run started (the auto-update tool) may
// outlive the run and add its record to the directory while it is being removed; a
// second pass takes that.
void removeMachine(const fs::path& dir) {
  std::error_code ec;
  for (int pass = 0; pass < 10; ++pass) {
    fs::remove_all(dir, ec);
    if (!ec) return;
  }
  std::fprintf(stderr, "cannot remove %s: %s\n", dir.c_str(), ec.message().c_str());
}

// fork(), the child's standard streams on /dev/null.
pid_t forkQuietly() {
  std::fflush(nullptr);
  pid_t child = ::fork();
  if (child < 0) std::abort();
  if (child == 0) {
    int devnull = ::open("/dev/null", O_RDWR);
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) ::dup2(devnull, fd);
  }
  return child;
}

// The options after argv[first]: --every N, --keep DIR and, when `kind` is given,
// --machine demo|single|family. False for anything else. The working folder is DIR or a
// new one.
bool parseOptions(int argc, char** argv, int first, unsigned long long& every, fs::path& keep, fs::path& work,
                  std::string* kind) {
  for (int i = first; i < argc; ++i) {
    std::string arg = argv[i];
    if (i + 1 >= argc) return false;
    if (arg == "--every") {
      every = std::max(1ull, std::strtoull(argv[++i], nullptr, 10));
    } else if (arg == "--keep") {
      keep = argv[++i];
    } else if (arg == "--machine" && kind) {
      *kind = argv[++i];
    } else {
      return false;
    }
  }
  if (kind && *kind != "demo" && *kind != "single" && *kind != "family") return false;
  char pattern[] = "/tmp/zu-sweep-XXXXXX";
  work = keep.empty() ? fs::path(::mkdtemp(pattern)) : keep;
  fs::create_directories(work);
  return true;
}

}  // namespace sweep

namespace {

using namespace sweep;
constexpr int kRunSeconds = 60;

// The error a failing call of `function` gets: what Windows says most often when that
// call fails on a real computer.
uint32_t errorFor(const std::string& function) {
  static const std::map<std::string, uint32_t> errors = {
      {"CreateFileA", ERROR_SHARING_VIOLATION},  {"CreateFileW", ERROR_SHARING_VIOLATION},
      {"_wfopen", ERROR_SHARING_VIOLATION},      {"_sopen", ERROR_SHARING_VIOLATION},
      {"DeleteFileA", ERROR_SHARING_VIOLATION},  {"_wremove", ERROR_SHARING_VIOLATION},
      {"DeleteFileW", ERROR_SHARING_VIOLATION},
      {"MoveFileExA", ERROR_SHARING_VIOLATION},  {"ReplaceFileW", ERROR_SHARING_VIOLATION},
      {"CopyFileA", ERROR_SHARING_VIOLATION},    {"RemoveDirectoryA", ERROR_SHARING_VIOLATION},
      {"FindFirstFileA", ERROR_FILE_NOT_FOUND},  {"GetFileAttributesA", ERROR_FILE_NOT_FOUND},
      {"_wstat", ERROR_FILE_NOT_FOUND},          {"GetLongPathNameA", ERROR_FILE_NOT_FOUND},
      {"OpenFileMappingA", ERROR_FILE_NOT_FOUND}, {"LoadLibraryA", ERROR_MOD_NOT_FOUND},
      {"LoadLibraryW", ERROR_MOD_NOT_FOUND},     {"GetModuleHandleA", ERROR_MOD_NOT_FOUND},
      {"GetProcAddress", ERROR_PROC_NOT_FOUND},  {"GetEnvironmentVariableA", ERROR_ENVVAR_NOT_FOUND},
  };
  // COM calls fail with an HRESULT: E_ACCESSDENIED, the access error as an HRESULT.
  if (function.find("::") != std::string::npos || function.rfind("Co", 0) == 0) return 0x80070005u;
  auto it = errors.find(function);
  return it == errors.end() ? ERROR_ACCESS_DENIED : it->second;
}

// How a run ended: "exit N", "crashed (signal N)", "hung", each followed by ", machine
// does not load: ..." when the directory it left does not load; only "exit 0" and
// "exit 610017" are allowed.
struct Outcome {
  std::string end;
  std::string function;  // the call that failed
  std::vector<std::string> trace;
  bool allowed() const { return end == "exit 0" || end == "exit 610017"; }
};

// The run itself, in the child: reports "exit <status>\n<failed function>\n<trace...>".
[[noreturn]] void runChild(const fs::path& dir, uint64_t failIndex, uint32_t error, int reportFd) {
  std::string report;
  try {
    hosted::Session session;
    session.answers.assign(64, "ok");
    hosted::Machine& machine = hosted::Machine::load(dir, session);
    machine.setCommandLine(L"\"C:\\Windows\\Temp\\uninstaller.exe\"");
    machine.faults().setTracing(failIndex == 0);
    if (failIndex) machine.faults().failCall(failIndex, error);
    char noArguments[] = "";
    int status = WinMain(reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x140000000ull)), nullptr, noArguments, 1);
    machine.registry().fold();
    report = "exit " + std::to_string(static_cast<uint32_t>(status)) + "\n" + machine.faults().sweptFunction() + "\n";
    for (const auto& function : machine.faults().trace()) report += function + "\n";
  } catch (const hosted::HostFailure& failure) {
    report = "exit " + std::to_string(failure.status) + "\n";
  }
  for (size_t done = 0; done < report.size();) {
    ssize_t n = ::write(reportFd, report.data() + done, report.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  _exit(0);
}

// Runs on a new copy of the demo machine in `work`, removed afterwards unless kept.
Outcome runOnce(const fs::path& work, bool keep, uint64_t failIndex, uint32_t error) {
  fs::path dir = work / ("machine-" + std::to_string(failIndex));
  copyDemo(dir);
  int report[2];
  if (::pipe(report) != 0) std::abort();
  pid_t child = forkQuietly();
  if (child == 0) {
    ::close(report[0]);
    runChild(dir, failIndex, error, report[1]);
  }
  ::close(report[1]);
  std::string text;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kRunSeconds);
  bool hung = false;
  while (true) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if ((hung = left.count() <= 0)) break;
    pollfd p{report[0], POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[4096];
    ssize_t n = ::read(report[0], buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  ::close(report[0]);
  if (hung) ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  Outcome outcome;
  std::istringstream lines(text);
  std::string line;
  if (hung) {
    outcome.end = "hung";
  } else if (WIFSIGNALED(status)) {
    outcome.end = "crashed (signal " + std::to_string(WTERMSIG(status)) + ")";
  } else if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
    // std::exit from inside the run: a prompt nobody could answer (69), say.
    outcome.end = "exit " + std::to_string(WEXITSTATUS(status));
  } else {
    std::getline(lines, outcome.end);
    std::getline(lines, outcome.function);
    while (std::getline(lines, line)) outcome.trace.push_back(line);
  }
  if (!hung && !WIFSIGNALED(status)) {
    try {
      hosted::Machine::load(dir);
    } catch (const hosted::HostFailure& failure) {
      outcome.end += ", machine does not load: " + failure.message;
    }
    hosted::Machine::unload();
  }
  // A program the run started may still be writing there; what is left goes with `work`.
  if (!keep && outcome.allowed()) removeMachine(dir);
  return outcome;
}

}  // namespace

// The kill sweep (kill_sweep.cpp).
int killSweep(int argc, char** argv);

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--kill") return killSweep(argc, argv);
  unsigned long long every = 1;
  fs::path keep, work;
  if (!parseOptions(argc, argv, 1, every, keep, work, nullptr)) {
    std::fprintf(stderr, "usage: zu_fault_sweep [--every N] [--keep DIR]\n"
                         "       zu_fault_sweep --kill [--machine demo|single|family] [--every N] [--keep DIR]\n");
    return 64;
  }
  bool keeping = !keep.empty();
  Outcome clean = runOnce(work, keeping, 0, 0);
  if (!clean.allowed()) {
    std::printf("the demo uninstall without faults ended: %s\n", clean.end.c_str());
    return 1;
  }
  unsigned long long calls = clean.trace.size(), runs = 0;
  std::printf("demo uninstall: %s, %llu Windows calls that can fail\n", clean.end.c_str(), calls);

  std::map<std::string, int> outcomes, failedFunctions;
  std::vector<std::string> problems;
  for (unsigned long long index = 1; index <= calls; index += every) {
    const std::string& function = clean.trace[index - 1];
    uint32_t error = errorFor(function);
    Outcome outcome = runOnce(work, keeping, index, error);
    ++runs;
    ++outcomes[outcome.end];
    ++failedFunctions[outcome.function.empty() ? function : outcome.function];
    if (!outcome.allowed()) {
      if (!keeping) std::printf("kept for a look: %s\n", (work / ("machine-" + std::to_string(index))).c_str());
      problems.push_back("call " + std::to_string(index) + " (" + function + ", error " + std::to_string(error) +
                         "): " + outcome.end);
    }
  }
  std::printf("runs: %llu (every %llu. call failed in turn)\n", runs, every);
  std::printf("calls failed, by function:");
  for (const auto& [function, count] : failedFunctions) std::printf(" %s %d", function.c_str(), count);
  std::printf("\noutcomes:");
  for (const auto& [outcome, count] : outcomes) std::printf(" [%s] %d", outcome.c_str(), count);
  std::printf("\n");
  for (const auto& problem : problems) std::printf("NOT ALLOWED: %s\n", problem.c_str());
  std::printf("%s\n", problems.empty() ? "every run ended with 0 or 610017 and left a machine that loads"
                                       : "some runs ended otherwise");
  if (!keeping && problems.empty()) removeMachine(work);
  return problems.empty() ? 0 : 1;
}
