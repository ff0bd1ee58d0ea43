// A run killed at any moment loses no registry change whose call returned, and leaves a
// machine directory that loads: the change log a crash leaves is replayed and folded in,
// whatever it holds, and a rewrite ended part way leaves nothing behind.
#include <windows.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <random>

#include <gtest/gtest.h>

#include "platform/hosted/machine/registry/Registry.h"
#include "tests/support/TestMachine.h"

namespace {

namespace fs = std::filesystem;
constexpr int kCalls = 400;

class RegistryCrashTest : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }
};

// A child sets value v<i> = i in one of a few keys, folding now and then as a run's end
// does, so that kills also land inside a fold, and reports each call that returned
// through a pipe; the parent kills it after a random number of reports and reloads.
// The temporary files a rewrite ended part way leaves (and only those) go at a load.
TEST_F(RegistryCrashTest, KilledRunsLoseNoReportedChange) {
  zutest::writeFile(dir() / "registry.reg",
                    "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Keep]\n\"k\"=\"kept\"\n");
  const char* const kTemporary[] = {"registry.reg.tmp-a1B2c3", "machine.json.tmp-Zz9yY8", "registry.reg.tmp-notmine1",
                                    "registry.reg.tmpl"};
  for (const char* name : kTemporary) zutest::writeFile(dir() / name, "half a rewrite");
  std::mt19937 random(20240601);
  int reported = -1;
  for (int round = 0; round < 12; ++round) {
    hosted::Machine::unload();
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(pipeFds[0]);
      hosted::Machine::load(dir());
      for (int i = 0; i < kCalls; ++i) {
        HKEY key = nullptr;
        DWORD data = static_cast<DWORD>(i);
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, ("SOFTWARE\\Crash\\K" + std::to_string(i % 7)).c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS ||
            RegSetValueExA(key, ("v" + std::to_string(i)).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                           4) != ERROR_SUCCESS) {
          _exit(2);
        }
        RegCloseKey(key);
        if (i % 50 == 49) hosted::machine().registry().fold();
        if (::write(pipeFds[1], &i, sizeof i) != sizeof i) _exit(3);
      }
      _exit(0);
    }
    ::close(pipeFds[1]);
    int killAfter = static_cast<int>(random() % kCalls);
    int last = -1, value = 0;
    while (last < killAfter && ::read(pipeFds[0], &value, sizeof value) == sizeof value) last = value;
    ::kill(child, SIGKILL);
    // Calls reported before the kill landed count as done too.
    while (::read(pipeFds[0], &value, sizeof value) == sizeof value) last = value;
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << status;
    reported = std::max(reported, last);

    load();
    EXPECT_FALSE(fs::exists(dir() / "registry.reg.log")) << "the load folds what a crash left";
    for (int i = 0; i < 4; ++i) EXPECT_EQ(fs::exists(dir() / kTemporary[i]), i >= 2) << kTemporary[i];
    ASSERT_TRUE(machine().registry().find({"HKEY_LOCAL_MACHINE", "SOFTWARE", "Keep"}));
    for (int i = 0; i <= reported; ++i) {
      auto key = machine().registry().find({"HKEY_LOCAL_MACHINE", "SOFTWARE", "Crash", "K" + std::to_string(i % 7)});
      ASSERT_TRUE(key) << "round " << round << ", call " << i;
      auto* value = key->findValue("v" + std::to_string(i));
      ASSERT_TRUE(value) << "round " << round << ", call " << i;
      EXPECT_EQ(value->data, (std::vector<uint8_t>{static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8), 0, 0}));
    }
  }
}

std::string hex(const std::string& bytes) {
  std::string out = bytes.empty() ? "-" : "";
  char buffer[3];
  for (unsigned char c : bytes) {
    std::snprintf(buffer, sizeof buffer, "%02x", c);
    out += buffer;
  }
  return out;
}

// One line of registry.reg.log: "<FNV-1a of the rest, 16 hex digits> <op> <path> <name> <type> <data>",
// setting a REG_DWORD when `dword` is given.
std::string logLine(char op, const std::string& path, const std::string& name = "", int dword = -1) {
  std::string data = dword < 0 ? "" : std::string(1, static_cast<char>(dword)) + std::string(3, '\0');
  std::string payload = std::string(1, op) + " " + hex(path) + " " + hex(name) + (dword < 0 ? " 0 " : " 4 ") + hex(data);
  uint64_t hash = 1469598103934665603ull;
  for (char c : payload) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  char sum[20];
  std::snprintf(sum, sizeof sum, "%016llx ", static_cast<unsigned long long>(hash));
  return sum + payload + "\n";
}

// Whole lines registry.reg cannot hold (a key outside the stored roots, deeper than
// Windows allows, an empty name, a name with a line break or not UTF-8) are passed over,
// keeping every other change. A log replayed onto the file it was already folded into
// (a crash between the rename and the log's removal) changes nothing, and a last line
// cut short is dropped.
TEST(ChangeLogReplay, WhatAFileCannotHoldIsPassedOverAndARepeatedOrTornLogChangesNothing) {
  zutest::ScratchDir dir;
  std::string deep = "HKEY_LOCAL_MACHINE";
  for (int i = 0; i < 600; ++i) deep += "\\k";
  const std::string log =
      logLine('K', "NOT_A_ROOT\\x") + logLine('K', deep) + logLine('K', "HKEY_LOCAL_MACHINE\\a\\\\b") +
      logLine('K', "HKEY_LOCAL_MACHINE\\SOFTWARE\\New") + logLine('V', "HKEY_LOCAL_MACHINE\\SOFTWARE\\New", "line\nbreak", 1) +
      logLine('K', "HKEY_LOCAL_MACHINE\\SOFTWARE\\Bad\xff") + logLine('V', "HKEY_LOCAL_MACHINE\\SOFTWARE\\New", "kept", 2) +
      logLine('K', "HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\B") + logLine('V', "HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\B", "x", 1) +
      logLine('D', "HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\B") + logLine('K', "HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\b") +
      logLine('V', "HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\b", "y", 2);
  zutest::writeFile(dir.path() / "registry.reg.log", log);
  auto registry = hosted::registry::Registry::load(dir.path(), "S-1-5-21-1");
  auto key = registry->find({"HKEY_LOCAL_MACHINE", "SOFTWARE", "New"});
  ASSERT_NE(key, nullptr);
  EXPECT_NE(key->findValue("kept"), nullptr);
  EXPECT_EQ(key->findValue("line\nbreak"), nullptr);
  EXPECT_EQ(registry->find({"NOT_A_ROOT"}), nullptr);
  registry.reset();
  EXPECT_FALSE(fs::exists(dir.path() / "registry.reg.log"));
  std::string folded = zutest::readFile(dir.path() / "registry.reg");
  EXPECT_NE(folded.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\b]\r\n\"y\"=dword:00000002\r\n\r\n"), std::string::npos) << folded;
  EXPECT_EQ(folded.find("\"x\""), std::string::npos) << folded;

  zutest::writeFile(dir.path() / "registry.reg.log", log + log.substr(0, log.size() / 3));
  hosted::registry::Registry::load(dir.path(), "S-1-5-21-1");
  EXPECT_EQ(zutest::readFile(dir.path() / "registry.reg"), folded);
}

}  // namespace
