// Two runs on one machine directory: the second waits for the first to end, and the
// registry keeps the changes of both.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include <gtest/gtest.h>

#include "platform/hosted/machine/Lock.h"
#include "platform/hosted/machine/registry/Registry.h"
#include "tests/support/TestMachine.h"

namespace {

namespace fs = std::filesystem;
using hosted::registry::KeyPath;

const KeyPath kKey = {"HKEY_LOCAL_MACHINE", "SOFTWARE", "Both"};

std::vector<uint8_t> dword(uint8_t v) { return {v, 0, 0, 0}; }

// Waits up to `limit` for the child to end; true when it has.
bool endsWithin(pid_t child, std::chrono::milliseconds limit, int& status) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    pid_t done = ::waitpid(child, &status, WNOHANG);
    if (done == child) return true;
    ::poll(nullptr, 0, 10);
  }
  return false;
}

class ConcurrentRunsTest : public zutest::MachineTest {};

TEST_F(ConcurrentRunsTest, SecondRunWaitsAndBothRunsKeepTheirChanges) {
  // The first run has made a change that is only in its change log so far.
  ASSERT_EQ(machine().registry().createKey(kKey), 0u);
  ASSERT_EQ(machine().registry().setValue(kKey, "first", 4, dword(1)), 0u);
  int errPipe[2];
  ASSERT_EQ(::pipe(errPipe), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::dup2(errPipe[1], STDERR_FILENO);
    ::close(errPipe[0]);
    try {
      hosted::Machine::load(dir());
      if (hosted::machine().registry().setValue(kKey, "second", 4, dword(2)) != 0) _exit(2);
      if (!hosted::machine().registry().fold()) _exit(3);
    } catch (...) {
      _exit(4);
    }
    _exit(0);
  }
  ::close(errPipe[1]);
  int status = 0;
  // The second run cannot get anywhere while the first holds the machine.
  bool endedEarly = endsWithin(child, std::chrono::milliseconds(500), status);
  EXPECT_FALSE(endedEarly) << "the second run went ahead while the first was still running";
  ASSERT_EQ(machine().registry().setValue(kKey, "late", 4, dword(3)), 0u);
  ASSERT_TRUE(machine().registry().fold());
  hosted::Machine::unload();
  if (!endedEarly) {
    ASSERT_TRUE(endsWithin(child, std::chrono::seconds(20), status));
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  std::string err(512, '\0');
  err.resize(std::max<ssize_t>(0, ::read(errPipe[0], err.data(), err.size())));
  ::close(errPipe[0]);
  EXPECT_NE(err.find("waiting"), std::string::npos) << err;

  hosted::Machine::load(dir());
  auto key = machine().registry().find(kKey);
  ASSERT_NE(key, nullptr);
  for (const char* name : {"first", "second", "late"}) EXPECT_NE(key->findValue(name), nullptr) << name;
  EXPECT_FALSE(fs::exists(dir() / "registry.reg.log"));
}

TEST(TempBeside, EveryCallGetsANameOfItsOwn) {
  zutest::ScratchDir scratch;
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
