// Machine files that are no regular files, or hold values out of any range: every one
// is invalid data (65, naming the file), never a crash or a run that blocks forever.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include <gtest/gtest.h>

#include "platform/hosted/machine/Machine.h"
#include "tests/support/Runs.h"

namespace {

namespace fs = std::filesystem;
using zutest::ScratchDir;
using zutest::writeFile;

struct Outcome {
  bool finished = false;  // false: still blocked after the time allowed, or killed by a signal
  int status = -1;        // the HostFailure's status, 0 when the machine loaded
  std::string message;
};

// Loads `dir` in a child process, so that a crash or a block shows as an outcome.
Outcome loadInChild(const fs::path& dir) {
  int out[2];
  if (::pipe(out) != 0) return {};
  pid_t child = ::fork();
  if (child == 0) {
    ::close(out[0]);
    int status = 0;
    std::string message;
    try {
      hosted::Machine::load(dir);
    } catch (const hosted::HostFailure& failure) {
      status = failure.status;
      message = failure.message;
    } catch (...) {
      _exit(98);  // in the program this would end in std::terminate
    }
    (void)!::write(out[1], message.data(), message.size());
    _exit(status);
  }
  ::close(out[1]);
  Outcome outcome;
  int status = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  pid_t done = 0;
  while ((done = ::waitpid(child, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline) {
    ::poll(nullptr, 0, 10);
  }
  if (done == 0) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    ::close(out[0]);
    return outcome;
  }
  char buffer[1024];
  ssize_t n;
  while ((n = ::read(out[0], buffer, sizeof buffer)) > 0) outcome.message.append(buffer, static_cast<size_t>(n));
  ::close(out[0]);
  outcome.finished = WIFEXITED(status);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

void expectRefusal(const Outcome& outcome, const fs::path& file) {
  ASSERT_TRUE(outcome.finished) << "the load crashed or blocked";
  ASSERT_NE(outcome.status, 98) << "an exception other than a host failure escaped";
  EXPECT_EQ(outcome.status, 65);
  EXPECT_EQ(outcome.message.rfind(file.string(), 0), 0u) << outcome.message;
}

TEST(MachineFiles, NumberOutOfRangeInMachineJsonIsInvalidData) {
  ScratchDir scratch;
  writeFile(scratch.path() / "machine.json", "{\n  \"process\": {\"pid\": 1e999}\n}\n");
  expectRefusal(loadInChild(scratch.path()), scratch.path() / "machine.json");
}

TEST(MachineFiles, DirectoriesInPlaceOfMachineFilesAreInvalidData) {
  for (const char* name : {"machine.json", "registry.reg", "registry.reg.log", "journal.jsonl"}) {
    SCOPED_TRACE(name);
    ScratchDir scratch;
    fs::create_directories(scratch.path() / name / "inside");
    expectRefusal(loadInChild(scratch.path()), scratch.path() / name);
  }
}

TEST(MachineFiles, FifosInPlaceOfMachineFilesAreInvalidData) {
  for (const char* name : {"machine.json", "registry.reg", "registry.reg.log"}) {
    SCOPED_TRACE(name);
    ScratchDir scratch;
    ASSERT_EQ(::mkfifo((scratch.path() / name).c_str(), 0600), 0);
    expectRefusal(loadInChild(scratch.path()), scratch.path() / name);
  }
}

TEST(MachineFiles, RegularFilesStillLoad) {
  ScratchDir scratch;
  writeFile(scratch.path() / "machine.json", "{}");
  writeFile(scratch.path() / "registry.reg", "Windows Registry Editor Version 5.00\n\n");
  writeFile(scratch.path() / "journal.jsonl", "");
  Outcome outcome = loadInChild(scratch.path());
  EXPECT_TRUE(outcome.finished);
  EXPECT_EQ(outcome.status, 0) << outcome.message;
}

}  // namespace
