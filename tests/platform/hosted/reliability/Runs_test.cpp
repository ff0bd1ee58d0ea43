// Runs of the uninstaller on machine directories. One it must refuse (machine.json data
// out of range or naming no possible path, machine files that are no regular files,
// drive folders that are host links) ends the run with 65 naming the file, and for
// machine.json the line of the offending field: never a crash, a run that blocks
// forever, or anything created outside the machine. Runs that meet on one directory:
// the second waits for the first to end, saying so, and the registry keeps the changes
// of both. A dry run's scratch copy goes however the run ends: with 69 at a prompt
// nobody can answer, or killed by a signal part way.
#include <windows.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include <gtest/gtest.h>

#include "platform/hosted/machine/JsonLines.h"
#include "platform/hosted/machine/Lock.h"
#include "platform/hosted/machine/registry/Registry.h"
#include "tests/support/Runs.h"

namespace {

namespace fs = std::filesystem;
using zutest::ScratchDir;

const fs::path kDemo = fs::path(ZU_SOURCE_DIR) / "examples" / "machines" / "demo";

// A run of the uninstaller on `dir`, its output gathered; one still running after ten
// seconds is killed.
zutest::RunResult run(const fs::path& dir, const std::string& arguments = "-- /s", const std::string& env = "") {
  std::string command = env + " timeout -s KILL 10 " + zutest::shellQuote(ZU_UNINSTALLER_PATH) + " --machine " +
                        zutest::shellQuote(dir.string()) + " " + arguments + " </dev/null 2>&1";
  zutest::RunResult result;
  FILE* pipe = popen(command.c_str(), "r");
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.output.append(buffer, n);
  int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

TEST(MachineJson, EveryRejectionEndsTheRunWith65NamingTheFileAndTheLineOfTheField) {
  const std::pair<std::string, std::string> cases[] = {
      {"{\n  \"os\": {\"version\": \"10.0\"},\n  \"process\": {\n    \"bitness\": 16\n  }\n}",
       "machine.json:4: process.bitness must be 32 or 64"},
      {"{\n  \"os\": {\n    \"architecture\": \"x86\"\n  },\n  \"process\": {\"pid\": 7,\n \"bitness\": 64}\n}",
       "machine.json:6: process.bitness 64 needs"},
      {"{\"os\":\n {\"version\":\n \"ten\"}}", "machine.json:3: os.version"},
      {"{\n\"os\": {\"architecture\": \"arm\"}}", "machine.json:2: os.architecture"},
      {"{\n\n\"process\": {\"pid\": -1}}", "machine.json:3: process.pid"},
      {"{\"note\": 1e99,\n  \"process\": {\"pid\": 1e999}\n}\n", "machine.json:2: "},  // out of range
      {"{\n\"process\": {\n\"image\": \"relative.exe\"}}", "machine.json:3: process.image"},
      // An image with a quote or a control character would split the command line.
      {R"({"process": {"image": "C:\\Program Files\\a\" \/s.exe"}})", "machine.json:1: process.image"},
      {R"({"process": {"image": "C:\\Windows\\Temp\\un\u0000installer.exe"}})", "machine.json:1: process.image"},
      {R"({"process": {"image": "C:\\Windows\\Temp\\un\ninstaller.exe"}})", "machine.json:1: process.image"},
      {R"({"process": {"image": "C:\\Windows\\Temp\\a|b.exe"}})", "machine.json:1: process.image"},
      {R"({"process": {"currentDirectory": "C:\\x\"y"}})", "machine.json:1: process.currentDirectory"},
      {"{\n\"user\": {\n\"sid\":\n\"S-2\"}}", "machine.json:4: user.sid"},
      {"{\"folders\": {\n\"temp\": \"C:\\\\t\",\n\"system\": 5}}", "machine.json:3: folders.system"},
      {"{\"environment\": {\n\"A\": \"x\",\n\"B\": []}}", "machine.json:3: environment.B"},
      {"{\n\"locale\": []}", "machine.json:2: locale must be an object"},
      {"\n[]", "machine.json:2: the top level must be an object"},
      {"{\"processes\": [\n {\"pid\": 1, \"exe\": \"a.exe\"},\n {\"exe\": \"b.exe\"}\n]}",
       "machine.json:3: processes[1]: pid is required"},
      {"{\"processes\": [\n {\"pid\": 1, \"exe\": \"a.exe\",\n  \"onClose\": \"never\"}]}",
       "machine.json:3: processes[0]: onClose must be"},
      {"{\"processes\": [\n {\"pid\": 1, \"exe\": \"a.exe\"},\n {\"pid\": 1,\n \"exe\": \"b.exe\"}]}",
       "machine.json:3: processes[1]: pid 1 is listed twice"},
      {"{\"processes\": [{\"pid\": 1, \"exe\": \"a.exe\",\n \"windows\": [{\"title\": \"t\"},\n {\"visible\": 1}]}]}",
       "machine.json:3: processes[0]: visible must be true or false"},
      {"{\n\"processes\": {}}", "machine.json:2: processes must be an array"},
  };
  for (const auto& [text, expected] : cases) {
    ScratchDir machine;
    zutest::writeFile(machine.path() / "machine.json", text);
    auto result = run(machine.path());
    EXPECT_EQ(result.status, 65) << text;
    EXPECT_NE(result.output.find("uninstaller: " + (machine.path() / expected).string()), std::string::npos)
        << result.output << "for: " << text;
  }
  EXPECT_NO_THROW(hosted::parseFacts(R"({"process": {"image": "C:\\Program Files (x86)\\Zuna [1]\\un-inst_1.exe"}})",
                                     "machine.json"));
}

TEST(MachineFiles, DirectoriesAndFifosInPlaceOfMachineFilesAreInvalidData) {
  for (bool fifo : {false, true}) {
    for (const char* name : {"machine.json", "registry.reg", "registry.reg.log", "journal.jsonl"}) {
      ScratchDir machine;
      if (fifo) {
        ASSERT_EQ(::mkfifo((machine.path() / name).c_str(), 0600), 0);
      } else {
        fs::create_directories(machine.path() / name / "inside");
      }
      auto result = run(machine.path());
      EXPECT_EQ(result.status, 65) << name;
      EXPECT_NE(result.output.find("uninstaller: " + (machine.path() / name).string() + ": must be a regular file"),
                std::string::npos) << result.output;
    }
  }
}

// A drive folder, or drives/ itself, that is a host link is refused, in a run and in a
// dry run. (Links inside a drive are Windows links: the demo machine has some.)
TEST(DriveLinks, ADriveFolderThatIsALinkIsRefusedAndNothingIsCreatedOutside) {
  for (const char* link : {"drives/C", "drives"}) {
    ScratchDir machine, outside;
    fs::create_directories((machine.path() / link).parent_path());
    fs::create_directory_symlink(outside.path(), machine.path() / link);
    for (const char* arguments : {"-- /s", "--dry-run -- /s"}) {
      auto result = run(machine.path(), arguments);
      EXPECT_EQ(result.status, 65) << result.output;
      EXPECT_NE(result.output.find(std::string(link) + ": "), std::string::npos) << result.output;
      EXPECT_NE(result.output.find("must be a directory"), std::string::npos) << result.output;
      EXPECT_TRUE(zutest::contentsOf(outside.path()).empty());
    }
  }
}

TEST(JsonLine, FindsValuesPastStringsArraysAndRepeatedNames) {
  const std::string text =
      "{\"a\": \"[{\\\"}\",\n"
      " \"b\": [1, [2, 3],\n {\"c\": 4}],\n"
      " \"a\":\n 5}";
  EXPECT_EQ(hosted::jsonLine(text, {}), 1u);
  EXPECT_EQ(hosted::jsonLine(text, {"b"}), 2u);
  EXPECT_EQ(hosted::jsonLine(text, {"b", "2", "c"}), 3u);
  EXPECT_EQ(hosted::jsonLine(text, {"a"}), 5u);  // the later of the two
  EXPECT_EQ(hosted::jsonLine(text, {"b", "7"}), 2u);
  EXPECT_EQ(hosted::jsonLine(text, {"missing", "x"}), 1u);
  // Deep nesting is scanned, not recursed into.
  std::string deep = "{\"x\": " + std::string(100000, '[') + std::string(100000, ']') + ",\n\"y\": 1}";
  EXPECT_EQ(hosted::jsonLine(deep, {"y"}), 2u);
}

// The built uninstaller on `machine` with one or two arguments and TMPDIR set to `temp`,
// its standard error on a pipe whose reading end goes to `errFd`.
pid_t startRun(const fs::path& machine, const fs::path& temp, int& errFd, const char* argument,
               const char* more = nullptr) {
  int err[2];
  if (::pipe(err) != 0) return -1;
  pid_t pid = ::fork();
  if (pid == 0) {
    int devnull = ::open("/dev/null", O_RDWR);
    ::dup2(devnull, STDIN_FILENO);
    ::dup2(devnull, STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    ::setenv("TMPDIR", temp.c_str(), 1);
    ::execl(ZU_UNINSTALLER_PATH, ZU_UNINSTALLER_PATH, "--machine", machine.c_str(), argument, more, nullptr);
    _exit(127);
  }
  ::close(err[1]);
  errFd = err[0];
  return pid;
}

// Reads the pipe until `text` has come (true), it closes or five seconds have passed.
bool awaitText(int fd, const std::string& text, std::string& seen) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (seen.find(text) == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{fd, POLLIN, 0};
    char buffer[512];
    ssize_t n = 0;
    if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0 ||
        (n = ::read(fd, buffer, sizeof buffer)) <= 0) {
      return false;
    }
    seen.append(buffer, static_cast<size_t>(n));
  }
  return true;
}

// The exit status of a run, once its standard error has closed.
int endOf(pid_t pid, int errFd, std::string& err) {
  awaitText(errFd, "\n\n\n", err);
  ::close(errFd);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(ConcurrentRuns, TheSecondRunWaitsAndBothKeepTheirChanges) {
  ScratchDir machine, temp;
  fs::copy(kDemo, machine.path(), fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  const hosted::registry::KeyPath both = {"HKEY_LOCAL_MACHINE", "SOFTWARE", "Both"};
  auto& registry = hosted::Machine::load(machine.path()).registry();
  // The first run has made a change that is only in its change log so far.
  ASSERT_EQ(registry.createKey(both), 0u);
  ASSERT_EQ(registry.setValue(both, "first", REG_DWORD, {1, 0, 0, 0}), 0u);
  int errFd = -1;
  pid_t pid = startRun(machine.path(), temp.path(), errFd, "--", "/s");
  ASSERT_GT(pid, 0);
  std::string err;
  EXPECT_TRUE(awaitText(errFd, "waiting", err)) << "the second run went ahead while the first was running: " << err;
  ASSERT_EQ(registry.setValue(both, "late", REG_DWORD, {3, 0, 0, 0}), 0u);
  ASSERT_TRUE(registry.fold());
  hosted::Machine::unload();
  EXPECT_EQ(endOf(pid, errFd, err), 0) << err;

  auto& after = hosted::Machine::load(machine.path()).registry();
  auto key = after.find(both);
  for (const char* name : {"first", "late"}) EXPECT_TRUE(key && key->findValue(name)) << name;
  EXPECT_EQ(after.find({"HKEY_LOCAL_MACHINE", "SOFTWARE", "Corvane", "Zuna Runtime Environment", "1.8.0_31"}), nullptr);
  EXPECT_FALSE(fs::exists(machine.path() / "registry.reg.log"));
  hosted::Machine::unload();
}

TEST(DryRunScratch, RemovedWhenTheRunEndsWith69) {
  ScratchDir temp;
  auto result = run(kDemo, "--dry-run", "TMPDIR=" + zutest::shellQuote(temp.path().string()));
  EXPECT_EQ(result.status, 69) << result.output;
  EXPECT_TRUE(zutest::contentsOf(temp.path()).empty()) << "the scratch copy was left behind";
}

TEST(DryRunScratch, RemovedWhenTheRunIsKilled) {
  ScratchDir temp, machine;
  fs::copy(kDemo, machine.path(), fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  // While this process holds the machine, the dry run waits to copy it.
  hosted::Machine::load(machine.path());
  int errFd = -1;
  pid_t pid = startRun(machine.path(), temp.path(), errFd, "--dry-run");
  ASSERT_GT(pid, 0);
  std::string err;
  EXPECT_TRUE(awaitText(errFd, "waiting", err)) << err;
  // The run is the dry run's own child; its sudden end (a crash, a kill) is the case to survive.
  std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
  std::vector<pid_t> runs;
  for (pid_t child; children >> child;) runs.push_back(child);
  EXPECT_EQ(runs.size(), 1u);
  for (pid_t run : runs) ::kill(run, SIGKILL);
  if (runs.empty()) ::kill(pid, SIGKILL);
  hosted::Machine::unload();
  EXPECT_EQ(endOf(pid, errFd, err), 128 + SIGKILL) << err;
  EXPECT_TRUE(zutest::contentsOf(temp.path()).empty()) << "the scratch copy was left behind";
}

TEST(TempBeside, EveryCallGetsANameOfItsOwn) {
  ScratchDir scratch;
  fs::path file = scratch.path() / "registry.reg";
  fs::path a, b;
  int fa = hosted::createTempBeside(file, a), fb = hosted::createTempBeside(file, b);
  ASSERT_TRUE(fa >= 0 && fb >= 0);
  EXPECT_NE(a, b);
  EXPECT_EQ(a.parent_path(), scratch.path());
  EXPECT_EQ(a.filename().string().rfind("registry.reg.tmp-", 0), 0u);
  ::close(fa);
  ::close(fb);
}

}  // namespace
