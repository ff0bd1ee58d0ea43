// Runs of the uninstaller executable on machine directories, checked from outside: the
// log and journal of a run, and the host's own failures, which touch nothing.
#include <regex>

#include <gtest/gtest.h>

#include "tests/support/Runs.h"

namespace {

namespace fs = std::filesystem;
using zutest::contentsOf;
using zutest::RunResult;
using zutest::runUninstaller;
using zutest::writeFile;

TEST(UninstallerRun, ARunLogsInCrLfRecordsAndJournalsItsQuotedCommandLine) {
  zutest::ScratchDir machine;
  writeFile(machine.path() / "machine.json", R"({"process": {"image": "C:\\Temp Dir\\uninstaller.exe"}})");
  RunResult run = runUninstaller({"--machine", machine.path().string(), "--", "/s", "INSTALLCFG=C:\\my cfg.txt", "a\"b"});
  EXPECT_EQ(run.status, 0) << run.output;
  std::string log = zutest::readFile(machine.path() / "drives/C/Users/user/AppData/Local/Temp/zusched.log");
  static const std::regex entry(
      R"(\r\n\[\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\.\d{3}, uninstaller\.exe \(PID: 4242, TID: \d+\), )"
      R"(uninstaller\.cpp:\d+ \(WinMain\)\]\r\n\tTRACE: Entered uninstaller\.exe WinMain\.\r\n)");
  EXPECT_TRUE(std::regex_search(log, entry)) << log;
  for (size_t i = 0; (i = log.find('\n', i)) != std::string::npos; ++i) ASSERT_EQ(log[i - 1], '\r');

  auto events = zutest::readJournal(machine.path());
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events.front()["event"], "run");
  EXPECT_EQ(events.front()["commandLine"],
            "\"C:\\Temp Dir\\uninstaller.exe\" /s \"INSTALLCFG=C:\\my cfg.txt\" \"a\\\"b\"");
  EXPECT_EQ(events.back()["event"], "run");
  EXPECT_EQ(events.back()["exitCode"], 0);
}

TEST(UninstallerRun, HostFailuresExitWithTheirStatusAndChangeNothing) {
  zutest::ScratchDir machine;
  RunResult wrongOption = runUninstaller({"--machine", machine.path().string(), "--colour"});
  EXPECT_EQ(wrongOption.status, 64);
  EXPECT_NE(wrongOption.output.find("unknown option '--colour'"), std::string::npos) << wrongOption.output;
  EXPECT_EQ(runUninstaller({}).status, 64);
  EXPECT_EQ(runUninstaller({"--machine", machine.path().string(), "--answer", "maybe"}).status, 64);

  writeFile(machine.path() / "drives/C/keep.txt", "keep");
  writeFile(machine.path() / "machine.json", "{\n  \"os\": {\n    \"version\": \"10.0\",\n  }\n}\n");
  auto before = contentsOf(machine.path());
  RunResult invalid = runUninstaller({"--machine", machine.path().string()});
  EXPECT_EQ(invalid.status, 65);
  EXPECT_NE(invalid.output.find("machine.json:4:"), std::string::npos) << invalid.output;
  EXPECT_EQ(contentsOf(machine.path()), before);

  RunResult missing = runUninstaller({"--machine", (machine.path() / "absent").string()});
  EXPECT_EQ(missing.status, 65);
  EXPECT_NE(missing.output.find("absent"), std::string::npos);
  EXPECT_FALSE(fs::exists(machine.path() / "absent"));
}

}  // namespace
