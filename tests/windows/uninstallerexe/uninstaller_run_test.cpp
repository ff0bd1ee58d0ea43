// Runs of the uninstaller executable on machine directories, checked from outside:
// exit status, log, journal, and that host failures touch nothing.
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <regex>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/support/Runs.h"

namespace {

namespace fs = std::filesystem;
using zutest::contentsOf;
using zutest::readFile;
using zutest::RunResult;
using zutest::runUninstaller;
using zutest::writeFile;

const char* kLog = "drives/C/Users/user/AppData/Local/Temp/zusched.log";

TEST(UninstallerRun, EmptyMachineRunsCleanlyAndLogsTheEntry) {
  zutest::ScratchDir machine;
  RunResult run = runUninstaller({"--machine", machine.path().string()});
  EXPECT_EQ(run.status, 0) << run.output;
  std::string log = readFile(machine.path() / kLog);
  // The configuration is built first, at the start of WinMain, so its records lead.
  static const std::regex first(
      R"(^\[\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\.\d{3}, uninstaller\.exe \(PID: 4242, TID: \d+\), )"
      R"(InstallConfigData\.cpp:\d+ \(InstallConfigData::InstallConfigData\)\]\r\n)"
      R"(\tTRACE: Entering InstallConfigData::InstallConfigData\r\n)");
  EXPECT_TRUE(std::regex_search(log, first)) << log;
  static const std::regex entry(
      R"(\r\n\[\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\.\d{3}, uninstaller\.exe \(PID: 4242, TID: \d+\), )"
      R"(uninstaller\.cpp:\d+ \(WinMain\)\]\r\n\tTRACE: Entered uninstaller\.exe WinMain\.\r\n)");
  EXPECT_TRUE(std::regex_search(log, entry)) << log;
  // Every line ends in CR LF.
  for (size_t i = 0; (i = log.find('\n', i)) != std::string::npos; ++i) ASSERT_EQ(log[i - 1], '\r');

  auto events = zutest::readJournal(machine.path());
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events.front()["event"], "run");
  EXPECT_EQ(events.front()["commandLine"], "\"C:\\Windows\\Temp\\uninstaller.exe\"");
  EXPECT_EQ(events.back()["event"], "run");
  EXPECT_EQ(events.back()["exitCode"], 0);
}

TEST(UninstallerRun, ArgumentsAreQuotedBehindTheImage) {
  zutest::ScratchDir machine;
  writeFile(machine.path() / "machine.json", R"({"process": {"image": "C:\\Temp Dir\\uninstaller.exe"}})");
  RunResult run =
      runUninstaller({"--machine", machine.path().string(), "--", "/s", "INSTALLCFG=C:\\my cfg.txt", "a\"b"});
  EXPECT_EQ(run.status, 0) << run.output;
  auto events = zutest::readJournal(machine.path());
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front()["commandLine"],
            "\"C:\\Temp Dir\\uninstaller.exe\" /s \"INSTALLCFG=C:\\my cfg.txt\" \"a\\\"b\"");
}

TEST(UninstallerRun, HostFailuresExitWithTheirStatusAndChangeNothing) {
  zutest::ScratchDir machine;
  writeFile(machine.path() / "drives/C/keep.txt", "keep");
  auto before = contentsOf(machine.path());

  RunResult wrongOption = runUninstaller({"--machine", machine.path().string(), "--colour"});
  EXPECT_EQ(wrongOption.status, 64);
  EXPECT_NE(wrongOption.output.find("unknown option '--colour'"), std::string::npos) << wrongOption.output;
  EXPECT_EQ(runUninstaller({}).status, 64);
  EXPECT_EQ(runUninstaller({"--machine", machine.path().string(), "--answer", "maybe"}).status, 64);

  writeFile(machine.path() / "machine.json", "{\n  \"os\": {\n    \"version\": \"10.0\",\n  }\n}\n");
  before = contentsOf(machine.path());
  RunResult invalid = runUninstaller({"--machine", machine.path().string()});
  EXPECT_EQ(invalid.status, 65);
  EXPECT_NE(invalid.output.find("machine.json:4:"), std::string::npos) << invalid.output;
  EXPECT_EQ(contentsOf(machine.path()), before);

  RunResult missing = runUninstaller({"--machine", (machine.path() / "absent").string()});
  EXPECT_EQ(missing.status, 65);
  EXPECT_NE(missing.output.find("absent"), std::string::npos);
  EXPECT_FALSE(fs::exists(machine.path() / "absent"));
}

TEST(UninstallerRun, DryRunReportsAndLeavesTheMachineUntouched) {
  zutest::ScratchDir machine;
  writeFile(machine.path() / "drives/C/keep.txt", "keep");
  auto before = contentsOf(machine.path());
  RunResult run = runUninstaller({"--machine", machine.path().string(), "--dry-run"});
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(contentsOf(machine.path()), before);
  EXPECT_NE(run.output.find("C:\\Users\\user\\AppData\\Local\\Temp\\zusched.log"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("exitCode=0"), std::string::npos) << run.output;
}

}  // namespace
