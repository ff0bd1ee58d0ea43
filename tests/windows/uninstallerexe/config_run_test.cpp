// Runs of the uninstaller with good and bad configurations: what the user sees, what the
// log says, and how the run ends.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/support/Runs.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kLog = "drives/C/Users/user/AppData/Local/Temp/zusched.log";
constexpr const char* kRuntimeFile = "drives/C/ProgramData/Vantor/Zuna/zuna.settings.cfg";
constexpr int kExitException = 610017;

// A run with what it left behind: the log and the journal's events of one kind.
struct ConfigRun : zutest::RunResult {
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

ConfigRun runOn(const fs::path& machine, const std::vector<std::string>& windowsArgs) {
  std::vector<std::string> args = {"--machine", machine.string(), "--"};
  args.insert(args.end(), windowsArgs.begin(), windowsArgs.end());
  ConfigRun run;
  static_cast<zutest::RunResult&>(run) = zutest::runUninstaller(args);
  if (fs::exists(machine / kLog)) run.log = zutest::readFile(machine / kLog);
  run.events = zutest::readJournal(machine);
  return run;
}

TEST(ConfigRun, TheConfigurationIsBuiltBeforeTheEntryRecordAndLoggedInTables) {
  zutest::ScratchDir machine;
  ConfigRun run = runOn(machine.path(), {"/S", "AUTO_UPDATE=Disable"});
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

TEST(ConfigRun, BadConfigurationsAreReportedAndOnlyAFaultyInstallFileOrMachineEndsTheRun) {
  struct Case {
    std::vector<std::string> args;
    std::string file, content;  // a file the machine holds
    int exitCode;
    std::string box;  // part of the one error box's text; empty: no box
    std::vector<std::string> logged = {}, notLogged = {};
  };
  const std::string cyrillic = "\xD0\xBA\xD0\xBE\xD0\xBD\xD1\x84\xD0\xB8\xD0\xB3.cfg";  // конфиг.cfg
  const std::string notLoaded = "Error occurred while loading configuration settings in Uninstaller.";
  const Case cases[] = {
      {{"/q", "NOT_A_KEY=1"}, "", "", 0, "\"NOT_A_KEY=1\";",
       {"arg NOT_A_KEY=1 is not supported", "Error occurred while importing important args. Exiting installer.",
        notLoaded}},
      // A switch with a value, a feature without one, an unknown name, and a line break
      // that would carry a second key in: all in one box.
      {{"/s=1", "INSTALL_SILENT", "BOGUS=1", "AUTO_UPDATE=Enable\nREBOOT=Force"}, "", "", 0,
       "\"/s=1\";\"INSTALL_SILENT\";\"BOGUS=1\";"},
      // The box shows a refused argument as the user typed it: "é", not "Ã©".
      {{"FOO=\xC3\xA9"}, "", "", 0, "\"FOO=\xC3\xA9\";"},
      {{"/s", "NOT_A_KEY=1"}, "", "", 0, "", {"arg NOT_A_KEY=1 is not supported"}},
      {{}, kRuntimeFile, "AUTO_UPDATE=Enable\nUNKNOWN_KEY=1\n", 0,
       "The configuration file C:\\ProgramData\\Vantor\\Zuna\\zuna.settings.cfg has an error on line 2.",
       {"Runtime configuration file import failed with 313"}},
      {{}, kRuntimeFile, "AUTO_UPDATE=\xff\n", 0, "is not valid UTF-8 text"},
      {{}, kRuntimeFile, std::string(1 << 20, '#'), 0, "is too large"},
      {{"INSTALLCFG=C:\\absent\\install.cfg"}, "", "", 0,
       "The configuration file C:\\absent\\install.cfg could not be opened."},
      // A keyless key fails the backup of the runtime file, not the run: the silent-mode
      // query is not asked, so it cannot throw.
      {{}, kRuntimeFile, "INSTALL_SILENT\n", 0, "",
       {"Runtime configuration file import failed with 313",
        "\tERROR: Error occurred while importing runtime file for backup.Exiting installer.", "\tERROR: " + notLoaded},
       {"Exception with message '' caught"}},
      // In the install file it reaches the silent-mode query, which throws.
      {{"INSTALLCFG=C:\\cfg\\install.cfg"}, "drives/C/cfg/install.cfg", "INSTALL_SILENT\n", kExitException, "",
       {"Exception with message"}},
      {{}, "machine.json", R"({"folders": {"commonAppData": null}})", kExitException, "", {"Exception with message"},
       {"Entered uninstaller.exe WinMain."}},
      // An install file named outside the ANSI code page, given as the user typed it.
      {{"INSTALLCFG=C:\\cfg\\" + cyrillic}, "drives/C/cfg/" + cyrillic, "INSTALL_SILENT=1\n", 0, "", {},
       {"Install Configuration file import failed", notLoaded}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.empty() ? c.file : c.args.back());
    zutest::ScratchDir machine;
    if (!c.file.empty()) zutest::writeFile(machine.path() / c.file, c.content);
    ConfigRun run = runOn(machine.path(), c.args);
    EXPECT_EQ(run.status, c.exitCode & 0xFF) << run.output;
    auto runs = run.eventsOf("run");
    EXPECT_EQ(runs.empty() ? -1 : runs.back().value("exitCode", -1), c.exitCode);
    auto boxes = run.eventsOf("messageBox");
    ASSERT_EQ(boxes.size(), c.box.empty() ? 0u : 1u) << run.log;
    if (!c.box.empty()) {
      EXPECT_NE(std::string(boxes[0]["text"]).find(c.box), std::string::npos) << boxes[0];
      EXPECT_EQ(boxes[0]["caption"], "Zuna Uninstall - Configuration Error");
      EXPECT_EQ(boxes[0]["style"], 0x10);
    }
    EXPECT_TRUE(run.eventsOf("dialog").empty());
    for (const auto& text : c.logged) EXPECT_TRUE(run.logHas(text)) << text << "\n" << run.log;
    for (const auto& text : c.notLogged) EXPECT_FALSE(run.logHas(text)) << text;
  }
}

}  // namespace
