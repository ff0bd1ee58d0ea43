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
// With --kill it runs the kill sweep instead (kill_sweep.cpp).
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
#include <string>
#include <vector>

#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/registry/Registry.h"

namespace {

namespace fs = std::filesystem;

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

struct Outcome;
bool allowed(const Outcome& outcome);

struct Outcome {
  enum Kind { kExited, kCrashed, kHung } kind = kExited;
  uint32_t status = 0;   // the program's own exit code, when it exited
  int signal = 0;        // when it crashed
  std::string function;  // the call that failed
  std::vector<std::string> trace;
  bool reloads = true;   // the machine directory loads after the run
  std::string reloadFailure;
};

bool allowed(const Outcome& outcome) {
  return outcome.kind == Outcome::kExited && (outcome.status == 0 || outcome.status == 610017) && outcome.reloads;
}

fs::path demoMachine() { return fs::path(ZU_SOURCE_DIR) / "examples" / "machines" / "demo"; }

void copyDemo(const fs::path& to) {
  fs::copy(demoMachine(), to, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  fs::copy_file(ZU_DEPLOY_SUBSTITUTE, to / "drives/C/Program Files/Zuna/zre1.8.0_31/bin/deploy.dll",
                fs::copy_options::overwrite_existing);
}

void writeAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// The run itself, in the child: reports "<status>\n<failed function>\n<trace...>".
[[noreturn]] void runChild(const fs::path& dir, uint64_t failIndex, uint32_t error, bool trace, int reportFd) {
  int devnull = ::open("/dev/null", O_RDWR);
  ::dup2(devnull, STDIN_FILENO);
  ::dup2(devnull, STDOUT_FILENO);
  ::dup2(devnull, STDERR_FILENO);
  try {
    hosted::Session session;
    for (int i = 0; i < 64; ++i) session.answers.push_back("ok");
    hosted::Machine& machine = hosted::Machine::load(dir, session);
    machine.setCommandLine(L"\"" + std::wstring(L"C:\\Windows\\Temp\\uninstaller.exe") + L"\"");
    machine.faults().setTracing(trace);
    if (failIndex) machine.faults().failCall(failIndex, error);
    char noArguments[] = "";
    int status = WinMain(reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x140000000ull)), nullptr, noArguments, 1);
    machine.registry().fold();
    std::string report = std::to_string(static_cast<uint32_t>(status)) + "\n" + machine.faults().sweptFunction() + "\n";
    for (const auto& function : machine.faults().trace()) report += function + "\n";
    writeAll(reportFd, report);
  } catch (const hosted::HostFailure& failure) {
    writeAll(reportFd, "host failure " + std::to_string(failure.status) + ": " + failure.message + "\n");
  }
  ::close(reportFd);
  _exit(0);
}

// Runs on a new copy of the demo machine in `work`, removed afterwards unless kept.
Outcome runOnce(const fs::path& work, bool keep, uint64_t failIndex, uint32_t error, bool trace) {
  fs::path dir = work / ("machine-" + std::to_string(failIndex));
  copyDemo(dir);
  int report[2];
  if (::pipe(report) != 0) std::abort();
  std::fflush(nullptr);
  pid_t child = ::fork();
  if (child < 0) std::abort();
  if (child == 0) {
    ::close(report[0]);
    runChild(dir, failIndex, error, trace, report[1]);
  }
  ::close(report[1]);
  Outcome outcome;
  std::string text;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kRunSeconds);
  bool hung = false;
  while (true) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      hung = true;
      break;
    }
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
  if (hung) {
    outcome.kind = Outcome::kHung;
  } else if (WIFSIGNALED(status)) {
    outcome.kind = Outcome::kCrashed;
    outcome.signal = WTERMSIG(status);
  } else if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
    // std::exit from inside the run: a prompt nobody could answer (69), say.
    outcome.status = static_cast<uint32_t>(WEXITSTATUS(status));
  } else if (text.rfind("host failure", 0) == 0) {
    outcome.status = 65;
    outcome.reloadFailure = text;
  } else {
    size_t first = text.find('\n');
    size_t second = first == std::string::npos ? first : text.find('\n', first + 1);
    outcome.status = static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
    if (second != std::string::npos) {
      outcome.function = text.substr(first + 1, second - first - 1);
      size_t start = second + 1;
      while (start < text.size()) {
        size_t end = text.find('\n', start);
        outcome.trace.push_back(text.substr(start, end - start));
        start = end + 1;
      }
    }
  }
  if (outcome.kind == Outcome::kExited) {
    try {
      hosted::Machine::load(dir);
      hosted::Machine::unload();
    } catch (const hosted::HostFailure& failure) {
      outcome.reloads = false;
      outcome.reloadFailure = failure.message;
      hosted::Machine::unload();
    }
  }
  // A program the run started may still be writing there; what is left goes with `work`.
  std::error_code ec;
  if (!keep && allowed(outcome)) fs::remove_all(dir, ec);
  return outcome;
}

std::string describe(const Outcome& outcome) {
  if (outcome.kind == Outcome::kHung) return "hung";
  if (outcome.kind == Outcome::kCrashed) return "crashed (signal " + std::to_string(outcome.signal) + ")";
  std::string text = "exit " + std::to_string(outcome.status);
  if (!outcome.reloads) text += ", machine does not load: " + outcome.reloadFailure;
  return text;
}

}  // namespace

// The kill sweep (kill_sweep.cpp).
int killSweep(int argc, char** argv);

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--kill") return killSweep(argc, argv);
  uint64_t every = 1;
  fs::path keep;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--every" && i + 1 < argc) {
      every = std::max<uint64_t>(1, std::strtoull(argv[++i], nullptr, 10));
    } else if (arg == "--keep" && i + 1 < argc) {
      keep = argv[++i];
    } else {
      std::fprintf(stderr, "usage: zu_fault_sweep [--every N] [--keep DIR]\n"
                           "       zu_fault_sweep --kill [--machine demo|single|family] [--every N] [--keep DIR]\n");
      return 64;
    }
  }
  char pattern[] = "/tmp/zu-fault-sweep-XXXXXX";
  fs::path work = keep.empty() ? fs::path(::mkdtemp(pattern)) : keep;
  fs::create_directories(work);
  bool keeping = !keep.empty();

  Outcome clean = runOnce(work, keeping, 0, 0, true);
  if (!allowed(clean)) {
    std::printf("the demo uninstall without faults ended: %s\n", describe(clean).c_str());
    return 1;
  }
  uint64_t calls = clean.trace.size();
  std::printf("demo uninstall: exit %u, %llu Windows calls that can fail\n", clean.status,
              static_cast<unsigned long long>(calls));

  std::map<std::string, int> outcomes;
  std::map<std::string, int> failedFunctions;
  std::vector<std::string> problems;
  uint64_t runs = 0;
  for (uint64_t index = 1; index <= calls; index += every) {
    const std::string& function = clean.trace[index - 1];
    uint32_t error = errorFor(function);
    Outcome outcome = runOnce(work, keeping, index, error, false);
    ++runs;
    ++outcomes[describe(outcome)];
    ++failedFunctions[outcome.function.empty() ? function : outcome.function];
    if (!allowed(outcome)) {
      if (!keeping) std::printf("kept for a look: %s\n", (work / ("machine-" + std::to_string(index))).c_str());
      problems.push_back("call " + std::to_string(index) + " (" + function + ", error " + std::to_string(error) +
                         "): " + describe(outcome));
    }
  }
  std::printf("runs: %llu (every %llu. call failed in turn)\n", static_cast<unsigned long long>(runs),
              static_cast<unsigned long long>(every));
  std::printf("calls failed, by function:");
  for (const auto& [function, count] : failedFunctions) std::printf(" %s %d", function.c_str(), count);
  std::printf("\noutcomes:");
  for (const auto& [outcome, count] : outcomes) std::printf(" [%s] %d", outcome.c_str(), count);
  std::printf("\n");
  for (const auto& problem : problems) std::printf("NOT ALLOWED: %s\n", problem.c_str());
  std::printf("%s\n", problems.empty() ? "every run ended with 0 or 610017 and left a machine that loads"
                                       : "some runs ended otherwise");
  std::error_code ec;
  if (!keeping && problems.empty()) fs::remove_all(work, ec);
  return problems.empty() ? 0 : 1;
}
