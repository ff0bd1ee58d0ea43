// A run killed at any moment leaves a machine directory that loads with every change
// a registry call reported done: the child reports each finished call through a pipe,
// the parent kills it after a random number of reports and reloads the directory.
#include <windows.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include <gtest/gtest.h>

#include "platform/hosted/machine/registry/Registry.h"
#include "tests/support/TestMachine.h"

namespace {

constexpr int kCalls = 400;

// The child: sets value v<i> = i in one of a few keys, folding now and then as a run's
// end does, so that kills also land inside a fold. Never returns.
[[noreturn]] void runChild(const std::filesystem::path& dir, int reportFd) {
  hosted::Machine::load(dir);
  for (int i = 0; i < kCalls; ++i) {
    std::string path = "SOFTWARE\\Crash\\K" + std::to_string(i % 7);
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
      _exit(2);
    }
    std::string name = "v" + std::to_string(i);
    DWORD data = static_cast<DWORD>(i);
    if (RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), 4) != ERROR_SUCCESS) {
      _exit(3);
    }
    RegCloseKey(key);
    if (i % 50 == 49) hosted::machine().registry().fold();
    if (::write(reportFd, &i, sizeof i) != sizeof i) _exit(4);
  }
  _exit(0);
}

class RegistryCrashTest : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }
};

TEST_F(RegistryCrashTest, KilledRunsLoseNoReportedChange) {
  zutest::writeFile(dir() / "registry.reg",
                    "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Keep]\n\"k\"=\"kept\"\n");
  std::mt19937 random(20240601);
  int reportedOverall = -1;
  for (int round = 0; round < 12; ++round) {
    hosted::Machine::unload();
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(pipeFds[0]);
      runChild(dir(), pipeFds[1]);
    }
    ::close(pipeFds[1]);
    int killAfter = static_cast<int>(random() % kCalls);
    int last = -1;
    int value = 0;
    while (last < killAfter && ::read(pipeFds[0], &value, sizeof value) == sizeof value) last = value;
    ::kill(child, SIGKILL);
    // Calls reported before the kill landed count as done too.
    while (::read(pipeFds[0], &value, sizeof value) == sizeof value) last = value;
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << status;
    reportedOverall = std::max(reportedOverall, last);

    load();
    for (int i = 0; i <= reportedOverall; ++i) {
      std::string path = "SOFTWARE\\Crash\\K" + std::to_string(i % 7);
      HKEY key = nullptr;
      ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS)
          << "round " << round << ", call " << i;
      DWORD data = 0, size = sizeof data;
      EXPECT_EQ(RegQueryValueExA(key, ("v" + std::to_string(i)).c_str(), nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(&data), &size),
                ERROR_SUCCESS)
          << "round " << round << ", call " << i;
      EXPECT_EQ(data, static_cast<DWORD>(i));
      RegCloseKey(key);
    }
    HKEY keep = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Keep", 0, KEY_READ, &keep), ERROR_SUCCESS);
    RegCloseKey(keep);
    EXPECT_FALSE(std::filesystem::exists(dir() / "registry.reg.log")) << "the load folds what a crash left";
  }
}

// A log whose last line was cut short, and a log replayed onto the registry.reg it was
// already folded into (a crash between the rename and the removal of the log).
TEST_F(RegistryCrashTest, TornAndRepeatedLogsReplaySafely) {
  load();
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A\\B", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, "x", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2);
  RegCloseKey(key);
  ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A\\B"), ERROR_SUCCESS);
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A\\b", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, "y", 0, REG_SZ, reinterpret_cast<const BYTE*>("2"), 2);
  RegCloseKey(key);
  hosted::Machine::unload();
  std::string log = zutest::readFile(dir() / "registry.reg.log");
  ASSERT_FALSE(log.empty());

  // Fold, then put the same log back, followed by half a record.
  load();
  std::string folded = zutest::readFile(dir() / "registry.reg");
  hosted::Machine::unload();
  zutest::writeFile(dir() / "registry.reg.log", log + log.substr(0, log.size() / 3));
  load();
  EXPECT_EQ(zutest::readFile(dir() / "registry.reg"), folded);
  EXPECT_NE(folded.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\b]\r\n\"y\"=\"2\""), std::string::npos) << folded;
  EXPECT_EQ(folded.find("\"x\""), std::string::npos) << folded;
}

// A run ended while it rewrote registry.reg or machine.json left the new text beside it;
// the next load removes those files, and only those.
TEST_F(RegistryCrashTest, TheNextLoadRemovesTheTemporaryFilesOfAnEndedRewrite) {
  for (const char* name : {"registry.reg.tmp-a1B2c3", "machine.json.tmp-Zz9yY8", "registry.reg.tmp-notmine1",
                           "registry.reg.tmpl"}) {
    zutest::writeFile(dir() / name, "half a rewrite");
  }
  load();
  EXPECT_FALSE(std::filesystem::exists(dir() / "registry.reg.tmp-a1B2c3"));
  EXPECT_FALSE(std::filesystem::exists(dir() / "machine.json.tmp-Zz9yY8"));
  EXPECT_TRUE(std::filesystem::exists(dir() / "registry.reg.tmp-notmine1"));
  EXPECT_TRUE(std::filesystem::exists(dir() / "registry.reg.tmpl"));
}

}  // namespace
