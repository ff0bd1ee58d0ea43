// The uninstaller on Linux: reads the host options, loads the machine directory,
// hands over to WinMain as Windows would, and reports.
//
//   uninstaller --machine DIR [--answer ok|cancel]... [--dry-run] [--report] [-- ARG...]
#include <windows.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/hosted/api/CommandLine.h"
#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/Report.h"
#include "platform/hosted/machine/Text.h"
#include "platform/hosted/RegistryReport.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: uninstaller --machine DIR [--answer ok|cancel]... [--dry-run] [--report] [-- ARG...]";

struct Options {
  std::string machine;
  std::deque<std::string> answers;
  bool dryRun = false;
  bool report = false;
  std::vector<std::string> arguments;
};

[[noreturn]] void usageError(const std::string& what) {
  std::fprintf(stderr, "uninstaller: %s\n%s\n", what.c_str(), kUsage);
  std::exit(hosted::kExitUsage);
}

Options parseOptions(int argc, char** argv) {
  Options options;
  bool haveMachine = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](const std::string& name) -> std::string {
      if (arg.size() > name.size() && arg.compare(0, name.size() + 1, name + "=") == 0) {
        return arg.substr(name.size() + 1);
      }
      if (i + 1 >= argc) usageError(name + " needs a value");
      return argv[++i];
    };
    auto is = [&](const std::string& name) { return arg == name || arg.rfind(name + "=", 0) == 0; };
    if (arg == "--") {
      for (++i; i < argc; ++i) options.arguments.push_back(argv[i]);
    } else if (is("--machine")) {
      if (haveMachine) usageError("--machine given twice");
      options.machine = value("--machine");
      haveMachine = true;
      if (options.machine.empty()) usageError("--machine needs a directory");
    } else if (is("--answer")) {
      std::string answer = value("--answer");
      if (answer != "ok" && answer != "cancel") usageError("--answer takes ok or cancel, not '" + answer + "'");
      options.answers.push_back(answer);
    } else if (arg == "--dry-run") {
      options.dryRun = true;
    } else if (arg == "--report") {
      options.report = true;
    } else if (arg == "-h" || arg == "--help") {
      std::printf("%s\n", kUsage);
      std::exit(0);
    } else {
      usageError("unknown option '" + arg + "'");
    }
  }
  if (!haveMachine) usageError("--machine DIR is required");
  for (const auto& a : options.arguments) {
    if (!hosted::isValidUtf8(a)) usageError("the argument '" + a + "' is not UTF-8 text");
  }
  return options;
}

std::wstring windowsCommandLine(const std::string& image, const std::vector<std::string>& arguments) {
  std::wstring line = L"\"" + hosted::ansiToWide(image) + L"\"";
  for (const auto& a : arguments) line += L" " + hosted::quoteArgument(hosted::utf8ToWide(a));
  return line;
}

// A scratch copy of the machine for --dry-run, removed again when the run ends.
struct ScratchCopy {
  fs::path dir;
  ~ScratchCopy() {
    std::error_code ec;
    if (!dir.empty()) fs::remove_all(dir, ec);
  }
};

pid_t dryRunChild = 0;

void forwardSignal(int signal) {
  if (dryRunChild > 0) ::kill(dryRunChild, signal);
}

// The dry run's own process: waits for the run and removes the scratch copy however the
// run ended (69 at a prompt, a crash), then ends as the run ended.
int superviseDryRun(pid_t child, ScratchCopy& scratch) {
  dryRunChild = child;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, forwardSignal);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  std::error_code ec;
  fs::remove_all(scratch.dir, ec);
  scratch.dir.clear();
  if (WIFSIGNALED(status)) {
    std::signal(WTERMSIG(status), SIG_DFL);
    std::raise(WTERMSIG(status));
    return 128 + WTERMSIG(status);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : hosted::kExitUnavailable;
}

int run(const Options& options) {
  ScratchCopy scratch;
  fs::path dir = options.machine;
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) throw hosted::HostFailure{hosted::kExitDataError, dir.string() + ": no such machine directory"};
  if (options.dryRun) {
    std::string pattern = (fs::temp_directory_path() / "uninstaller-dry-run-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw hosted::HostFailure{hosted::kExitUnavailable, "cannot make a scratch copy"};
    scratch.dir = pattern;
    // The run ends in ways that skip this process's clean-up (std::exit at a prompt,
    // a crash); it runs in a child, and this process removes the copy after it.
    std::fflush(nullptr);
    pid_t child = ::fork();
    if (child < 0) throw hosted::HostFailure{hosted::kExitUnavailable, "cannot start the dry run"};
    if (child > 0) return superviseDryRun(child, scratch);
    scratch.dir.clear();
    // Copied while no other run is changing it.
    hosted::DirectoryLock original(dir);
    fs::copy(dir, pattern, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    if (ec) throw hosted::HostFailure{hosted::kExitDataError, dir.string() + ": cannot be copied: " + ec.message()};
    dir = pattern;
  }

  hosted::Session session;
  session.answers = options.answers;
  session.interactive = ::isatty(STDIN_FILENO) == 1;
  bool report = options.report || options.dryRun;
  hosted::Machine& machine = hosted::Machine::load(dir, std::move(session));
  // Taken after loading, so that the system folders every Windows has are not news.
  std::optional<hosted::Snapshot> before;
  std::optional<hosted::registry::RegistrySnapshot> registryBefore;
  if (report) {
    before = hosted::Snapshot::take(dir);
    registryBefore = hosted::registry::RegistrySnapshot::take(machine.registry());
  }
  machine.setCommandLine(windowsCommandLine(machine.facts().image, options.arguments));
  std::uintmax_t journalStart = machine.journal().size();
  auto start = hosted::Journal::event("run");
  start["commandLine"] = hosted::wideToUtf8(machine.commandLine());
  machine.journal().append(start);

  std::string tail;
  for (const auto& a : options.arguments) tail += (tail.empty() ? "" : " ") + a;
  auto instance = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x140000000ull));
  int status = WinMain(instance, nullptr, tail.data(), 1 /* SW_SHOWNORMAL */);

  auto end = hosted::Journal::event("run");
  end["exitCode"] = static_cast<uint32_t>(status);
  machine.journal().append(end);
  // After a normal end registry.reg alone holds the registry.
  if (!machine.registry().fold()) {
    std::fprintf(stderr, "uninstaller: %s: cannot be written; its changes stay in %s\n",
                 machine.registry().file().c_str(), machine.registry().logFile().c_str());
  }

  if (report) {
    std::cout << (options.dryRun ? "Dry run on a copy of " : "Machine ") << options.machine << "\n";
    hosted::registry::RegistrySnapshot::writeChanges(std::cout, *registryBefore,
                                                     hosted::registry::RegistrySnapshot::take(machine.registry()));
    hosted::Snapshot after = hosted::Snapshot::take(dir);
    hosted::Snapshot::writeChanges(std::cout, *before, after);
    hosted::Snapshot::writeRunFiles(std::cout, *before, after, machine.facts().folder("temp").value_or(""),
                                    options.dryRun);
    hosted::writeJournalSince(std::cout, machine.journal().file(), journalStart);
    std::cout << "Exit code: " << static_cast<uint32_t>(status) << "\n";
  }
  std::fflush(nullptr);
  hosted::Machine::unloadForExit();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  Options options = parseOptions(argc, argv);
  try {
    return run(options);
  } catch (const hosted::HostFailure& failure) {
    std::fprintf(stderr, "uninstaller: %s\n", failure.message.c_str());
    return failure.status;
  }
}
