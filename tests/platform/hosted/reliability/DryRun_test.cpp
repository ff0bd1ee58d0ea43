// A dry run's scratch copy goes however the run ends: with 69 at a prompt nobody can
// answer, or killed by a signal part way.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include <gtest/gtest.h>

#include "platform/hosted/machine/Machine.h"
#include "tests/support/Runs.h"

namespace {

namespace fs = std::filesystem;
using zutest::ScratchDir;

const fs::path kDemo = fs::path(ZU_SOURCE_DIR) / "examples" / "machines" / "demo";

// A dry run of the built uninstaller with TMPDIR set to `temp`, its standard error on
// a pipe whose reading end goes to `errFd`.
pid_t startDryRun(const fs::path& machine, const fs::path& temp, int& errFd) {
  int err[2];
  if (::pipe(err) != 0) return -1;
  pid_t pid = ::fork();
  if (pid == 0) {
    int devnull = ::open("/dev/null", O_RDWR);
    ::dup2(devnull, STDIN_FILENO);
    ::dup2(devnull, STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    ::setenv("TMPDIR", temp.c_str(), 1);
    ::execl(ZU_UNINSTALLER_PATH, ZU_UNINSTALLER_PATH, "--machine", machine.c_str(), "--dry-run", nullptr);
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

TEST(DryRunScratch, RemovedWhenTheRunEndsWith69) {
  ScratchDir temp;
  int errFd = -1;
  pid_t pid = startDryRun(kDemo, temp.path(), errFd);
  ASSERT_GT(pid, 0);
  std::string err;
  awaitText(errFd, "\n\n\n", err);  // reads until the pipe closes
  ::close(errFd);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 69) << status << err;
  EXPECT_TRUE(zutest::contentsOf(temp.path()).empty()) << "the scratch copy was left behind";
}

TEST(DryRunScratch, RemovedWhenTheRunIsKilled) {
  ScratchDir temp, machine;
  fs::copy(kDemo, machine.path(), fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  // While this process holds the machine, the dry run waits to copy it.
  hosted::Machine::load(machine.path());
  int errFd = -1;
  pid_t pid = startDryRun(machine.path(), temp.path(), errFd);
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
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ::close(errFd);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
  EXPECT_TRUE(zutest::contentsOf(temp.path()).empty()) << "the scratch copy was left behind";
}

}  // namespace
