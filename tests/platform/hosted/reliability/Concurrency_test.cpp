// Runs that meet on one machine directory: the second waits for the first to end, saying
// so, and the registry keeps the changes of both. A dry run's scratch copy goes however
// the run ends: with 69 at a prompt nobody can answer, or killed by a signal part way.
#include <windows.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include <gtest/gtest.h>

#include "platform/hosted/machine/Lock.h"
#include "platform/hosted/machine/registry/Registry.h"
#include "tests/support/Runs.h"

namespace {

namespace fs = std::filesystem;
using zutest::ScratchDir;

const fs::path kDemo = fs::path(ZU_SOURCE_DIR) / "examples" / "machines" / "demo";

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
  int errFd = -1;
  pid_t pid = startRun(kDemo, temp.path(), errFd, "--dry-run");
  ASSERT_GT(pid, 0);
  std::string err;
  EXPECT_EQ(endOf(pid, errFd, err), 69) << err;
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
  int fa = hosted::createTempBeside(file, a);
  int fb = hosted::createTempBeside(file, b);
  ASSERT_GE(fa, 0);
  ASSERT_GE(fb, 0);
  EXPECT_NE(a, b);
  EXPECT_EQ(a.parent_path(), scratch.path());
  EXPECT_EQ(a.filename().string().rfind("registry.reg.tmp-", 0), 0u);
  ::close(fa);
  ::close(fb);
}

}  // namespace
