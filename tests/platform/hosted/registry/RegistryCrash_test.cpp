// A run killed at any moment loses no registry change whose call returned, and leaves a
// machine directory that loads: the change log a crash leaves is replayed and folded in,
// whatever it holds, and a rewrite ended part way leaves nothing behind.
#include <windows.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include <gtest/gtest.h>

#include "platform/hosted/machine/registry/Registry.h"
#include "tests/support/TestMachine.h"

namespace {

namespace fs = std::filesystem;
constexpr int kCalls = 400;

using RegistryCrashTest = zutest::MachineTest;

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
        hosted::registry::Registry& registry = hosted::machine().registry();
        hosted::registry::KeyPath path = {"HKEY_LOCAL_MACHINE", "SOFTWARE", "Crash", "K" + std::to_string(i % 7)};
        uint8_t low = static_cast<uint8_t>(i), high = static_cast<uint8_t>(i >> 8);
        if (registry.createKey(path) || registry.setValue(path, "v" + std::to_string(i), REG_DWORD, {low, high, 0, 0})) {
          _exit(2);
        }
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
      auto* value = key ? key->findValue("v" + std::to_string(i)) : nullptr;
      ASSERT_TRUE(value) << "round " << round << ", call " << i;
      EXPECT_EQ(value->data, (std::vector<uint8_t>{static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8), 0, 0}));
    }
  }
}

// Whole lines registry.reg cannot hold (a key outside the stored roots, deeper than
// Windows allows, an empty name, a name with a line break or not UTF-8) are passed over,
// keeping every other change. A log replayed onto the file it was already folded into
// (a crash between the rename and the log's removal) changes nothing, and a last line
// cut short is dropped.
TEST(ChangeLogReplay, WhatAFileCannotHoldIsPassedOverAndARepeatedOrTornLogChangesNothing) {
  zutest::ScratchDir dir;
  const std::string sid = "S-1-5-21-1";
  const hosted::registry::KeyPath software = {"HKEY_LOCAL_MACHINE", "SOFTWARE"}, deep(601, "k");
  auto registry = hosted::registry::Registry::load(dir.path(), sid);
  auto under = [](hosted::registry::KeyPath path, const std::vector<std::string>& names) {
    path.insert(path.end(), names.begin(), names.end());
    return path;
  };
  for (const auto& path : {hosted::registry::KeyPath{"NOT_A_ROOT", "x"}, under({"HKEY_LOCAL_MACHINE"}, deep),
                           under(software, {"a", "", "b"}), under(software, {"Bad\xff"}), under(software, {"New"}),
                           under(software, {"A", "B"})}) {
    ASSERT_EQ(registry->createKey(path), 0u);
  }
  const std::vector<uint8_t> one = {1, 0, 0, 0}, two = {2, 0, 0, 0};
  ASSERT_EQ(registry->setValue(under(software, {"New"}), "line\nbreak", REG_DWORD, one), 0u);
  ASSERT_EQ(registry->setValue(under(software, {"New"}), "kept", REG_DWORD, two), 0u);
  ASSERT_EQ(registry->setValue(under(software, {"A", "B"}), "x", REG_DWORD, one), 0u);
  ASSERT_EQ(registry->deleteKey(under(software, {"A", "B"})), 0u);
  ASSERT_EQ(registry->createKey(under(software, {"A", "b"})), 0u);
  ASSERT_EQ(registry->setValue(under(software, {"A", "b"}), "y", REG_DWORD, two), 0u);
  registry.reset();  // as a crash leaves it
  const std::string log = zutest::readFile(dir.path() / "registry.reg.log");

  registry = hosted::registry::Registry::load(dir.path(), sid);
  auto key = registry->find(under(software, {"New"}));
  ASSERT_NE(key, nullptr);
  EXPECT_NE(key->findValue("kept"), nullptr);
  EXPECT_EQ(key->findValue("line\nbreak"), nullptr);
  EXPECT_EQ(registry->find({"NOT_A_ROOT"}), nullptr);
  registry.reset();
  EXPECT_FALSE(fs::exists(dir.path() / "registry.reg.log"));
  std::string folded = zutest::readFile(dir.path() / "registry.reg");
  EXPECT_NE(folded.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\b]\r\n\"y\"=dword:00000002\r\n\r\n"), std::string::npos) << folded;
  EXPECT_EQ(folded.find("\"x\""), std::string::npos) << folded;
  EXPECT_EQ(folded.find("Bad"), std::string::npos) << folded;

  zutest::writeFile(dir.path() / "registry.reg.log", log + log.substr(0, log.size() / 3));
  hosted::registry::Registry::load(dir.path(), sid);
  EXPECT_EQ(zutest::readFile(dir.path() / "registry.reg"), folded);
}

}  // namespace
