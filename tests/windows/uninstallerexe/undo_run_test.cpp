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

zutest::RuntimeInstall runtime(const std::string& version) {
  return zutest::runtimeInstall(version, "11", version + "-b17");
}

class UndoRun : public ::testing::Test {
 protected:
  UndoRun() : machine_(scratch_.path()) {}

  // Writes the machine, keeps its registry as it was, and runs the uninstaller.
  zutest::RunResult run(std::vector<std::string> args = {}) {
    machine_.write();
    before_ = zutest::registryContents(scratch_.path() / "registry.reg", InstalledMachine::kUserSid);
    std::vector<std::string> all = {"--machine", scratch_.path().string()};
    if (!args.empty()) {
      all.push_back("--");
      all.insert(all.end(), args.begin(), args.end());
    }
    return zutest::runUninstaller(all);
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
  // Applies the named backup to the registry the run left, and gives what results.
  std::string undone(const std::string& backup) const {
    zutest::applyRegFile(scratch_.path(), readFile(scratch_.path() / kTemp / backup), InstalledMachine::kUserSid);
    return zutest::registryContents(scratch_.path() / "registry.reg", InstalledMachine::kUserSid);
  }
  std::string registryNow() const {
    return zutest::registryContents(scratch_.path() / "registry.reg", InstalledMachine::kUserSid);
  }

  zutest::ScratchDir scratch_;
  InstalledMachine machine_;
  std::string before_;
};

TEST_F(UndoRun, TheBackupOfARunThatRegistersTheRemainingRuntimeAgainGivesBackTheRegistry) {
  machine_.withRuntime(runtime("1.8.0_25"));
  auto outcome = run();
  ASSERT_EQ(outcome.status, 0) << outcome.output;
  ASSERT_NE(registryNow(), before_);

  auto json = result();
  EXPECT_EQ(json["exitCode"], 0);
  EXPECT_EQ(json["release"], "1.8.0_31");
  EXPECT_EQ(json["silent"], false);
  EXPECT_EQ(json["reregistered"], "1.8.0_25");
  EXPECT_EQ(json["restartNeeded"], false);
  EXPECT_TRUE(json["scheduledOperations"].empty());
  EXPECT_GE(json["removed"]["keys"].get<int>(), 2);
  EXPECT_GE(json["removed"]["files"].get<int>(), 1);
  EXPECT_GE(json["created"]["links"].get<int>(), 1);
  auto names = backups();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(json["backup"], names[0]);

  EXPECT_EQ(undone(names[0]), before_);
}

TEST_F(UndoRun, TheBackupOfARunThatRemovesTheLastRuntimeGivesBackTheRegistry) {
  auto outcome = run();
  ASSERT_EQ(outcome.status, 0) << outcome.output;
  auto json = result();
  EXPECT_EQ(json["exitCode"], 0);
  EXPECT_EQ(json["release"], "1.8.0_31");
  EXPECT_TRUE(json["reregistered"].is_null());
  EXPECT_EQ(json["restartNeeded"], false);
  EXPECT_TRUE(json["processesInUse"].empty());
  auto names = backups();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(json["backup"], names[0]);
  // The backup never names the system's reboot-time bookkeeping.
  std::string text = zutest::regFileText(readFile(scratch_.path() / kTemp / names[0]));
  EXPECT_EQ(text.find("PendingFileRenameOperations"), std::string::npos);

  EXPECT_EQ(undone(names[0]), before_);
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
  EXPECT_EQ(undone(second), before_);
}

TEST_F(UndoRun, ASilentRunWithFilesInUseAsksForARestartAndNamesTheProcess) {
  machine_.withMachineJson(R"({"processes": [{"pid": 2000, "ppid": 1, "exe": "editor.exe",
      "image": "C:\\Apps\\editor.exe",
      "modules": ["C:\\Program Files\\Zuna\\zre1.8.0_31\\bin\\zuna.exe"],
      "windows": [{"title": "Editor", "visible": true}]}]})");
  auto outcome = run({"/s"});
  ASSERT_EQ(outcome.status, 0) << outcome.output;
  auto json = result();
  EXPECT_EQ(json["exitCode"], 0);
  EXPECT_EQ(json["silent"], true);
  EXPECT_EQ(json["restartNeeded"], true);
  EXPECT_EQ(json["filesLockedInSilentMode"], true);
  EXPECT_EQ(json["processesInUse"], nlohmann::json::parse(R"([{"pid": 2000, "name": "editor.exe"}])"));
}

TEST_F(UndoRun, ARunThatEndsWithTheExceptionStatusStillWritesItsResult) {
  machine_.withMachineJson(R"({"folders": {"programFilesCommonX86": null}})");
  auto outcome = run();
  ASSERT_EQ(outcome.status, 610017 & 0xFF) << outcome.output;
  auto json = result();
  EXPECT_EQ(json["exitCode"], 610017);
  // What the run did before it ended is still recorded and can be undone.
  auto names = backups();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(json["backup"], names[0]);
  EXPECT_EQ(undone(names[0]), before_);
}

TEST_F(UndoRun, TheReportAndTheDryRunNameBothFiles) {
  machine_.write();
  auto dry = zutest::runUninstaller({"--machine", scratch_.path().string(), "--dry-run"});
  ASSERT_EQ(dry.status, 0) << dry.output;
  EXPECT_NE(dry.output.find("Result: C:\\Users\\user\\AppData\\Local\\Temp\\zusched-result.json"), std::string::npos)
      << dry.output;
  EXPECT_NE(dry.output.find("Registry backup: C:\\Users\\user\\AppData\\Local\\Temp\\zusched-backup-"),
            std::string::npos)
      << dry.output;
  EXPECT_TRUE(backups().empty());

  auto report = zutest::runUninstaller({"--machine", scratch_.path().string(), "--report"});
  ASSERT_EQ(report.status, 0) << report.output;
  auto names = backups();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_NE(report.output.find("Registry backup: C:\\Users\\user\\AppData\\Local\\Temp\\" + names[0]),
            std::string::npos)
      << report.output;
  EXPECT_NE(report.output.find("Result: C:\\Users\\user\\AppData\\Local\\Temp\\zusched-result.json"),
            std::string::npos)
      << report.output;
}

}  // namespace
