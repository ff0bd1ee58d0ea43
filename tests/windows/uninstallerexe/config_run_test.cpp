// Runs of the uninstaller with good and bad configurations: what the user sees, what the
// log's tables say the defaults, files and arguments merged into, and how the run ends.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/support/Runs.h"
#include "windows/common/InstallConfigData.h"

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

using ConfigErrorReport = zutest::MachineTest;

ConfigRun runOn(const fs::path& machine, const std::vector<std::string>& windowsArgs) {
  std::vector<std::string> args = {"--machine", machine.string(), "--"};
  args.insert(args.end(), windowsArgs.begin(), windowsArgs.end());
  ConfigRun run;
  static_cast<zutest::RunResult&>(run) = zutest::runUninstaller(args);
  if (fs::exists(machine / kLog)) run.log = zutest::readFile(machine / kLog);
  run.events = zutest::readJournal(machine);
  return run;
}

// The lines of the log's table `title`, as the run logged it.
std::string table(const std::string& log, const std::string& title) {
  size_t start = log.find("|------" + title + "--------|");
  return start == std::string::npos ? "" : log.substr(start, log.find("|-----------", start + 1) - start);
}

TEST(ConfigRun, TheLogsTablesShowDefaultsUnderFilesUnderArguments) {
  using Lines = std::vector<std::pair<std::string, std::string>>;  // {table, line}
  const std::string working = "!!!!Working config!!!!", backup = "Config to backup", exported = "Config to export";
  struct Case {
    std::vector<std::string> args;
    std::string runtimeFile, installFile;  // contents; the install file is C:\cfg\install.cfg
    Lines lines, absent;
  };
  const Case cases[] = {
      {{}, "", "",
       {{working, "INSTALL_SILENT = Disable"}, {working, "AUTO_UPDATE = Enable"}, {working, "SPONSORS = Enable"}},
       // Defaults reach neither the composed command lines nor the export nor the backup.
       {{working, "CMDLINE"}, {exported, "AUTO_UPDATE"}, {backup, "AUTO_UPDATE"}}},
      // Switches match without case and are kept under their own names; pass-through
      // arguments make the installer's command line in their order; CMDLINE lists the
      // given command-line keys in table order; the export keeps persisted keys.
      {{"/S", "/Q", "-DOWNLOAD", "-No_Override", "/H", "ADDLOCAL=ALL", "/l", "C:\\log.txt", "REBOOT=ReallySuppress",
        "INSTALLDIR=C:\\Zuna", "REINSTALL_NO_PROMPT=1", "auto_update=Disable", "COUNTRYOVERRIDE=DE",
        "Web_Zuna_Security_Level:VH", "/LANG=1033"},
       "", "",
       {{working, "MSI_CMDLINE = /q ADDLOCAL=ALL /l C:\\log.txt REBOOT=ReallySuppress"},
        {working, "/s = 1"}, {working, "/q = 1"}, {working, "-download = 1"}, {working, "-no_override = 1"},
        {working, "/h = 1"},
        {working, "CMDLINE = AUTO_UPDATE=\"Disable\" REINSTALL_NO_PROMPT=\"1\" INSTALLDIR=\"C:\\Zuna\" "
                  "WEB_ZUNA_SECURITY_LEVEL=\"VH\""},
        {working, "ADDLOCAL = ALL"}, {working, "/lang = 1033"}, {exported, "AUTO_UPDATE = Disable"}},
       {{working, "/l ="}, {working, "/S ="}, {exported, "INSTALLDIR"}, {exported, "REINSTALL_NO_PROMPT"}}},
      // The install file overrides the runtime file, the arguments override both; the
      // backup is the runtime file alone.
      {{"INSTALLCFG=C:\\cfg\\install.cfg", "WEB_ANALYTICS=Disable"},
       "AUTO_UPDATE=Disable\nSPONSORS=Disable\nWEB_ANALYTICS=Disable\n",
       "SPONSORS=Enable\nWEB_ANALYTICS=Enable\nINSTALLDIR=C:\\From File\n",
       {{working, "AUTO_UPDATE = Disable"}, {working, "SPONSORS = Enable"}, {working, "WEB_ANALYTICS = Disable"},
        {working, "INSTALLDIR = C:\\From File"}, {working, "INSTALLCFG = C:\\cfg\\install.cfg"},
        {backup, "SPONSORS = Disable"}, {exported, "SPONSORS = Enable"}},
       {{backup, "INSTALLDIR"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.empty() ? c.runtimeFile : c.args.front());
    zutest::ScratchDir machine;
    if (!c.runtimeFile.empty()) zutest::writeFile(machine.path() / kRuntimeFile, c.runtimeFile);
    if (!c.installFile.empty()) zutest::writeFile(machine.path() / "drives/C/cfg/install.cfg", c.installFile);
    ConfigRun run = runOn(machine.path(), c.args);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(run.eventsOf("messageBox").empty());
    EXPECT_FALSE(run.logHas("Error occurred while loading configuration settings in Uninstaller.")) << run.log;
    for (const auto& [title, line] : c.lines) {
      EXPECT_NE(table(run.log, title).find("\r\n" + line + "\r\n"), std::string::npos) << title << ": " << line;
    }
    for (const auto& [title, line] : c.absent) {
      EXPECT_EQ(table(run.log, title).find("\r\n" + line), std::string::npos) << title << ": " << line;
    }
  }
  // The configuration is built first, before the entry record of WinMain.
  zutest::ScratchDir machine;
  ConfigRun run = runOn(machine.path(), {});
  size_t built = run.log.find("Entering InstallConfigData::InstallConfigData");
  EXPECT_LT(built, run.log.find("Entered uninstaller.exe WinMain."));
  EXPECT_NE(built, std::string::npos);
  EXPECT_TRUE(run.logHas("Runtime configuration file doesn't exist. It will be created later by settings_api."));
}

TEST(ConfigRun, BadConfigurationsAreReportedAndOnlyAFaultyInstallFileOrMachineEndsTheRun) {
  struct Case {
    std::vector<std::string> args;
    std::string file, content;  // a file the machine holds
    int exitCode;
    std::string box;  // part of the one error box's text; empty: no box
    std::vector<std::string> logged = {}, notLogged = {};
    size_t boxSize = 0;  // the box text's whole size, if checked
  };
  const std::string cyrillic = "\xD0\xBA\xD0\xBE\xD0\xBD\xD1\x84\xD0\xB8\xD0\xB3.cfg";  // конфиг.cfg
  const std::string notLoaded = "Error occurred while loading configuration settings in Uninstaller.";
  const Case cases[] = {
      {{"/q", "NOT_A_KEY=1"}, "", "", 0, "\"NOT_A_KEY=1\";",
       {"arg NOT_A_KEY=1 is not supported", "Error occurred while importing important args. Exiting installer.",
        notLoaded}},
      // Values checked by their rules (fixed values are case-sensitive; the library fails
      // a number it cannot convert as unexpected), a switch with a value, a feature
      // without one, an unknown name, a line break that would carry a second key in, and
      // a switch without its value: all in one box.
      {{"AUTO_UPDATE=disable", "WEB_ZUNA_SECURITY_LEVEL=5", "/LANG=english", "INSTALLDIR=relative\\dir", "/s=1",
        "INSTALL_SILENT", "BOGUS=1", "AUTO_UPDATE=Enable\nREBOOT=Force", "/q", "/l"},
       "", "", 0,
       "\"AUTO_UPDATE=disable\";\"WEB_ZUNA_SECURITY_LEVEL=5\";\"/LANG=english\";\"INSTALLDIR=relative\\dir\";\"/s=1\";"
       "\"INSTALL_SILENT\";\"BOGUS=1\";\"AUTO_UPDATE=Enable\nREBOOT=Force\";\"/l\";",
       {"Loading arg AUTO_UPDATE=disable failed with 313", "Loading arg /LANG=english failed with 200",
        "arg /l is incorrect"}},
      // The box shows a refused argument as the user typed it: "é", not "Ã©".
      {{"FOO=\xC3\xA9"}, "", "", 0, "\"FOO=\xC3\xA9\";"},
      // Every source of silence keeps the box away.
      {{"/s", "NOT_A_KEY=1"}, "", "", 0, "", {"arg NOT_A_KEY=1 is not supported"}},
      {{"-download", "NOT_A_KEY=1"}, "", "", 0, ""},
      {{"INSTALL_SILENT=Enable", "NOT_A_KEY=1"}, "", "", 0, ""},
      {{"install_silent:1", "NOT_A_KEY=1"}, "", "", 0, ""},
      // A long refusal is cut to the message buffer, not written past it.
      {{"X=" + std::string(5000, 'a')}, "", "", 0, "\"X=aaa", {}, {}, 1023},
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
      EXPECT_EQ(c.boxSize ? std::string(boxes[0]["text"]).size() : 0u, c.boxSize);
    }
    EXPECT_TRUE(run.eventsOf("dialog").empty());
    for (const auto& text : c.logged) EXPECT_TRUE(run.logHas(text)) << text << "\n" << run.log;
    for (const auto& text : c.notLogged) EXPECT_FALSE(run.logHas(text)) << text;
  }
}

TEST_F(ConfigErrorReport, UnknownCodesAndLogOnlyCodesShowNoBox) {
  EXPECT_TRUE(InstallConfigData::ReportConfigError(nullptr, 0, "x", 0, false));
  EXPECT_FALSE(InstallConfigData::ReportConfigError(nullptr, 999, "x", 0, false));
  EXPECT_FALSE(InstallConfigData::ReportConfigError(nullptr, 300, "x", 0, false));
  EXPECT_TRUE(zutest::readJournal(dir()).empty());
}

}  // namespace
