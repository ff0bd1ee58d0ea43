// The kill sweep: an uninstall ended abruptly before any one of its changes to the
// machine is finished by the next run.
//
//   zu_fault_sweep --kill [--machine demo|single|family] [--every N] [--keep DIR]
//
// Runs the uninstaller (the real executable, with the installer's answers) once on a
// fresh copy of the machine for reference; then, for the first, the N+1-th, ... change
// of a whole uninstall, ends a run on a new copy right before that change
// (ZU_HOSTED_KILL_BEFORE_CHANGE) and runs the uninstaller again with the same answers.
// The re-run must exit 0 and leave the registry, the files and the links as the
// reference run left them; what records a run (its log, registry backup and result, the
// deployment library's record of its calls, the journal) is not compared. The machines:
// "demo" (examples/machines/demo: 1.8.0_31 beside 1.7.0_80), "single" (the demo without
// 1.7.0_80) and "family" (the demo with 1.8.0_25 beside: a kill must never cost it its
// family's cached base image or its registration). Exits 1, keeping the machines of the
// kill points that did not converge, when one did not.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/hosted/Report.h"
#include "platform/hosted/RegistryReport.h"
#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/registry/Registry.h"

namespace fs = std::filesystem;

namespace sweep {
void copyDemo(const fs::path& to);
void removeMachine(const fs::path& dir);
pid_t forkQuietly();
bool parseOptions(int argc, char** argv, int first, unsigned long long& every, fs::path& keep, fs::path& work,
                  std::string* kind);
}  // namespace sweep

namespace {

using namespace sweep;

constexpr const char* kRuntimeKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment\\";
constexpr const char* kBaseImage = "drives/C/ProgramData/Vantor/Zuna/installcache_x64/baseimagefam8";
constexpr const char* kRemainingHome = "drives/C/Program Files/Zuna/zre1.8.0_25";

std::string readText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeText(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

// registry.reg without the blocks of the keys `drop` names (whole key paths).
std::string withoutKeys(const std::string& reg, const std::vector<std::string>& drop) {
  std::string out;
  bool dropping = false;
  std::istringstream lines(reg);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line[0] == '[') {
      std::string key = line.substr(1, line.find(']') - 1);
      dropping = false;
      for (const auto& d : drop) dropping = dropping || key == d;
    }
    if (!dropping) out += line + "\n";
  }
  return out;
}

void makeMachine(const std::string& kind, const fs::path& dir) {
  copyDemo(dir);
  fs::path reg = dir / "registry.reg";
  if (kind == "single") {
    std::string user = "HKEY_USERS\\S-1-5-21-1004336348-1177238915-682003330-1001\\Software\\Corvane\\"
                       "Zuna Runtime Environment\\1.7.0_80";
    writeText(reg, withoutKeys(readText(reg), {std::string(kRuntimeKey) + "1.7", std::string(kRuntimeKey) + "1.7.0_80",
                                               std::string(kRuntimeKey) + "1.7.0_80\\MSI", user}));
    fs::remove_all(dir / "drives/C/Program Files/Zuna/zre7");
  } else if (kind == "family") {
    std::string home = "C:\\\\Program Files\\\\Zuna\\\\zre1.8.0_25";
    writeText(reg, readText(reg) + "\n[" + kRuntimeKey + "1.8.0_25]\n\"ZunaHome\"=\"" + home +
                       "\"\n\"RuntimeLib\"=\"" + home + "\\\\bin\\\\server\\\\zvm.dll\"\n\"MicroVersion\"=\"0\"\n" +
                       "\"BuildNumber\"=\"11\"\n");
    for (const char* file : {"zuna.exe", "zunaw.exe", "zunaws.exe", "zabswitch.exe", "HostAccessBridge-64.dll",
                             "server/zvm.dll"}) {
      writeText(dir / kRemainingHome / "bin" / file, "1.8.0_25");
    }
  }
  // Shortcuts carry their target's time: every copy gets the same.
  static const auto when = fs::file_time_type::clock::now() - std::chrono::hours(24 * 30);
  for (const auto& entry : fs::recursive_directory_iterator(dir / "drives")) {
    if (entry.is_regular_file() && !entry.is_symlink()) fs::last_write_time(entry.path(), when);
  }
}

// How one run of the uninstaller ended.
struct RunEnd {
  bool killed = false;
  int status = 0;  // the exit status when it was not killed
};

RunEnd runUninstaller(const fs::path& dir, uint64_t killBefore) {
  pid_t child = forkQuietly();
  if (child == 0) {
    if (killBefore) {
      ::setenv("ZU_HOSTED_KILL_BEFORE_CHANGE", std::to_string(killBefore).c_str(), 1);
    } else {
      ::unsetenv("ZU_HOSTED_KILL_BEFORE_CHANGE");
    }
    std::string machine = dir.string();
    std::vector<const char*> args = {ZU_UNINSTALLER, "--machine", machine.c_str()};
    for (int i = 0; i < 8; ++i) {
      args.push_back("--answer");
      args.push_back("ok");
    }
    args.push_back(nullptr);
    ::execv(ZU_UNINSTALLER, const_cast<char* const*>(args.data()));
    _exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  RunEnd end;
  end.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  end.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  return end;
}

// What a run left that the comparison looks at: the registry and the files and links.
struct State {
  hosted::registry::RegistrySnapshot registry;
  hosted::Snapshot files;
};

State stateOf(const fs::path& dir) {
  hosted::Machine& machine = hosted::Machine::load(dir);
  State state{hosted::registry::RegistrySnapshot::take(machine.registry()), hosted::Snapshot::take(dir)};
  hosted::Machine::unload();
  return state;
}

fs::path hostPath(const fs::path& dir, const std::string& windowsPath) {
  std::string path = windowsPath;
  for (char& c : path) c = c == '\\' ? '/' : c;
  return dir / "drives" / path.substr(0, 1) / path.substr(3);
}

// A shortcut holds its target's creation and access times, which the host gives each
// copy of a machine anew; the rest must be equal.
bool sameShortcut(const fs::path& a, const fs::path& b) {
  std::string x = readText(a), y = readText(b);
  if (x.size() != y.size() || x.size() < 0x4C) return false;
  for (size_t i = 0x1C; i < 0x2C; ++i) x[i] = y[i] = 0;
  return x == y;
}

// The differences from `reference` to `state`, without the files that record a run.
std::string differences(const fs::path& referenceDir, const State& reference, const fs::path& dir,
                        const State& state) {
  std::ostringstream registry, files;
  hosted::registry::RegistrySnapshot::writeChanges(registry, reference.registry, state.registry);
  hosted::Snapshot::writeChanges(files, reference.files, state.files);
  std::string out;
  if (registry.str().find("Registry: no change") == std::string::npos) out += registry.str();
  std::istringstream lines(files.str());
  std::string line;
  while (std::getline(lines, line)) {
    bool records = line.find("\\zusched") != std::string::npos || line.find("deploy.calls") != std::string::npos;
    size_t lnk = line.find(".lnk (");
    size_t path = line.find("C:\\");
    if (line.rfind("  changed ", 0) == 0 && lnk != std::string::npos && path != std::string::npos) {
      std::string windowsPath = line.substr(path, lnk + 4 - path);
      if (sameShortcut(hostPath(referenceDir, windowsPath), hostPath(dir, windowsPath))) continue;
    }
    if (!records && line != "Files: no change" && line != "Files:") out += line + "\n";
  }
  return out;
}

bool hasKey(const fs::path& dir, const std::string& path) {
  hosted::Machine& machine = hosted::Machine::load(dir);
  bool found = machine.registry().find(hosted::registry::splitKeyPath(path)) != nullptr;
  hosted::Machine::unload();
  return found;
}

}  // namespace

int killSweep(int argc, char** argv) {
  std::string kind = "demo";
  unsigned long long every = 1;
  fs::path keep, work;
  if (!parseOptions(argc, argv, 2, every, keep, work, &kind)) {
    std::fprintf(stderr, "usage: zu_fault_sweep --kill [--machine demo|single|family] [--every N] [--keep DIR]\n");
    return 64;
  }

  fs::path referenceDir = work / "reference";
  makeMachine(kind, referenceDir);
  RunEnd whole = runUninstaller(referenceDir, 0);
  if (whole.killed || whole.status != 0) {
    std::printf("%s machine: the uninterrupted uninstall ended with %d\n", kind.c_str(), whole.status);
    return 1;
  }
  State reference = stateOf(referenceDir);
  std::vector<std::string> problems;
  if (kind == "family" && (!fs::exists(referenceDir / kBaseImage) || !hasKey(referenceDir, std::string(kRuntimeKey) + "1.8.0_25"))) {
    problems.push_back("the uninterrupted uninstall took 1.8.0_25's base image or registration");
  }

  unsigned long long points = 0, converged = 0, changes = 0;
  std::map<int, int> rerunStatus;
  for (unsigned long long n = 1;; n += every) {
    fs::path dir = work / ("kill-" + std::to_string(n));
    makeMachine(kind, dir);
    RunEnd first = runUninstaller(dir, n);
    if (!first.killed) {
      // The run makes fewer than n changes: find how many, for the summary.
      changes = n - 1;
      if (every > 1 && n > 1) {
        changes = n - every;
        for (unsigned long long back = n - 1; back > n - every; --back) {
          fs::path probe = work / "probe";
          makeMachine(kind, probe);
          bool killed = runUninstaller(probe, back).killed;
          removeMachine(probe);
          if (killed) {
            changes = back;
            break;
          }
        }
      }
      removeMachine(dir);
      break;
    }
    ++points;
    std::string problem;
    if (kind == "family" && !fs::exists(dir / kBaseImage)) problem = "the kill left no base image of family 1.8; ";
    RunEnd again = runUninstaller(dir, 0);
    ++rerunStatus[again.killed ? -1 : again.status];
    std::string diff = again.killed ? "the re-run was killed\n" : differences(referenceDir, reference, dir, stateOf(dir));
    if (again.status != 0) problem += "the re-run exited " + std::to_string(again.status) + "; ";
    if (!diff.empty()) problem += "differs from the uninterrupted run:\n" + diff;
    if (problem.empty()) {
      ++converged;
      if (keep.empty()) removeMachine(dir);
    } else {
      problems.push_back("kill before change " + std::to_string(n) + ": " + problem);
    }
  }

  std::printf("%s machine: %llu changes in an uninterrupted uninstall; %llu kill points (every %llu. change)\n",
              kind.c_str(), changes, points, every);
  std::printf("converged after one re-run: %llu of %llu; re-run exit statuses:", converged, points);
  for (const auto& [status, count] : rerunStatus) {
    if (status < 0) std::printf(" [killed] %d", count);
    else std::printf(" [%d] %d", status, count);
  }
  std::printf("\n");
  for (const auto& problem : problems) std::printf("NOT CONVERGED: %s\n", problem.c_str());
  if (!problems.empty()) {
    std::printf("machines kept in %s\n", work.c_str());
    return 1;
  }
  if (keep.empty()) removeMachine(work);
  return 0;
}
