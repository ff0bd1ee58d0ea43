// Whole runs of the uninstaller on machines with scripted processes: what the dialogs
// show, whom they close, and how the run ends.
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/Runs.h"

namespace {

using Json = nlohmann::json;
using zutest::readFile;
using zutest::writeFile;

// A process that holds runtime files through a launcher library of the system folder.
std::string inUse(unsigned pid, const std::string& exe, const std::string& more = "") {
  return "{\"pid\": " + std::to_string(pid) + ", \"exe\": \"" + exe +
         R"(", "modules": ["C:\\Windows\\System32\\deployZuna1.dll"])" + (more.empty() ? "" : ", " + more) + "}";
}

constexpr const char* kRelease =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment\\1.8.0_31]\r\n"
    "\"ZunaHome\"=\"C:\\\\Program Files\\\\Zuna\\\\zre1.8.0_31\"\r\n\r\n";

class FilesInUseRunTest : public ::testing::Test {
 protected:
  void Processes(const std::string& list) { writeFile(at("machine.json"), "{\"processes\": [" + list + "]}"); }
  // Runs the uninstaller with the answers; returns its exit status (8 bits on Linux).
  int Run(const std::vector<std::string>& answers, const std::string& arg = "") {
    std::vector<std::string> args = {"--machine", scratch_.path().string()};
    for (const std::string& a : answers) args.insert(args.end(), {"--answer", a});
    if (!arg.empty()) args.insert(args.end(), {"--", arg});
    zutest::RunResult result = zutest::runUninstaller(args);
    output_ = result.output;
    events_ = zutest::readJournal(scratch_.path());
    return result.status;
  }
  std::vector<Json> Events(const std::string& name) {
    std::vector<Json> events;
    for (const Json& event : events_) {
      if (event["event"] == name) events.push_back(event);
    }
    return events;
  }
  std::vector<unsigned> Remaining() {
    std::vector<unsigned> pids;
    Json machine = Json::parse(readFile(at("machine.json")));
    for (const Json& p : machine["processes"]) pids.push_back(p["pid"]);
    return pids;
  }
  std::filesystem::path at(const std::string& relative) const { return scratch_.path() / relative; }

  zutest::ScratchDir scratch_;
  std::string output_;
  std::vector<Json> events_;
};

TEST_F(FilesInUseRunTest, AProgramIsListedByItsTitleAndClosedByItsMainWindowAfterConfirmation) {
  // Its hidden input-method window gets WM_CLOSE too, but only the main window ends it.
  Processes(inUse(2000, "editor.exe", R"("windows": [{"title": "Notes - Editor"}, {"title": "Default IME", "visible": false}])") +
            R"(, {"pid": 3000, "exe": "bystander.exe", "windows": [{"title": "Bystander"}]})");
  EXPECT_EQ(Run({"ok"}), 0);
  auto dialogs = Events("dialog");
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0]["resource"], 8900);
  EXPECT_EQ(dialogs[0]["caption"], "Zuna Setup - Close Programs");
  EXPECT_EQ(dialogs[0]["lines"], Json::array({"Notes - Editor"}));
  auto boxes = Events("messageBox");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0]["style"], 0x131);
  EXPECT_EQ(boxes[0]["caption"], "Zuna Setup - Close Programs");
  auto posts = Events("postMessage");
  ASSERT_EQ(posts.size(), 2u);
  EXPECT_EQ(posts[0]["pid"], 2000);
  EXPECT_EQ(posts[0]["message"], 16);
  EXPECT_EQ(posts[0]["title"], "Notes - Editor");
  EXPECT_EQ(posts[1]["title"], "Default IME");
  EXPECT_TRUE(Events("terminateProcess").empty());
  EXPECT_EQ(Remaining(), std::vector<unsigned>{3000});
}

TEST_F(FilesInUseRunTest, AProgramThatDoesNotCloseOnItsWindowsIsTerminatedAfterTheWait) {
  for (const char* more : {R"("windows": [{"title": "Default IME", "visible": false}])",
                           R"("windows": [{"title": "Stubborn"}], "onClose": "ignore")"}) {
    SCOPED_TRACE(more);
    std::filesystem::remove(at("journal.jsonl"));
    Processes(inUse(2000, "stubborn.exe", more));
    EXPECT_EQ(Run({"ok"}), 0);
    EXPECT_EQ(Events("postMessage").size(), 1u);
    auto kills = Events("terminateProcess");
    ASSERT_EQ(kills.size(), 1u);
    EXPECT_EQ(kills[0]["pid"], 2000);
    EXPECT_EQ(kills[0]["exitCode"], 0);
    EXPECT_TRUE(Remaining().empty());
  }
}

TEST_F(FilesInUseRunTest, ACancelledConfirmationLeavesTheDialogOpen) {
  Processes(inUse(2000, "editor.exe"));
  EXPECT_EQ(Run({"cancel", "ok"}), 0);
  auto dialogs = Events("dialog");
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0]["lines"], Json::array({"editor.exe"}));
  auto boxes = Events("messageBox");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0]["answer"], "cancel");
  EXPECT_EQ(boxes[1]["answer"], "ok");
  // Without windows the process is terminated after the wait.
  EXPECT_EQ(Events("terminateProcess").size(), 1u);
  EXPECT_TRUE(Remaining().empty());
}

TEST_F(FilesInUseRunTest, FirefoxAloneGetsTheBrowsersDialogAndItsWindowsDestroyed) {
  Processes(inUse(2000, "firefox.exe",
                  R"("windows": [{"title": "Mozilla Firefox"}, {"title": "Downloads", "visible": false}])"));
  EXPECT_EQ(Run({"ok"}), 0);
  auto dialogs = Events("dialog");
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0]["resource"], 8901);
  EXPECT_EQ(dialogs[0]["caption"], "Zuna Setup - Close Browsers");
  EXPECT_EQ(dialogs[0]["lines"], Json::array({"\u2022  Mozilla Firefox"}));
  EXPECT_EQ(Events("messageBox")[0]["caption"], "Zuna Setup - Close Browsers");
  EXPECT_EQ(Events("destroyWindow").size(), 1u) << "the process ends with its first window";
  EXPECT_TRUE(Events("postMessage").empty());
  EXPECT_TRUE(Remaining().empty());
}

TEST_F(FilesInUseRunTest, HelpersAndTabsCloseTheirBrowser) {
  const std::string ie = R"("image": "C:\\IE\\iexplore.exe")";
  Processes(R"({"pid": 100, "exe": "iexplore.exe", )" + ie + R"(, "windows": [{"title": "Internet Explorer"}]}, )" +
            inUse(101, "iexplore.exe", R"("ppid": 100, )" + ie) + ", " + inUse(102, "zp2launcher.exe", R"("ppid": 100)"));
  EXPECT_EQ(Run({"ok", "ok"}), 0);
  auto dialogs = Events("dialog");
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[0]["resource"], 8901);
  EXPECT_EQ(dialogs[0]["lines"], Json::array({"\u2022  Windows Internet Explorer"}));
  auto posts = Events("postMessage");
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0]["pid"], 100);
  // On this machine the tab and the launcher outlive their browser. Once the browser is
  // gone they are closed themselves: the launcher at once, the tab at the next showing.
  auto kills = Events("terminateProcess");
  ASSERT_EQ(kills.size(), 2u);
  EXPECT_EQ(kills[0]["pid"], 102);
  EXPECT_EQ(kills[1]["pid"], 101);
  EXPECT_TRUE(Remaining().empty());
}

TEST_F(FilesInUseRunTest, AProgramIsAskedToCloseHoweverManyWindowsOthersHave) {
  // 1,100 windows of another program come first in the desktop's order.
  std::string crowd = R"({"pid": 3000, "exe": "crowd.exe", "windows": [)";
  for (int i = 0; i < 1100; ++i) crowd += std::string(i ? "," : "") + R"({"title": "Crowd )" + std::to_string(i) + "\"}";
  Processes(crowd + "]}, " + inUse(2000, "editor.exe", R"("windows": [{"title": "Notes - Editor"}])"));
  EXPECT_EQ(Run({"ok"}), 0);
  auto posts = Events("postMessage");
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0]["pid"], 2000);
  // It closed on the message; nobody had to terminate it.
  EXPECT_TRUE(Events("terminateProcess").empty());
  EXPECT_EQ(Remaining(), std::vector<unsigned>{3000});
}

TEST_F(FilesInUseRunTest, TheProgramListIsSortedAsTheUsersLocaleSortsWords) {
  Processes(inUse(2000, "a.exe", R"("windows": [{"title": "MyApp"}])") + ", " +
            inUse(2001, "b.exe", R"("windows": [{"title": "My_App"}])"));
  EXPECT_EQ(Run({"ok"}), 0);
  auto dialogs = Events("dialog");
  ASSERT_EQ(dialogs.size(), 1u);
  // Punctuation sorts before letters; upper-cased bytes would put MyApp first.
  EXPECT_EQ(dialogs[0]["lines"], Json::array({"My_App", "MyApp"}));
}

TEST_F(FilesInUseRunTest, AParentIdCycleDoesNotHangAndFindsNoBrowser) {
  Processes(inUse(20, "a.exe", R"("ppid": 21, "windows": [{"title": "A"}])") +
            R"(, {"pid": 21, "ppid": 20, "exe": "b.exe"})");
  EXPECT_EQ(Run({"ok"}), 0);
  auto dialogs = Events("dialog");
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0]["resource"], 8900);
  EXPECT_EQ(Remaining(), std::vector<unsigned>{21});
}

TEST_F(FilesInUseRunTest, AProcessThatCannotBeEndedBringsTheDialogBackUntilNobodyAnswers) {
  Processes(inUse(2000, "immortal.exe",
                  R"("windows": [{"title": "Immortal"}], "onClose": "ignore", "onTerminate": "ignore")"));
  EXPECT_EQ(Run({"ok", "ok"}), 69);
  EXPECT_EQ(Events("dialog").size(), 3u);
  EXPECT_EQ(Events("terminateProcess").size(), 2u);
  auto runs = Events("run");
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[1]["exitCode"], 69);
  EXPECT_EQ(Remaining(), std::vector<unsigned>{2000});
  EXPECT_NE(output_.find("nobody can answer"), std::string::npos) << output_;
}

TEST_F(FilesInUseRunTest, ModulesFromTheRegisteredHomeAreInUseByLongOrShortPathAndTheCancelMarkGoes) {
  writeFile(at("registry.reg"),
            kRelease +
                // A kit stays installed, so the users' Corvane keys outlive the uninstall.
                std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Development Kit\\1.8.0_31]\r\n\r\n"
                            "[HKEY_USERS\\S-1-5-21-1004336348-1177238915-682003330-1001\\Software\\Corvane\\FIUCancel]\r\n"
                            "\"Cancelled\"=dword:00000001\r\n\r\n"
                            "[HKEY_USERS\\S-1-5-21-1004336348-1177238915-682003330-1001\\Software\\Corvane\\Other]\r\n\r\n"));
  writeFile(at("drives/C/Program Files/Zuna/zre1.8.0_31/bin/zuna.exe"), "launcher");
  // Eleven folders of 22 characters each, 8 in their short form: the module's short path
  // fits in MAX_PATH, its long form does not.
  std::string longDirs, shortDirs;
  for (int i = 0; i < 11; ++i) {
    longDirs += "/pluginsubdirectory" + std::to_string(100 + i);
    shortDirs += "\\\\PLUGIN~1";
  }
  writeFile(at("drives/C/Program Files/Zuna/zre1.8.0_31/bin" + longDirs + "/ext.dll"), "module");
  std::string shortModule = "C:\\\\PROGRA~1\\\\Zuna\\\\ZRE18~1.0_3\\\\bin" + shortDirs + "\\\\ext.dll";
  Processes(R"({"pid": 2000, "exe": "app.exe", "modules": ["C:\\Program Files\\Zuna\\zre1.8.0_31\\bin\\server\\zvm.dll"],
               "windows": [{"title": "App"}]},
              {"pid": 2001, "exe": "plugin.exe", "modules": [")" + shortModule + R"("], "windows": [{"title": "Plugin"}]})");
  EXPECT_EQ(Run({"ok"}), 0);
  auto dialogs = Events("dialog");
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0]["lines"], Json::array({"App", "Plugin"}));
  EXPECT_TRUE(Remaining().empty());
  std::string registry = readFile(at("registry.reg"));
  EXPECT_EQ(registry.find("FIUCancel"), std::string::npos) << registry;
  EXPECT_NE(registry.find("Software\\Corvane\\Other]"), std::string::npos) << registry;
}

TEST_F(FilesInUseRunTest, ASilentRunShowsNothingLogsTheLockedFilesOnceAndAsksForARestart) {
  Processes(inUse(2000, "editor.exe", R"("windows": [{"title": "Notes - Editor"}])"));
  EXPECT_EQ(Run({}, "/s"), 0);
  EXPECT_TRUE(Events("dialog").empty());
  EXPECT_TRUE(Events("messageBox").empty());
  EXPECT_TRUE(Events("postMessage").empty());
  EXPECT_EQ(Remaining(), std::vector<unsigned>{2000});
  const std::string temp = "drives/C/Users/user/AppData/Local/Temp/";
  std::string log = readFile(at(temp + "zusched.log"));
  const std::string locked = "(WinMain)]\r\n\tERROR: Some files are locked in silent mode. Reboot will happen after "
                             "uninstallation.\r\n";
  size_t first = log.find(locked);
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_EQ(log.find(locked, first + 1), std::string::npos);
  auto result = Json::parse(readFile(at(temp + "zusched-result.json")));
  EXPECT_EQ(result["exitCode"], 0);
  EXPECT_EQ(result["silent"], true);
  EXPECT_EQ(result["restartNeeded"], true);
  EXPECT_EQ(result["filesLockedInSilentMode"], true);
  EXPECT_EQ(result["processesInUse"], Json::parse(R"([{"pid": 2000, "name": "editor.exe"}])"));
}

}  // namespace
