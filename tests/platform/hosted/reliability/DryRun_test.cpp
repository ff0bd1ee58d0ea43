// A dry run's scratch copy goes however the run ends: with 69 at a prompt nobody can
// answer, or killed by a signal part way.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include <gtest/gtest.h>

#include "platform/hosted/machine/Machine.h"
#include "tests/support/Runs.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using zutest::ScratchDir;

const fs::path kDemo = fs::path(ZU_SOURCE_DIR) / "examples" / "machines" / "demo";

// A dry run of the built uninstaller with TMPDIR set to `temp`, its standard error on
// a pipe; `errFd` receives the pipe's reading end.
pid_t startDryRun(const fs::path& machine, const fs::path& temp, int& errFd) {
  int err[2];
  if (::pipe(err) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, err[0]);
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    if (std::string(*e).rfind("TMPDIR=", 0) != 0) env.emplace_back(*e);
  }
  env.push_back("TMPDIR=" + temp.string());
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string program = ZU_UNINSTALLER_PATH;
  std::string machineArg = machine.string();
  char machineOption[] = "--machine";
  char dryRun[] = "--dry-run";
  char* argv[] = {program.data(), machineOption, machineArg.data(), dryRun, nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(err[1]);
  errFd = err[0];
  return pid;
}

// Reads the pipe until `text` has come (true) or five seconds have passed.
bool awaitText(int fd, const std::string& text, std::string& seen) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (seen.find(text) == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    char buffer[512];
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) return false;
    seen.append(buffer, static_cast<size_t>(n));
  }
  return true;
}

std::vector<pid_t> childrenOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
  std::vector<pid_t> out;
  pid_t child;
  while (in >> child) out.push_back(child);
  return out;
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
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 69) << err;
  EXPECT_TRUE(zutest::contentsOf(temp.path()).empty()) << "the scratch copy was left behind";
}

TEST(DryRunScratch, RemovedWhenTheRunIsKilled) {
  ScratchDir temp;
  ScratchDir machine;
  fs::copy(kDemo, machine.path(), fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  // While this process holds the machine, the dry run waits to copy it.
  hosted::Machine::load(machine.path());
  int errFd = -1;
  pid_t pid = startDryRun(machine.path(), temp.path(), errFd);
  ASSERT_GT(pid, 0);
  std::string err;
  bool waiting = awaitText(errFd, "waiting", err);
  EXPECT_TRUE(waiting) << err;
  // The run is the dry run's own child; its sudden end (a crash, a kill) is the case to survive.
  std::vector<pid_t> runs = childrenOf(pid);
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
