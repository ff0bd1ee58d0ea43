// Runs of the uninstaller with good and bad configurations: what the user sees, what the
// log says, and how the run ends.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/support/Runs.h"

namespace {

namespace fs = std::filesystem;
using zutest::readFile;
using zutest::writeFile;

const char* kLog = "drives/C/Users/user/AppData/Local/Temp/zusched.log";
const char* kRuntimeFile = "drives/C/ProgramData/Vantor/Zuna/zuna.settings.cfg";
constexpr int kExitException = 610017;

// A run with what it left behind: the log and the journal.
struct RunResult : zutest::RunResult {
  std::string log;
  std::vector<nlohmann::json> events;

  std::vector<nlohmann::json> eventsOf(const std::string& kind) const {
    std::vector<nlohmann::json> out;
    for (const auto& e : events) {
      if (e["event"] == kind) out.push_back(e);
    }
    return out;
  }
  bool logHas(const std::string& text) const { return log.find(text) != std::string::npos; }
};

RunResult runOn(const fs::path& machine, const std::vector<std::string>& windowsArgs) {
  std::vector<std::string> args = {"--machine", machine.string(), "--"};
  args.insert(args.end(), windowsArgs.begin(), windowsArgs.end());
  RunResult run;
  static_cast<zutest::RunResult&>(run) = zutest::runUninstaller(args);
  if (fs::exists(machine / kLog)) run.log = readFile(machine / kLog);
  run.events = zutest::readJournal(machine);
  return run;
}

int exitCodeOf(const RunResult& run) {
  auto runs = run.eventsOf("run");
  return runs.empty() ? -1 : runs.back().value("exitCode", -1);
}

TEST(ConfigRun, ConfigurationIsBuiltBeforeTheEntryRecordAndLoggedInTables) {
  zutest::ScratchDir machine;
  RunResult run = runOn(machine.path(), {"/S", "AUTO_UPDATE=Disable"});
  EXPECT_EQ(run.status, 0) << run.output;
  size_t built = run.log.find("Entering InstallConfigData::InstallConfigData");
  size_t entered = run.log.find("Entered uninstaller.exe WinMain.");
  ASSERT_NE(built, std::string::npos) << run.log;
  ASSERT_NE(entered, std::string::npos) << run.log;
  EXPECT_LT(built, entered);
  EXPECT_TRUE(run.logHas("Runtime configuration file doesn't exist. It will be created later by settings_api."));
  EXPECT_TRUE(run.logHas("|------!!!!Working config!!!!--------|\r\n\r\nINSTALL_SILENT = Disable\r\n"));
  EXPECT_TRUE(run.logHas("CMDLINE = AUTO_UPDATE=\"Disable\"\r\n"));
  EXPECT_TRUE(run.logHas("/s = 1\r\n"));
  EXPECT_FALSE(run.logHas("Error occurred while loading configuration settings in Uninstaller."));
  EXPECT_TRUE(run.eventsOf("messageBox").empty());
}

TEST(ConfigRun, BadArgumentShowsOneBoxNamingItAndTheRunGoesOn) {
  zutest::ScratchDir machine;
  RunResult run = runOn(machine.path(), {"/q", "NOT_A_KEY=1"});
  EXPECT_EQ(run.status, 0) << run.output;
  auto boxes = run.eventsOf("messageBox");
  ASSERT_EQ(boxes.size(), 1u) << run.log;
  EXPECT_NE(std::string(boxes[0]["text"]).find("\"NOT_A_KEY=1\";"), std::string::npos) << boxes[0];
  EXPECT_TRUE(run.logHas("arg NOT_A_KEY=1 is not supported"));
  EXPECT_TRUE(run.logHas("Error occurred while importing important args. Exiting installer."));
  EXPECT_TRUE(run.logHas("Error occurred while loading configuration settings in Uninstaller."));
  EXPECT_EQ(exitCodeOf(run), 0);
}

TEST(ConfigRun, TheBoxShowsARefusedArgumentAsTheUserTypedIt) {
  zutest::ScratchDir machine;
  RunResult run = runOn(machine.path(), {"FOO=\xC3\xA9"});
  EXPECT_EQ(run.status, 0) << run.output;
  auto boxes = run.eventsOf("messageBox");
  ASSERT_EQ(boxes.size(), 1u) << run.log;
  // The journal shows the box's text in UTF-8: "é", not "Ã©".
  EXPECT_NE(std::string(boxes[0]["text"]).find("\"FOO=\xC3\xA9\";"), std::string::npos) << boxes[0];
}

TEST(ConfigRun, BadArgumentInASilentRunShowsNoBox) {
  zutest::ScratchDir machine;
  RunResult run = runOn(machine.path(), {"/s", "NOT_A_KEY=1"});
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(run.eventsOf("messageBox").empty());
  EXPECT_TRUE(run.logHas("arg NOT_A_KEY=1 is not supported"));
}

TEST(ConfigRun, InvalidRuntimeFileIsReportedAndTheRunGoesOn) {
  zutest::ScratchDir machine;
  writeFile(machine.path() / kRuntimeFile, "AUTO_UPDATE=maybe\n");
  RunResult run = runOn(machine.path(), {});
  EXPECT_EQ(run.status, 0) << run.output;
  auto boxes = run.eventsOf("messageBox");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0]["text"],
            "The configuration file C:\\ProgramData\\Vantor\\Zuna\\zuna.settings.cfg has an error on line 1.");
  EXPECT_TRUE(run.logHas("Runtime configuration file import failed with 313"));
}

TEST(ConfigRun, FeatureKeyWithoutValueEndsTheRunBeforeAnyStep) {
  zutest::ScratchDir machine;
  writeFile(machine.path() / "drives/C/cfg/install.cfg", "INSTALL_SILENT\n");
  RunResult run = runOn(machine.path(), {"INSTALLCFG=C:\\cfg\\install.cfg"});
  EXPECT_EQ(run.status, kExitException & 0xFF) << run.output;
  EXPECT_EQ(exitCodeOf(run), kExitException);
  EXPECT_TRUE(run.logHas("Exception with message"));
  EXPECT_TRUE(run.eventsOf("messageBox").empty());
  EXPECT_TRUE(run.eventsOf("dialog").empty());
}

TEST(ConfigRun, AKeylessKeyInTheRuntimeFileFailsTheBackupAndTheRunGoesOn) {
  zutest::ScratchDir machine;
  writeFile(machine.path() / kRuntimeFile, "INSTALL_SILENT\n");
  RunResult run = runOn(machine.path(), {});
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(exitCodeOf(run), 0);
  EXPECT_TRUE(run.logHas("Runtime configuration file import failed with 313")) << run.log;
  EXPECT_TRUE(run.logHas("\tERROR: Error occurred while importing runtime file for backup.Exiting installer."));
  EXPECT_TRUE(run.logHas("\tERROR: Error occurred while loading configuration settings in Uninstaller."));
  // The silent-mode query is not asked, so it cannot throw the configuration's exception.
  EXPECT_FALSE(run.logHas("Exception with message '' caught"));
  EXPECT_TRUE(run.eventsOf("messageBox").empty());
}

TEST(ConfigRun, AnInstallConfigurationFileNamedOutsideTheAnsiCodePageIsRead) {
  zutest::ScratchDir machine;
  // C:\cfg\конфиг.cfg, given on the command line as the user typed it.
  const std::string name = "\xD0\xBA\xD0\xBE\xD0\xBD\xD1\x84\xD0\xB8\xD0\xB3.cfg";
  writeFile(machine.path() / "drives/C/cfg" / name, "INSTALL_SILENT=1\n");
  RunResult run = runOn(machine.path(), {"INSTALLCFG=C:\\cfg\\" + name});
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_FALSE(run.logHas("Install Configuration file import failed")) << run.log;
  EXPECT_TRUE(run.eventsOf("messageBox").empty());
}

TEST(ConfigRun, MachineWithoutCommonApplicationDataEndsWithTheExceptionStatus) {
  zutest::ScratchDir machine;
  writeFile(machine.path() / "machine.json", R"({"folders": {"commonAppData": null}})");
  RunResult run = runOn(machine.path(), {});
  EXPECT_EQ(run.status, kExitException & 0xFF) << run.output;
  EXPECT_EQ(exitCodeOf(run), kExitException);
  EXPECT_TRUE(run.logHas("Exception with message")) << run.log;
  EXPECT_FALSE(run.logHas("Entered uninstaller.exe WinMain."));
}

}  // namespace
