// Runs of the uninstaller on installed machines, seen through the two files each run
// leaves beside its log: the registry backup, which the registry editor applies to
// undo the run, and the result a script reads.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/support/InstalledMachine.h"
#include "tests/support/RegApply.h"
#include "tests/support/Runs.h"

namespace {

namespace fs = std::filesystem;
using zutest::InstalledMachine;
using zutest::readFile;

constexpr const char* kTemp = "drives/C/Users/user/AppData/Local/Temp";

class UndoRun : public ::testing::Test {
 protected:
  UndoRun() : machine_(scratch_.path()) {}

  // Writes the machine, keeps its registry as it was, and runs the uninstaller.
  zutest::RunResult run(std::vector<std::string> args = {}) {
    machine_.write();
    before_ = registryNow();
    args.insert(args.begin(), {"--machine", scratch_.path().string()});
    return zutest::runUninstaller(args);
  }
  nlohmann::json result() const {
    return nlohmann::json::parse(readFile(scratch_.path() / kTemp / "zusched-result.json"));
  }
  std::vector<std::string> backups() const {
    std::vector<std::string> names;
    if (!fs::exists(scratch_.path() / kTemp)) return names;
    for (const auto& entry : fs::directory_iterator(scratch_.path() / kTemp)) {
      std::string name = entry.path().filename().string();
      if (name.rfind("zusched-backup-", 0) == 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  // The run's one backup, named by its result, and the registry that applying it gives.
  std::string undone() const {
    auto names = backups();
    EXPECT_EQ(names.size(), 1u);
    if (names.empty()) return "";
    EXPECT_EQ(result()["backup"], names[0]);
    std::string text = zutest::regFileText(readFile(scratch_.path() / kTemp / names[0]));
    EXPECT_EQ(text.find("PendingFileRenameOperations"), std::string::npos) << "the system's own bookkeeping";
    zutest::applyRegFile(scratch_.path(), readFile(scratch_.path() / kTemp / names[0]), InstalledMachine::kUserSid);
    return registryNow();
  }
  std::string registryNow() const {
    return zutest::registryContents(scratch_.path() / "registry.reg", InstalledMachine::kUserSid);
  }

  zutest::ScratchDir scratch_;
  InstalledMachine machine_;
  std::string before_;
};

TEST_F(UndoRun, TheBackupOfARunGivesBackTheRegistryWhetherARuntimeRemainsOrNot) {
  // The same machine twice: the second time with another runtime to register again.
  for (bool remaining : {false, true}) {
    SCOPED_TRACE(remaining);
    if (remaining) machine_.withRuntime(zutest::runtimeInstall("1.8.0_25", "11", "1.8.0_25-b17"));
    auto outcome = run();
    ASSERT_EQ(outcome.status, 0) << outcome.output;
    ASSERT_NE(registryNow(), before_);
    auto json = result();
    EXPECT_EQ(json["exitCode"], 0);
    EXPECT_EQ(json["release"], "1.8.0_31");
    EXPECT_EQ(json["silent"], false);
    EXPECT_EQ(json["reregistered"], remaining ? nlohmann::json("1.8.0_25") : nlohmann::json());
    EXPECT_EQ(json["restartNeeded"], false);
    EXPECT_TRUE(json["scheduledOperations"].empty());
    EXPECT_TRUE(json["processesInUse"].empty());
    EXPECT_GE(json["removed"]["keys"].get<int>(), 2);
    EXPECT_GE(json["removed"]["files"].get<int>(), 1);
    EXPECT_GE(json["created"]["links"].get<int>(), remaining ? 1 : 0);
    EXPECT_EQ(undone(), before_);
    for (const auto& name : backups()) fs::remove(scratch_.path() / kTemp / name);
  }
}

TEST_F(UndoRun, ASecondRunWritesASecondBackupAndLeavesTheFirst) {
  ASSERT_EQ(run().status, 0);
  auto first = backups();
  ASSERT_EQ(first.size(), 1u);
  std::string firstBytes = readFile(scratch_.path() / kTemp / first[0]);

  // Installed again, and removed again.
  ASSERT_EQ(run().status, 0);
  auto both = backups();
  ASSERT_EQ(both.size(), 2u);
  EXPECT_EQ(readFile(scratch_.path() / kTemp / first[0]), firstBytes);
  std::string second = both[0] == first[0] ? both[1] : both[0];
  EXPECT_EQ(result()["backup"], second);
  zutest::applyRegFile(scratch_.path(), readFile(scratch_.path() / kTemp / second), InstalledMachine::kUserSid);
  EXPECT_EQ(registryNow(), before_);
}

TEST_F(UndoRun, ARunEndedByAFailedFolderQueryHasTheExceptionStatusAndCanStillBeUndone) {
  machine_.withMachineJson(R"({"folders": {"programFilesCommonX86": null}})");
  auto outcome = run();
  ASSERT_EQ(outcome.status, 610017 & 0xFF) << outcome.output;
  EXPECT_EQ(result()["exitCode"], 610017);
  EXPECT_EQ(undone(), before_);
  std::string log = readFile(scratch_.path() / kTemp / "zusched.log");
  // The record names the query that failed, not the helper that wrote it.
  EXPECT_NE(log.find("(SysInfo::getProgramFilesCommonX86Dir)]\r\n\tERROR: GetProgramFilesCommonX86Dir failed with COM "
                     "error 0x80004005"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("(WinMain)]\r\n\tERROR: Exception with message "
                     "'SHGetFolderPath(CSIDL_PROGRAM_FILES_COMMONX86) failed' caught\r\n"),
            std::string::npos);
  EXPECT_EQ(log.find("Not running"), std::string::npos);
}

TEST_F(UndoRun, TheDryRunKeepsTheMachineAndTheReportNamesBothFiles) {
  machine_.write();
  auto before = zutest::contentsOf(scratch_.path());
  auto dry = zutest::runUninstaller({"--machine", scratch_.path().string(), "--dry-run"});
  ASSERT_EQ(dry.status, 0) << dry.output;
  EXPECT_EQ(zutest::contentsOf(scratch_.path()), before);
  for (const char* line : {"exitCode=0", "C:\\Users\\user\\AppData\\Local\\Temp\\zusched.log",
                           "Result: C:\\Users\\user\\AppData\\Local\\Temp\\zusched-result.json",
                           "Registry backup: C:\\Users\\user\\AppData\\Local\\Temp\\zusched-backup-"}) {
    EXPECT_NE(dry.output.find(line), std::string::npos) << line << "\n" << dry.output;
  }

  auto report = zutest::runUninstaller({"--machine", scratch_.path().string(), "--report"});
  ASSERT_EQ(report.status, 0) << report.output;
  auto names = backups();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_NE(report.output.find("Registry backup: C:\\Users\\user\\AppData\\Local\\Temp\\" + names[0]),
            std::string::npos)
      << report.output;
  EXPECT_NE(report.output.find("Result: C:\\Users\\user\\AppData\\Local\\Temp\\zusched-result.json"),
            std::string::npos);
}

}  // namespace
