// The scan's rules: which processes hold runtime files, which are recorded, and what
// the flags say about them; and the dialogs' lines and closing targets.
#include "windows/filesinuse/FilesInUse.h"

#include <string>
#include <vector>

#include "tests/support/TestMachine.h"
#include "windows/filesinuse/FilesInUseUtils.h"

namespace {

using zutest::writeFile;

struct Proc {
  unsigned pid;
  unsigned ppid;
  std::string exe;
  std::string image;
  std::vector<std::string> modules;
  std::string window = {};  // visible window title, none when empty
};

class FilesInUseTest : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }

  void Machine(const std::vector<Proc>& processes, nlohmann::json json = nlohmann::json::object()) {
    json["processes"] = nlohmann::json::array();
    for (const Proc& p : processes) {
      nlohmann::json process = {{"pid", p.pid}, {"ppid", p.ppid}, {"exe", p.exe}, {"modules", p.modules},
                                {"image", p.image.empty() ? "C:\\Apps\\" + p.exe : p.image}};
      if (!p.window.empty()) process["windows"] = {{{"title", p.window}}};
      json["processes"].push_back(process);
    }
    writeFile(dir() / "machine.json", json.dump());
    load();
  }

  std::vector<unsigned> Recorded(const CFilesInUse& scan) {
    std::vector<unsigned> pids;
    for (int i = 0; i < scan.count; ++i) pids.push_back(scan.processes[i].th32ProcessID);
    return pids;
  }

  CFilesInUse scan;
};

const std::string kHome = "C:\\Program Files\\Zuna\\zre";
const std::string kSys = "C:\\Windows\\System32";
const std::string kWow = "C:\\Windows\\SysWOW64";

TEST_F(FilesInUseTest, SetDirectoriesSkipsEmptyPiecesAndStripsQuotes) {
  Machine({});
  scan.SetDirectories(";\"C:\\A b\";;C:\\C;\"C:\\D");
  EXPECT_EQ(scan.directories, (std::vector<std::string>{"C:\\A b", "C:\\C", "C:\\D"}));
  scan.SetDirectories("");
  EXPECT_TRUE(scan.directories.empty());
}

TEST_F(FilesInUseTest, RuntimeFilesMatchByPrefixIgnoringCaseAndLaunchersOnlyFromTheSystemFolder) {
  Machine({{10, 0, "bin.exe", "", {"c:\\program files\\zuna\\ZRE\\bin\\client\\zvm.dll"}},
           {11, 0, "sibling.exe", "", {kHome + "7\\bin\\x.dll"}},
           {12, 0, "crt.exe", "", {kHome + "\\bin\\MSVCR100.dll", kHome + "\\bin\\msvcr71.DLL"}},
           {13, 0, "crtplus.exe", "", {kHome + "\\bin\\MSVCR100.dll", kHome + "\\bin\\net.dll"}},
           {14, 0, "unrelated.exe", "", {"C:\\Program Files\\Zun\\x.dll"}},
           {15, 0, "a.exe", "", {kSys + "\\zunaw.exe"}},
           {16, 0, "b.exe", "", {kSys + "\\deployzuna1.DLL"}},
           {17, 0, "c.exe", "", {kSys + "\\other.dll"}},
           {18, 0, "d.exe", "", {"C:\\Elsewhere\\zuna.exe"}}});
  scan.SetDirectories(kHome);
  // A process whose modules cannot be listed (a protected one) holds nothing.
  machine().faults().failNext("CreateToolhelp32Snapshot", ERROR_ACCESS_DENIED, "17");
  EXPECT_EQ(scan.GetProcessList(), 1);
  EXPECT_EQ(Recorded(scan), (std::vector<unsigned>{10, 11, 13, 15, 16}));
  EXPECT_EQ(scan.onlyBrowsers, 0);
  EXPECT_EQ(scan.inUse, 0) << "the owner sets inUse, not the scan";
}

TEST_F(FilesInUseTest, The32BitSystemDirectoryCountsOnlyWithTwoOrMoreDirectoriesOnA64BitSystem) {
  for (bool x86 : {false, true}) {
    Machine({{10, 0, "a.exe", "", {kWow + "\\zuna.exe"}}},
            x86 ? nlohmann::json{{"os", {{"architecture", "x86"}}}, {"process", {{"bitness", 32}}}} : nlohmann::json::object());
    scan.SetDirectories(kHome);
    EXPECT_EQ(scan.GetProcessList(), 0);
    scan.SetDirectories(kHome + ";C:\\Other");
    EXPECT_EQ(scan.GetProcessList(), x86 ? 0 : 1) << x86;
    EXPECT_FALSE(scan.ProcessUsesRuntime(10, kSys, ""));
    EXPECT_EQ(scan.ProcessUsesRuntime(10, kSys, kWow), !x86) << x86;
    hosted::Machine::unload();
  }
}

TEST_F(FilesInUseTest, AFailedSystemDirectoryQueryIsReportedAndTheScanGoesOn) {
  Machine({{10, 0, "a.exe", "", {kSys + "\\zuna.exe"}}, {11, 0, "b.exe", "", {kHome + "\\bin\\x.dll"}}},
          {{"folders", {{"system", nullptr}}}});
  scan.SetDirectories(kHome);
  EXPECT_EQ(scan.GetProcessList(), 1);
  EXPECT_EQ(Recorded(scan), (std::vector<unsigned>{11}));
}

TEST_F(FilesInUseTest, OwnToolsAreNeverRecordedAndProtectedProcessesDoNotCount) {
  Machine({{10, 0, "ZUSCHED.exe", "", {kHome + "\\bin\\x.dll"}},
           {11, 0, "zbroker.exe", "", {kHome + "\\bin\\x.dll"}},
           {12, 0, "zucheck.exe", "", {kHome + "\\bin\\x.dll"}}});
  scan.SetDirectories(kHome);
  EXPECT_EQ(scan.GetProcessList(), 0);
  EXPECT_EQ(scan.count, 0);
  EXPECT_EQ(scan.onlyBrowsers, 1);
}

TEST_F(FilesInUseTest, BrowsersAndTheirChildrenSetTheFlagsAndKeepOnlyBrowsers) {
  Machine({{10, 0, "chrome.exe", "C:\\Chrome\\chrome.exe", {}},
           {11, 10, "helper.exe", "", {kHome + "\\bin\\x.dll"}},
           {12, 0, "firefox.exe", "", {kHome + "\\bin\\x.dll"}},
           {13, 0, "Safari.exe", "", {kHome + "\\bin\\x.dll"}},
           {14, 0, "IEXPLORE.EXE", "", {kHome + "\\bin\\x.dll"}}});
  scan.SetDirectories(kHome);
  EXPECT_EQ(scan.GetProcessList(), 1);
  EXPECT_EQ(Recorded(scan), (std::vector<unsigned>{11, 12, 13, 14}));
  EXPECT_EQ(scan.onlyBrowsers, 1);
  EXPECT_EQ(scan.browserHosted, 1);
  EXPECT_EQ(scan.firefoxInUse, 1);
  EXPECT_EQ(scan.safariInUse, 1);
  EXPECT_EQ(scan.chromeInUse, 0) << "chrome.exe itself holds no runtime file";
}

TEST_F(FilesInUseTest, OnlyTheFirstHundredProcessesAreRecordedButAllSetTheFlags) {
  std::vector<Proc> many;
  for (unsigned pid = 1; pid <= 101; ++pid) many.push_back({pid * 4, 0, "p.exe", "", {kHome + "\\bin\\x.dll"}});
  many.push_back({1000, 0, "firefox.exe", "", {kHome + "\\bin\\x.dll"}});
  Machine(many);
  scan.SetDirectories(kHome);
  EXPECT_EQ(scan.GetProcessList(), 1);
  EXPECT_EQ(scan.count, CFilesInUse::kMaxProcesses);
  EXPECT_EQ(scan.processes[99].th32ProcessID, 400u);
  EXPECT_EQ(scan.firefoxInUse, 1);
}

PROCESSENTRY32 Entry(DWORD pid, DWORD ppid, const char* exe) {
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  entry.th32ProcessID = pid;
  entry.th32ParentProcessID = ppid;
  std::snprintf(entry.szExeFile, sizeof(entry.szExeFile), "%s", exe);
  return entry;
}

TEST_F(FilesInUseTest, ListLinesPreferWindowTitlesThenParentsThenNames) {
  Machine({{10, 0, "iexplore.exe", "C:\\IE\\iexplore.exe", {}, "Home - Internet Explorer"},
           {11, 10, "iexplore.exe", "C:\\IE\\iexplore.exe", {}},
           {12, 0, "tool.exe", "", {}, "My Tool"},
           {13, 12, "worker.exe", "", {}},
           {14, 0, "host.exe", "", {"C:\\Zuna\\bin\\plugin2\\npzp2.dll"}},
           {15, 16, "applet.exe", "", {}},
           {16, 14, "mid.exe", "", {}}});
  std::string line;
  ASSERT_TRUE(ProgramListLine(Entry(12, 0, "tool.exe"), &line));
  EXPECT_EQ(line, "My Tool");
  ASSERT_TRUE(ProgramListLine(Entry(11, 10, "iexplore.exe"), &line));
  EXPECT_EQ(line, "Home - Internet Explorer");
  ASSERT_TRUE(ProgramListLine(Entry(13, 12, "worker.exe"), &line)) << "only browser tabs borrow a parent's title";
  EXPECT_EQ(line, "worker.exe");
  EXPECT_FALSE(ProgramListLine(Entry(15, 16, "applet.exe"), &line)) << "a plug-in ancestor shows nothing";
}

TEST_F(FilesInUseTest, BrowserTabsAreClosedThroughTheirTopmostBrowserAncestor) {
  Machine({{10, 0, "iexplore.exe", "C:\\IE\\iexplore.exe", {}},
           {11, 10, "iexplore.exe", "C:\\IE\\iexplore.exe", {}},
           {12, 11, "zp2launcher.exe", "", {}},
           {13, 11, "other.exe", "", {}},
           {20, 21, "chrome.exe", "C:\\Chrome\\chrome.exe", {}},
           {21, 20, "chrome.exe", "C:\\Chrome\\chrome.exe", {}}});
  EXPECT_EQ(ClosingTarget(Entry(11, 10, "iexplore.exe"), false), 10u);
  EXPECT_EQ(ClosingTarget(Entry(12, 11, "zp2launcher.exe"), true), 10u);
  EXPECT_EQ(ClosingTarget(Entry(12, 11, "zp2launcher.exe"), false), 12u);
  EXPECT_EQ(ClosingTarget(Entry(13, 11, "other.exe"), true), 13u);
  EXPECT_EQ(ClosingTarget(Entry(10, 0, "iexplore.exe"), false), 10u);
  EXPECT_EQ(ClosingTarget(Entry(20, 21, "chrome.exe"), false), 20u) << "a cycle closes the process itself";
}

TEST_F(FilesInUseTest, CloseProcessWindowsReportsHowTheProcessEnded) {
  writeFile(dir() / "machine.json", R"({"processes": [
    {"pid": 10, "exe": "a.exe", "windows": [{"title": "A"}, {"title": "hidden A", "visible": false}]},
    {"pid": 11, "exe": "b.exe", "windows": [{"title": "B"}], "onClose": "ignore"},
    {"pid": 12, "exe": "c.exe", "onClose": "ignore", "onTerminate": "ignore"},
    {"pid": 13, "exe": "d.exe", "access": "denied"} ]})");
  load();
  EXPECT_EQ(CloseProcessWindows(10, kCloseTimeoutMs, false), kClosedByWindows);
  EXPECT_EQ(CloseProcessWindows(11, kCloseTimeoutMs, false), kTerminated);
  EXPECT_EQ(CloseProcessWindows(12, kCloseTimeoutMs, true), kCloseFailed);
  EXPECT_EQ(CloseProcessWindows(13, kCloseTimeoutMs, false), kCloseFailed);
  EXPECT_EQ(CloseProcessWindows(99, kCloseTimeoutMs, false), kCloseFailed);
}

}  // namespace
