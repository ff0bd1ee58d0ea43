// The whole uninstall, run on installed machines: what stays and what goes of the
// release's registration, the re-registration of the runtime that remains (association,
// shortcuts, command-path links, Path, access bridge), and the runtime's private library.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <regex>
#include <span>

#include <nlohmann/json.hpp>

#include "platform/hosted/machine/ShellLink.h"
#include "platform/hosted/machine/Text.h"
#include "tests/support/InstalledMachine.h"
#include "tests/support/RegApply.h"
#include "tests/support/Runs.h"

namespace {

namespace fs = std::filesystem;
using zutest::InstalledMachine;
using zutest::readFile;
using zutest::RegistrySnapshot;
using zutest::RuntimeInstall;
using zutest::runtimeInstall;

constexpr const char* kZre = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment";
constexpr const char* kUser = "HKEY_USERS\\S-1-5-21-1004336348-1177238915-682003330-1001";
constexpr const char* kOtherUser = "HKEY_USERS\\S-1-5-21-1004336348-1177238915-682003330-1002";
constexpr const char* kEnvironment =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr const char* kBridgeKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Accessibility\\ATs\\"
    "Vantor_ZunaAccessBridge";
constexpr const char* kBridgeKey32 =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Accessibility\\ATs\\"
    "Vantor_ZunaAccessBridge";
constexpr const char* kCommand = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\zarfile\\shell\\open\\command";
constexpr const char* kLinks = "C:\\ProgramData\\Vantor\\Zuna\\zunapath";
constexpr const char* kPrograms = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs";
constexpr const char* kMenu = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Zuna";
constexpr const char* kBridgeLibrary = "C:\\Windows\\System32\\HostAccessBridge-64.dll";
constexpr const char* kBaseImage = "C:\\ProgramData\\Vantor\\Zuna\\installcache_x64\\baseimagefam8";
const std::string kHome25 = "C:\\Program Files\\Zuna\\zre1.8.0_25";

std::string utf8(const std::wstring& text) { return hosted::wideToUtf8(text); }
std::string zarCommand(const std::string& home) { return "\"" + home + "\\bin\\zunaw.exe\" -zar \"%1\" %*"; }

class UninstallRun : public ::testing::Test {
 protected:
  UninstallRun() : machine_(scratch_.path()) {}

  zutest::RunResult run(std::vector<std::string> args = {}) {
    machine_.write();
    std::vector<std::string> all = {"--machine", scratch_.path().string()};
    if (!args.empty()) all.push_back("--");
    all.insert(all.end(), args.begin(), args.end());
    auto started = std::chrono::steady_clock::now();
    auto result = zutest::runUninstaller(all);
    elapsed_ = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(result.status, 0) << result.output;  // every run here ends well
    return result;
  }
  std::string log() const { return zutest::programLog(scratch_.path()); }
  RegistrySnapshot registry() const { return RegistrySnapshot(scratch_.path()); }
  bool exists(const std::string& windowsPath) const { return fs::exists(fs::symlink_status(host(windowsPath))); }
  fs::path host(const std::string& windowsPath) const { return machine_.hostPath(windowsPath); }
  std::vector<nlohmann::json> events(const std::string& kind) const { return zutest::readJournal(scratch_.path(), kind); }
  std::string linkTarget(const std::string& launcher) const {
    std::error_code ec;
    return fs::read_symlink(host(std::string(kLinks) + "\\" + launcher), ec).string();
  }
  hosted::ShellLink shortcut(const std::string& name, const std::string& folder = kMenu) const {
    std::string bytes = readFile(host(folder + "\\" + name + ".lnk"));
    auto read = hosted::readShellLink(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    EXPECT_TRUE(read) << name;
    return read ? read->link : hosted::ShellLink{};
  }
  static std::string describe(const hosted::ShellLink& link) {
    return utf8(link.target + L"|" + link.arguments + L"|" + link.iconLocation + L"|" + std::to_wstring(link.iconIndex) +
                L"|" + link.description);
  }
  size_t filesIn(const std::string& folder) const {
    return std::distance(fs::directory_iterator(host(folder)), fs::directory_iterator());
  }
  // The links' folder as an older Windows left it: a junction to `target` with copies of
  // the launchers named.
  void withJunction(const std::string& target, std::initializer_list<const char*> copies) {
    for (const char* launcher : {"zuna.exe", "zunaw.exe", "zunaws.exe"}) machine_.withoutFile(std::string(kLinks) + "\\" + launcher);
    machine_.withoutFile(kLinks).withLink(kLinks, "\\??\\" + target);
    for (const char* launcher : copies) machine_.withFile(target + "\\" + launcher, "copy");
  }
  nlohmann::json runResult() const {
    return nlohmann::json::parse(readFile(host("C:\\Users\\user\\AppData\\Local\\Temp\\zusched-result.json")));
  }
  size_t count(const std::string& text) const {
    size_t found = 0;
    for (size_t at = log().find(text); at != std::string::npos; at = log().find(text, at + 1)) ++found;
    return found;
  }
  // The position of an INFO record's message in the log, or npos.
  size_t record(const std::string& message, size_t from = 0) const {
    return log().find("INFO: " + message + "\r\n", from);
  }
  bool recorded(const std::string& message) const { return record(message) != std::string::npos; }
  bool logged(const std::string& text) const { return log().find(text) != std::string::npos; }
  // Nothing the release registered outside its version keys is left.
  void expectNoRegistrationLeft() {
    RegistrySnapshot reg = registry();
    EXPECT_TRUE(reg.keysUnder("HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane").empty());
    EXPECT_TRUE(reg.keysUnder(std::string(kUser) + "\\Software\\Corvane").empty());
    EXPECT_TRUE(reg.keysUnder(std::string(kOtherUser) + "\\Software\\Corvane").empty());
    EXPECT_TRUE(reg.hasKey(std::string(kOtherUser) + "\\Software\\Other Vendor\\Editor"));
    EXPECT_FALSE(exists(kMenu));
    EXPECT_TRUE(exists(kPrograms));
    EXPECT_FALSE(exists(kLinks));
    EXPECT_EQ(reg.expandText(kEnvironment, "Path"), "%SystemRoot%\\system32;C:\\Tools");
    auto broadcasts = events("broadcast");
    ASSERT_EQ(broadcasts.size(), 1u);
    EXPECT_EQ(broadcasts[0]["message"], 0x1A);  // WM_SETTINGCHANGE
    EXPECT_EQ(broadcasts[0]["text"], "Environment");
    EXPECT_FALSE(exists(kBridgeLibrary));
    EXPECT_FALSE(reg.hasKey(kBridgeKey));
    EXPECT_TRUE(recorded("cleaning zunapath stuff - latestZre is N/A")) << log();
  }
  // The runtime at `home` holds the association, the five shortcuts and the links.
  void expectRegisteredFor(const std::string& home) {
    RegistrySnapshot reg = registry();
    EXPECT_EQ(reg.text(kCommand, ""), zarCommand(home));
    EXPECT_EQ(reg.text("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.zar", ""), "zarfile");
    EXPECT_EQ(reg.text("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\zarfile", ""), "Executable Zar File");
    EXPECT_FALSE(reg.value("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes", "")) << "nothing written beside the keys";
    for (const char* app : {"zuna.exe", "zunaw.exe"}) {
      EXPECT_EQ(reg.text(std::string("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Applications\\") + app, "IsHostApp"), "");
    }
    for (const char* launcher : {"zuna.exe", "zunaw.exe", "zunaws.exe"}) {
      EXPECT_EQ(linkTarget(launcher), home + "\\bin\\" + launcher);
    }
    // Each shortcut's target, arguments, icon and description.
    const std::string panel = home + "\\bin\\zunacpl.exe|", icon = "|" + home + "\\bin\\zuna.exe|0|";
    const std::pair<const char*, std::string> expected[] = {
        {"Visit zuna.example", "https://www.zuna.example/|" + icon + "Learn more about Zuna."},
        {"Get Help", "https://www.zuna.example/help/|" + icon + "Find solutions to issues related to installing and running Zuna."},
        {"Configure Zuna", panel + icon + "View or change Zuna settings."},
        {"Check For Updates", panel + "-tab update" + icon + "See if new Zuna updates are available."},
        {"About Zuna", panel + "-tab about" + icon + "View Zuna version information."},
    };
    for (const auto& [name, fields] : expected) EXPECT_EQ(describe(shortcut(name)), fields) << name;
    EXPECT_EQ(filesIn(kMenu), 5u);
  }

  zutest::ScratchDir scratch_;
  InstalledMachine machine_;
  std::chrono::steady_clock::duration elapsed_{};
};

TEST_F(UninstallRun, RemovingTheLastRuntimeLeavesNoRegistrationBehind) {
  // The other view's bridge and library are not this program's.
  machine_.withRegistry(std::string("[") + kBridgeKey32 + "]\r\n\"StartParams\"=\"-enable\"\r\n\r\n")
      .withFile("C:\\Windows\\System32\\HostAccessBridge-32.dll", "32-bit bridge");
  run();
  expectNoRegistrationLeft();
  // Of the classes only the shared parent of applications' keys stays.
  EXPECT_EQ(registry().keysUnder("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\"),
            std::vector<std::string>{"HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES\\APPLICATIONS"});
  EXPECT_TRUE(registry().hasKey(kBridgeKey32));
  EXPECT_TRUE(exists("C:\\Windows\\System32\\HostAccessBridge-32.dll"));
  EXPECT_FALSE(exists(std::string(InstalledMachine::kReleaseHome) + "\\bin\\msvcr100.dll"));
  EXPECT_FALSE(exists(kBaseImage));

  // The steps in their order, the private library deleted at the first attempt. The
  // deployment call and the library's deletion come before the version key goes, which
  // holds the home they need should the run end before they are done.
  size_t at = record("** Start WINAPI UninstallZRE **");
  for (const char* step : {"-- Start UninstallZunaRegSet v.1.8.0_31 --", "-- Running RegisterDeploy(FALSE) ",
                           "UnregZREUniqueVersion ---- begin ---- ", "-- End in UninstallZunaRegSet --",
                           "Start in ReregisterCurrentZRE"}) {
    ASSERT_NE(at, std::string::npos) << step << "\n" << log();
    at = record(step, at);
  }
  ASSERT_NE(at, std::string::npos) << log();
  EXPECT_FALSE(logged("-- Retrying RemoveInstalledFiles"));
  EXPECT_FALSE(logged("** Start WINAPI InstallZuna"));
  EXPECT_TRUE(logged("Not running C:\\Program Files (x86)\\Common Files\\Zuna\\Zuna Update\\zaureg.exe"));
  EXPECT_LT(elapsed_, std::chrono::seconds(2));
  // No runtime was registered again, so no operation was announced.
  EXPECT_TRUE(events("sharedMemory").empty());
}

// A run that ended after the release's key was deleted: the next one's closing steps
// clear what the release left.
TEST_F(UninstallRun, WithTheReleaseUnregisteredTheClosingStepsClearItsLeftovers) {
  machine_.withoutReleaseKeys();
  run();
  expectNoRegistrationLeft();
  EXPECT_TRUE(recorded("No ZRE exists on the system")) << log();
}

// The release's deployment library is asked to unregister and its commands are carried
// out; loaded while it runs, it cannot delete itself.
TEST_F(UninstallRun, TheDeploymentLibraryIsAskedToUnregisterAndItsCommandsAreCarriedOut) {
  const std::string bin = std::string(InstalledMachine::kReleaseHome) + "\\bin";
  machine_.withDeployLibrary(ZU_DEPLOY_SUBSTITUTE, "DELETE \"" + bin + "\\cache.idx\"\nDELETE? \"" + bin + "\\deploy.dll\"\n")
      .withFile(bin + "\\cache.idx", "cache");
  run();
  EXPECT_TRUE(recorded("-- Exec: RegisterDeploy(FALSE) passed.")) << log();
  EXPECT_FALSE(exists(bin + "\\cache.idx"));
  EXPECT_TRUE(logged("ERROR: Executing DELETE command fail with error code 5, dstFile " + bin + "\\deploy.dll")) << log();
  EXPECT_TRUE(exists(bin + "\\deploy.dll"));
}

// The remaining runtime takes over everything the release registered; a kit beside it gets
// its own shortcuts.
TEST_F(UninstallRun, TheRemainingRuntimeOfTheFamilyIsRegisteredAgain) {
  const std::string kit = "C:\\Program Files\\Zuna\\zdk1.8.0_31";
  machine_.withRuntime(runtimeInstall("1.8.0_25", "11", "1.8.0_25-b17"))
      .withRegistry(std::string("[") + kOtherUser + "\\Software\\Corvane\\Zuna Runtime Environment\\1.8.0_25]\r\n"
                    "\"Seen\"=dword:00000001\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Development Kit\\1.8.0_31]\r\n"
                    "\"ZunaHome\"=\"" + zutest::regEscape(kit) + "\"\r\n\r\n")
      // The links' folder is refreshed in place: its files go, a folder in it stays.
      .withFile(std::string(kLinks) + "\\stray.txt", "x")
      .withFile(std::string(kLinks) + "\\sub\\kept.txt", "x");
  run();

  RegistrySnapshot reg = registry();
  EXPECT_FALSE(reg.hasKey(std::string(kZre) + "\\1.8.0_31"));
  EXPECT_FALSE(reg.hasKey(std::string(kZre) + "\\1.8.0_31\\MSI"));
  EXPECT_EQ(reg.text(kZre, "CurrentVersion"), "1.8");
  EXPECT_FALSE(reg.value(kZre, "BrowserZunaVersion"));
  EXPECT_EQ(reg.text(std::string(kZre) + "\\1.8", "ZunaHome"), kHome25);
  EXPECT_EQ(reg.text(std::string(kZre) + "\\1.8", "RuntimeLib"), kHome25 + "\\bin\\server\\zvm.dll");
  EXPECT_EQ(reg.text(std::string(kZre) + "\\1.8.0_25", "ZunaHome"), kHome25);
  // Its own build number stays; this release's is not written over it.
  EXPECT_EQ(reg.text(std::string(kZre) + "\\1.8.0_25", "BuildNumber"), "11");

  // The release's per-user keys go in every hive; the remaining runtime's stay.
  EXPECT_FALSE(reg.hasKey(std::string(kUser) + "\\Software\\Corvane\\Zuna Runtime Environment\\1.8.0_31"));
  EXPECT_FALSE(reg.hasKey(std::string(kOtherUser) + "\\Software\\Corvane\\Zuna Runtime Environment\\1.8.0_31"));
  EXPECT_TRUE(reg.hasKey(std::string(kOtherUser) + "\\Software\\Corvane\\Zuna Runtime Environment\\1.8.0_25"));
  EXPECT_TRUE(reg.hasKey(std::string(kUser) + "\\Software\\Corvane\\Zuna Update\\Policy"));

  EXPECT_TRUE(recorded("** Start WINAPI InstallZuna: 0 **")) << log();
  EXPECT_TRUE(recorded("** End WINAPI InstallZuna **")) << log();
  EXPECT_TRUE(recorded("create/update symlinks - latestZre is 1.8.0_25-b17")) << log();
  EXPECT_TRUE(exists(kBaseImage));

  expectRegisteredFor(kHome25);
  EXPECT_FALSE(exists(std::string(kLinks) + "\\stray.txt"));
  EXPECT_TRUE(exists(std::string(kLinks) + "\\sub\\kept.txt"));
  EXPECT_EQ(reg.expandText(kEnvironment, "Path"), "C:\\ProgramData\\Vantor\\Zuna\\zunapath;%SystemRoot%\\system32;C:\\Tools");
  EXPECT_TRUE(events("broadcast").empty());
  auto security = events("setSecurity");
  ASSERT_EQ(security.size(), 1u);
  EXPECT_EQ(security[0]["path"], kLinks);
  EXPECT_EQ(security[0]["sddl"], "D:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;WD)");
  const std::string kitMenu = kPrograms + std::string("\\Zuna Development Kit");
  EXPECT_EQ(describe(shortcut("Reference Documentation", kitMenu)),
            "https://docs.zuna.example/api/||" + kHome25 + "\\bin\\zuna.exe|0|View developer resources including online API documentation.");
  EXPECT_EQ(describe(shortcut("Zuna Flight Deck", kitMenu)), kit + "\\bin\\zmc.exe||" + kit +
                                                                 "\\bin\\zmc.exe|0|Launch the Zuna Flight Deck profiling and diagnostics tools suite.");

  // The bridge: its library and its six values, in this program's view only.
  EXPECT_EQ(readFile(host(kBridgeLibrary)), "HostAccessBridge-64.dll of 1.8.0_25");
  EXPECT_EQ(reg.expandText(kBridgeKey, "StartExe"), kHome25 + "\\bin\\zabswitch.exe");
  for (const auto& [name, text] : std::map<std::string, std::string>{
           {"ApplicationName", "Enable Zuna Access Bridge"},
           {"Description", "Zuna Access Bridge, from Vantor, Inc. providing Assistive Technology access to Zuna applications"},
           {"Profile", "<HCIModel><Accommodation type=\"mild vision\"/><Accommodation type=\"severe vision\"/>"
                       "<Accommodation type=\"mild cognitive\"/><Accommodation type=\"severe cognitive\"/></HCIModel>"},
           {"SimpleProfile", "screenreader"},
           {"StartParams", "-enable"}}) {
    EXPECT_EQ(reg.text(kBridgeKey, name), text) << name;
  }
  EXPECT_FALSE(reg.hasKey(kBridgeKey32));

  // The re-registration was announced on the mailbox: started, then finished; the block
  // the run made is gone with it.
  auto posts = events("sharedMemory");
  ASSERT_GE(posts.size(), 2u);
  EXPECT_EQ(posts.front()["name"], "ZdsOperationSequenceSharedMemory");
  EXPECT_EQ(posts.front()["data"], "0600000001000000");
  EXPECT_EQ(posts.back()["data"], "0600000002000000");
  EXPECT_FALSE(fs::exists(scratch_.path() / "shm" / "ZdsOperationSequenceSharedMemory"));
  // The run's result counts the shortcuts (made twice: by the re-registration and by the
  // closing step), the library and the links it made and removed.
  // Removed files: the private library, the bridge library and the stray file.
  nlohmann::json counts = runResult();
  EXPECT_EQ(nlohmann::json({counts["created"]["files"], counts["created"]["links"], counts["removed"]["files"]}), nlohmann::json({15, 6, 3}));
}

// The remaining runtime is registered again as the current one of its family, without a
// build number or configured files it never had. What its version key is named decides
// the bridge and the shortcuts (compared as text); its full version, from the MSI key or
// else from its launcher, decides the command-path links (compared as versions).
struct VersionCase {
  const char* version;
  const char* msiFullVersion;  // "" for none
  const char* printed;         // what zuna.exe -fullversion prints; "" for a launcher that cannot run
  bool bridge, shortcuts, links;
  bool zabswitch = true;
  bool view32 = false;  // registered in the 32-bit view only, which the bridge never follows
};
void PrintTo(const VersionCase& c, std::ostream* out) { *out << c.version << (c.view32 ? "_32" : "") << (c.zabswitch ? "" : "_noswitch") << (*c.printed ? "_printed" : ""); }

class UninstallRunVersions : public UninstallRun, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(UninstallRunVersions, DecideWhatTheRemainingRuntimeGetsBack) {
  const VersionCase& c = GetParam();
  RuntimeInstall remaining = runtimeInstall(c.version, "", c.msiFullVersion);
  remaining.printedFullVersion = c.printed;
  if (!c.zabswitch) std::erase(remaining.binFiles, "zabswitch.exe");
  remaining.view32 = c.view32;
  machine_.withRuntime(remaining);
  run();
  RegistrySnapshot reg = registry();
  EXPECT_EQ(reg.hasKey(kBridgeKey), c.bridge);
  EXPECT_FALSE(reg.hasKey(kBridgeKey32));
  EXPECT_EQ(exists(kBridgeLibrary), c.bridge && c.zabswitch);
  EXPECT_EQ(exists(kMenu), c.shortcuts);
  EXPECT_EQ(linkTarget("zuna.exe"), c.links ? remaining.home + "\\bin\\zuna.exe" : "");
  EXPECT_EQ(exists(kLinks), c.links);
  std::string full = *c.msiFullVersion ? c.msiFullVersion : c.printed;
  EXPECT_TRUE(recorded((c.links ? "create/update symlinks" : "cleaning zunapath stuff") + std::string(" - latestZre is ") +
                       full)) << log();
  EXPECT_EQ(reg.expandText(kEnvironment, "Path").value_or("").find("zunapath") != std::string::npos, c.links);
  if (c.view32) return;
  std::string family = std::string(c.version).substr(0, 3);
  EXPECT_EQ(reg.text(kZre, "CurrentVersion"), family);
  EXPECT_EQ(reg.text(std::string(kZre) + "\\" + family, "ZunaHome"), remaining.home);
  EXPECT_EQ(reg.hasKey(std::string(kZre) + "\\1.8"), family == "1.8");
  EXPECT_EQ(exists(kBaseImage), family == "1.8") << "the cached image of family 8";
  EXPECT_FALSE(reg.value(std::string(kZre) + "\\" + c.version, "BuildNumber"));
  EXPECT_FALSE(logged("Installing Deployment Rule Set") || logged("Installing Zuna Usage Tracker"));
}

INSTANTIATE_TEST_SUITE_P(
    Remaining, UninstallRunVersions,
    ::testing::Values(VersionCase{"1.6.0_45", "1.6.0_45-b06", "", false, false, false},
                      VersionCase{"1.7.0", "1.7.0-b147", "", false, false, false},
                      VersionCase{"1.7.0_05", "1.7.0_05-b06", "", false, false, false},
                      VersionCase{"1.7.0_06", "1.7.0_06-b24", "", true, false, false},
                      VersionCase{"1.7.0_1", "1.7.0_1-b01", "", true, false, false},
                      VersionCase{"1.7.0_40", "1.7.0_40-b43", "", true, true, false},
                      VersionCase{"1.7.0_80", "1.7.0_80-b15", "", true, true, false},
                      VersionCase{"1.8.0_5", "1.8.0_5-b13", "", true, true, false},
                      VersionCase{"1.8.0_11", "", "1.8.0_11-b12", true, true, false},
                      VersionCase{"1.8.0_20", "", "1.8.0_20-b26", true, true, true},
                      VersionCase{"1.8.0_40", "", "", true, true, false},
                      VersionCase{"1.8.0_25", "1.8.0_25-b17", "", true, true, true, false},
                      VersionCase{"1.8.0_25", "1.8.0_25-b17", "", false, true, true, true, true}));

// Path when nothing remains (the links' entry goes, in any letters) and when a runtime
// that uses the links remains (the entry is put first, once).
struct PathCase {
  std::optional<std::string> before;
  bool expandable;
  bool runtimeRemains;
  std::optional<std::string> after;
  size_t broadcasts;
};
void PrintTo(const PathCase& c, std::ostream* out) { *out << (c.runtimeRemains ? "remaining:" : "none:") << c.before.value_or("<no Path>"); }

class UninstallRunPath : public UninstallRun, public ::testing::WithParamInterface<PathCase> {};

TEST_P(UninstallRunPath, KeepsEveryOtherEntry) {
  const PathCase& c = GetParam();
  machine_.withPath(c.before, c.expandable);
  if (c.runtimeRemains) machine_.withRuntime(runtimeInstall("1.8.0_25", "11", "1.8.0_25-b17"));
  run();
  RegistrySnapshot reg = registry();
  if (!c.after) {
    EXPECT_FALSE(reg.value(kEnvironment, "Path"));
    EXPECT_TRUE(logged("query value (Path) error: 2")) << log();
  } else if (c.broadcasts || c.expandable) {
    EXPECT_EQ(reg.expandText(kEnvironment, "Path"), c.after);
  } else {
    EXPECT_EQ(reg.text(kEnvironment, "Path"), c.after);
  }
  EXPECT_EQ(events("broadcast").size(), c.broadcasts);
  // Without Path the links' step stops before it deletes them; the bridge still goes.
  EXPECT_EQ(exists(kLinks), c.runtimeRemains || !c.before);
  EXPECT_EQ(exists(kBridgeLibrary), c.runtimeRemains);
}

const std::string kZ = "C:\\ProgramData\\Vantor\\Zuna\\zunapath";
INSTANTIATE_TEST_SUITE_P(
    Entries, UninstallRunPath,
    ::testing::Values(PathCase{"C:\\Windows;c:\\PROGRAMDATA\\vantor\\Zuna\\ZUNAPATH;C:\\Tools", false, false,
                               "C:\\Windows;C:\\Tools", 1},
                      PathCase{"C:\\A;;%SystemRoot%\\x", false, false, "C:\\A;;%SystemRoot%\\x", 1},
                      PathCase{";C:\\A;;" + kZ + ";C:\\B;" + kZ + ";", true, false, "C:\\A;;C:\\B;", 1},
                      PathCase{std::nullopt, true, false, std::nullopt, 0},
                      PathCase{"C:\\Windows;C:\\Tools", false, true, kZ + ";C:\\Windows;C:\\Tools", 1},
                      PathCase{"C:\\Windows;C:\\programdata\\VANTOR\\zuna\\zunapath", false, true,
                               "C:\\Windows;C:\\programdata\\VANTOR\\zuna\\zunapath", 0},
                      PathCase{"", false, true, kZ + ";", 1}));

// A computer shared by people of several languages, on the Western code page 1252:
// other users' Path entries in scripts the page lacks or holds, a remaining runtime
// whose home has an accent (UTF-8 does not read it), a Japanese user interface.
// Nothing is lost or replaced by '?', and no step fails.
TEST_F(UninstallRun, TextInAnyScriptSurvivesTheUninstallOnAWesternCodePage) {
  const std::string others = "C:\\Tools\\日本;%SystemRoot%\\system32;C:\\Users\\Ölçer\\bin";
  RuntimeInstall seven = runtimeInstall("1.7.0_80", "15");
  seven.home = "C:\\Program Files\\Zuna\\zré7";
  machine_.withRuntime(seven)
      .withMachineJson(R"({"locale": {"uiLanguage": "ja-JP", "codePage": 1252}})")
      .withPath(kZ + ";" + others);
  run({"/s"});

  // Path keeps the other entries byte for byte, still unexpanded; the links' entry goes
  // (1.7.0_80 does not use them).
  RegistrySnapshot reg = registry();
  EXPECT_EQ(reg.value(kEnvironment, "Path"), zutest::regExpandData(others));
  EXPECT_FALSE(exists(kLinks));
  // 1.7.0_80 is registered again and every closing step ran for its home.
  EXPECT_FALSE(logged("Exception")) << log();
  EXPECT_EQ(reg.text(kCommand, ""), zarCommand(seven.home));
  EXPECT_EQ(reg.expandText(kBridgeKey, "StartExe"), seven.home + "\\bin\\zabswitch.exe");
  // The bridge's name and the shortcuts are in Japanese.
  EXPECT_EQ(reg.text(kBridgeKey, "ApplicationName"), "Zuna Access Bridge を有効にする");
  hosted::ShellLink about = shortcut("Zuna について");
  EXPECT_EQ(utf8(about.description), "Zuna のバージョン情報を表示します。");
  EXPECT_EQ(utf8(about.target), seven.home + "\\bin\\zunacpl.exe");
  // Other tools read them as Windows shortcuts (lnkinfo: Debian's liblnk-utils).
  auto updates = zutest::runCommand("lnkinfo " + zutest::shellQuote(host(std::string(kMenu) + "\\アップデートの確認.lnk")));
  if (updates.status != 127) {
    for (std::string line : {"Local path\t\t\t: " + seven.home + "\\bin\\zunacpl.exe\n", std::string("Command line arguments\t\t: -tab update\n"),
                             std::string("Description\t\t\t: Zuna の新しいアップデートがあるかどうかを確認します。\n")}) {
      EXPECT_NE(updates.output.find(line), std::string::npos) << updates.output;
    }
  }

  // The backup holds the old Path with every character, in its UTF-16 file.
  std::string backup;
  for (auto& entry : fs::directory_iterator(host("C:\\Users\\user\\AppData\\Local\\Temp"))) {
    if (entry.path().extension() == ".reg") backup = readFile(entry.path());
  }
  EXPECT_NE(zutest::regFileText(backup).find(zutest::regExpandData("日本").substr(7, 11)), std::string::npos) << zutest::regFileText(backup);
}

// A German interface with Russian formats: the thread's code page (1251) is not the
// one the names are in; the shortcut is named as the language names it.
TEST_F(UninstallRun, AnInterfaceWhoseFormatsUseAnotherCodePageNamesItsShortcutsRight) {
  RuntimeInstall accented = runtimeInstall("1.8.0_25", "11", "1.8.0_25-b17");
  accented.home = "C:\\Program Files\\Zuna\\zré1.8.0_25";
  machine_.withRuntime(accented).withMachineJson(
      R"({"locale": {"uiLanguage": "de-DE", "codePage": 1252, "threadCodePage": 1251}})");
  run({"/s"});
  EXPECT_EQ(utf8(shortcut("Info über Zuna").target), accented.home + "\\bin\\zunacpl.exe");
  // The links name the accented home, and the bridge is registered for it.
  EXPECT_EQ(linkTarget("zunaws.exe"), accented.home + "\\bin\\zunaws.exe");
  EXPECT_EQ(registry().expandText(kBridgeKey, "StartExe"), accented.home + "\\bin\\zabswitch.exe");
  EXPECT_EQ(readFile(host(kBridgeLibrary)), "HostAccessBridge-64.dll of 1.8.0_25");
}

// In a Japanese interface on code page 1252 the shortcuts are found by their own names;
// one already gone is logged readably in the code page, and a user's own file keeps the
// folder.
TEST_F(UninstallRun, JapaneseShortcutsGoAndOneAlreadyGoneIsLogged) {
  machine_.withMachineJson(R"({"locale": {"uiLanguage": "ja-JP", "codePage": 1252}})");
  for (const char* name : {"About Zuna", "Visit zuna.example", "Configure Zuna", "Get Help", "Check For Updates"}) {
    machine_.withoutFile(std::string(kMenu) + "\\" + name + ".lnk");
  }
  machine_.withFile(std::string(kMenu) + "\\Zuna について.lnk", "")
      .withFile(std::string(kMenu) + "\\ヘルプを表示.lnk", "")
      .withFile(std::string(kMenu) + "\\notes.txt", "mine");
  run();
  EXPECT_EQ(filesIn(kMenu), 1u);
  EXPECT_EQ(readFile(host(std::string(kMenu) + "\\notes.txt")), "mine");
  EXPECT_TRUE(recorded("RemoveZunaFromStartMenu() - DeleteFile(" + std::string(kMenu) +
                       "\\Zuna <U+306E><U+8A2D><U+5B9A>.lnk) call failed ")) << log();
  EXPECT_TRUE(recorded("RemoveZunaZDKFiles() -  RemoveDirectory api failed call failed, " + std::string(kMenu) +
                       " not removed from Start Menu")) << log();
}

// Configured rule set and usage tracker files are installed for the remaining runtime. On
// a system that cannot name its programs menu the shortcuts are neither made nor deleted.
TEST_F(UninstallRun, ConfiguredFilesAreInstalledForTheRemainingRuntimeAndAMenuNotFoundIsLeftAlone) {
  machine_.withRuntime(runtimeInstall("1.8.0_25"))
      .withFile("C:\\cfg\\ruleset.zar", "rules")
      .withFile("C:\\cfg\\tracker.properties", "tracker")
      .withFile("C:\\Windows\\Mox\\Zuna\\Deployment\\DeploymentRuleSet.zar", "old rules")
      .withFile(kHome25 + "\\lib\\management\\usagetracker.properties", "old tracker")
      .withMachineJson(R"({"folders": {"commonPrograms": null}})");
  run({"/s", "DEPLOYMENT_RULE_SET=C:\\cfg\\ruleset.zar", "USAGETRACKER_CFG=C:\\cfg\\tracker.properties"});
  EXPECT_EQ(readFile(host("C:\\Windows\\Mox\\Zuna\\Deployment\\DeploymentRuleSet.zar")), "rules");
  EXPECT_EQ(readFile(host(kHome25 + "\\lib\\management\\usagetracker.properties")), "tracker");
  EXPECT_TRUE(recorded("Installing Deployment Rule Set from C:\\cfg\\ruleset.zar to "
                       "C:\\Windows\\Mox\\Zuna\\Deployment\\DeploymentRuleSet.zar")) << log();
  EXPECT_EQ(readFile(host(std::string(kMenu) + "\\About Zuna.lnk")), "shortcut");
  EXPECT_TRUE(recorded("AddZunaOnStartMenu - SHGetFolderPath  call() failed")) << log();
  EXPECT_TRUE(recorded("RemoveZunaFromStartMenu - SHGetFolderPath  call() failed")) << log();
}

TEST_F(UninstallRun, ALoneFamilyKeyIsDeletedInsteadOfRegisteredAgain) {
  RuntimeInstall old;
  old.version = "1.4";
  old.home = "C:\\Program Files\\Zuna\\zre4";
  machine_.withRuntime(old);
  run();
  RegistrySnapshot reg = registry();
  EXPECT_FALSE(reg.hasKey(std::string(kZre) + "\\1.4"));
  EXPECT_TRUE(reg.keysUnder("HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane").empty());
  EXPECT_FALSE(logged("** Start WINAPI InstallZuna")) << log();
}

TEST_F(UninstallRun, AMissingPrivateLibraryIsTriedSixTimesASecondApartOnTheMachineClock) {
  machine_.withoutFile(std::string(InstalledMachine::kReleaseHome) + "\\bin\\msvcr100.dll");
  run();
  EXPECT_EQ(count("-- Retrying RemoveInstalledFiles"), 5u);
  // Each failed attempt's record, with the time of the machine's clock it was written at.
  std::regex failure(R"(\[\d{4}/\d\d/\d\d (\d\d):(\d\d):(\d\d)\.(\d{3}),[^\]]*\]\r\n\tINFO: -- RemoveInstalledFiles: DeleteFile\(C:\\Program Files\\Zuna\\zre1\.8\.0_31\\bin\\msvcr100\.dll\) failed\. \(GetLastError=2\))");
  std::vector<long> times;
  std::string text = log();
  for (std::sregex_iterator it(text.begin(), text.end(), failure), end; it != end; ++it) {
    times.push_back(((std::stol((*it)[1]) * 60 + std::stol((*it)[2])) * 60 + std::stol((*it)[3])) * 1000 +
                    std::stol((*it)[4]));
  }
  ASSERT_EQ(times.size(), 6u) << text;
  for (size_t i = 1; i < times.size(); ++i) {
    long gap = (times[i] - times[i - 1] + 86400000) % 86400000;
    EXPECT_GE(gap, 1000);
    EXPECT_LT(gap, 1200);
  }
  // The waits pass on the machine's clock, not the host's.
  EXPECT_LT(elapsed_, std::chrono::seconds(2));
}

TEST_F(UninstallRun, APrivateLibraryAProgramHoldsLoadedIsTriedSixTimesAndStays) {
  std::string library = std::string(InstalledMachine::kReleaseHome) + "\\bin\\msvcr100.dll";
  // Only the compiler's runtime is held, which the files-in-use check lets pass.
  machine_.withMachineJson(R"({"processes": [{"pid": 3000, "exe": "tool.exe", "image": "C:\\Tools\\tool.exe",
                                              "modules": [")" + zutest::regEscape(library) + R"("]}]})");
  run({"/s"});
  EXPECT_EQ(count("-- RemoveInstalledFiles: DeleteFile(" + library + ") failed. (GetLastError=5)"), 6u) << log();
  EXPECT_TRUE(exists(library));
  // The sequence went on to its closing steps.
  EXPECT_TRUE(registry().keysUnder("HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane").empty());
  EXPECT_FALSE(exists(kMenu));
}

TEST_F(UninstallRun, AnEmptyReleaseHomeIsNoHomeAndNothingIsTakenFromTheCurrentDrive) {
  // A standard user may create C:\bin; the elevated uninstall must not act there.
  std::string planted = readFile(ZU_DEPLOY_SUBSTITUTE);
  machine_.withRegistry(std::string("[") + kZre + "\\1.8.0_31]\r\n\"ZunaHome\"=\"\"\r\n\r\n[" + kZre +
                        "\\1.8]\r\n\"ZunaHome\"=\"\"\r\n\r\n")
      .withFile("C:\\bin\\deploy.dll", planted)
      .withFile("C:\\bin\\deploy.commands", "RESULT 1\n")
      .withFile("C:\\bin\\msvcr100.dll", "planted")
      .withFile("C:\\bin\\zuna.exe", "planted");
  run();
  EXPECT_TRUE(logged("(WinMain)]\r\n\tERROR: Cannot determine ZunaHome.\r\n")) << log();
  EXPECT_TRUE(recorded("ERROR: FindZunaHome QueryStringValue(ZunaHome) failed."));
  EXPECT_EQ(readFile(host("C:\\bin\\msvcr100.dll")), "planted");
  EXPECT_TRUE(exists("C:\\bin\\deploy.dll"));
  EXPECT_FALSE(exists("C:\\bin\\deploy.calls"));
  // Not even tried: every start is journaled, failed or not.
  EXPECT_TRUE(events("createProcess").empty());
}

TEST_F(UninstallRun, ARemainingRuntimeWithAnEmptyHomeIsNotRegisteredAgain) {
  machine_.withRegistry(std::string("[") + kZre + "\\1.8.0_25]\r\n\"ZunaHome\"=\"\"\r\n\"RuntimeLib\"=\"\"\r\n"
                        "\"MicroVersion\"=\"0\"\r\n\r\n")
      .withFile("C:\\core.zip", "not the runtime's")
      .withFile("C:\\bin\\zuna.exe", "planted")
      .withFile("C:\\bin\\zabswitch.exe", "planted")
      .withFile("C:\\bin\\HostAccessBridge-64.dll", "planted");
  run();
  EXPECT_FALSE(logged("** Start WINAPI InstallZuna")) << log();
  EXPECT_TRUE(exists("C:\\core.zip"));
  EXPECT_TRUE(events("createProcess").empty());
  EXPECT_FALSE(exists(kBridgeLibrary));
  EXPECT_FALSE(exists(kLinks));
  EXPECT_FALSE(registry().value(std::string(kZre) + "\\1.8", "ZunaHome"));
}

TEST_F(UninstallRun, AHomeTooLongForItsBufferIsNeitherCutNorRegistered) {
  // The first 259 characters, where a buffer of 260 would cut the home, name a folder.
  std::string cut = "C:\\" + std::string(200, 'a') + "\\" + std::string(55, 'b');
  ASSERT_EQ(cut.size(), 259u);
  RuntimeInstall longer = runtimeInstall("1.8.0_25");
  longer.home = cut + "\\" + std::string(40, 'c');
  machine_.withRuntime(longer).withFile(cut + "\\core.zip", "somebody's archive");
  run();
  EXPECT_EQ(readFile(host(cut + "\\core.zip")), "somebody's archive");
  EXPECT_EQ(registry().text(std::string(kZre) + "\\1.8.0_25", "ZunaHome"), longer.home);
  EXPECT_TRUE(recorded("**** InstallZuna - the home of 1.8.0_25 does not fit in 260 characters, so it is not "
                       "registered: " + longer.home)) << log();
}

TEST_F(UninstallRun, TheReleaseKeyGoesWithASubkeyOfAnotherToolAndIsNotRegisteredAgain) {
  machine_.withRuntime(runtimeInstall("1.8.0_25", "11"))
      .withRegistry(std::string("[") + kZre + "\\1.8.0_31\\Other Tool]\r\n\"Seen\"=\"yes\"\r\n\r\n");
  run();
  RegistrySnapshot reg = registry();
  EXPECT_TRUE(reg.keysUnder(std::string(kZre) + "\\1.8.0_31").empty());
  EXPECT_EQ(reg.text(kZre, "CurrentVersion"), "1.8");
  EXPECT_EQ(reg.text(std::string(kZre) + "\\1.8", "ZunaHome"), kHome25);
  EXPECT_EQ(reg.text(kCommand, ""), zarCommand(kHome25));
}

// Other programs beside the run: a reader that holds the bridge library, and a watcher
// that made the operation mailbox before the run, which only opens it.
TEST_F(UninstallRun, ABridgeLibraryAProgramHoldsLoadedIsReplacedAtTheNextRestart) {
  machine_.withRuntime(runtimeInstall("1.8.0_25", "11", "1.8.0_25-b17"))
      .withMachineJson(R"({"processes": [{"pid": 3100, "exe": "reader.exe", "image": "C:\\Tools\\reader.exe",
                                          "modules": ["C:\\Windows\\System32\\HostAccessBridge-64.dll"]}]})");
  zutest::writeFile(scratch_.path() / "shm" / "ZdsOperationSequenceSharedMemory", std::string(8, '\0'));
  run();
  EXPECT_EQ(readFile(scratch_.path() / "shm" / "ZdsOperationSequenceSharedMemory"), std::string("\x06\0\0\0\x02\0\0\0", 8));
  // The reader keeps the removed release's library until the restart, which first
  // deletes it and then puts the remaining runtime's copy in its place.
  EXPECT_EQ(readFile(host(kBridgeLibrary)), "bridge of 1.8.0_31");
  auto operations = runResult()["scheduledOperations"];
  ASSERT_EQ(operations.size(), 2u) << operations;
  EXPECT_EQ(operations[0]["from"], kBridgeLibrary);
  EXPECT_TRUE(operations[0]["to"].is_null());
  EXPECT_EQ(operations[1]["to"], kBridgeLibrary);
  std::string copy = operations[1]["from"].get<std::string>();
  EXPECT_TRUE(std::regex_match(copy, std::regex(R"(C:\\Windows\\System32\\REN[0-9A-F]+\.tmp)"))) << copy;
  EXPECT_EQ(readFile(host(copy)), "HostAccessBridge-64.dll of 1.8.0_25");
}

// An ARM64 system runs this x64 program emulated and has the views and folders of x64
// Windows: the whole uninstall leaves the same registry and files on both.
TEST(UninstallRunArchitecture, Arm64IsTakenForA64BitSystemLikeX64) {
  auto outcome = [](const std::string& architecture) {
    zutest::ScratchDir scratch;
    InstalledMachine machine(scratch.path());
    RuntimeInstall r32 = runtimeInstall("1.8.0_20");
    r32.home = "C:\\Program Files (x86)\\Zuna\\zre1.8.0_20";
    r32.view32 = true;
    machine.withRuntime(runtimeInstall("1.8.0_25", "11", "1.8.0_25-b17"))
        .withRuntime(r32)
        .withMachineJson(R"({"os": {"architecture": ")" + architecture + R"("}})");
    machine.write();
    auto result = zutest::runUninstaller({"--machine", scratch.path().string()});
    EXPECT_EQ(result.status, 0) << result.output;
    fs::remove_all(scratch.path() / "drives/C/Users/user/AppData/Local/Temp");
    auto files = zutest::contentsOf(scratch.path() / "drives");
    // A shortcut also holds its target's file times, which differ from run to run.
    for (auto& [path, content] : files) content = path.ends_with(".lnk") ? "shortcut" : content;
    return std::make_pair(readFile(scratch.path() / "registry.reg"), files);
  };
  auto x64 = outcome("x64");
  auto arm64 = outcome("arm64");
  EXPECT_EQ(arm64.first, x64.first);
  EXPECT_EQ(arm64.second, x64.second);
  EXPECT_NE(x64.first.find("zre1.8.0_25\\\\bin\\\\server\\\\zvm.dll"), std::string::npos);
}

TEST_F(UninstallRun, AKitKeepsCorvaneAndTheUsersKeys) {
  // The release's key is gone already (a run ended after deleting it): the runtime main
  // key, empty now, still goes, and the users' runtime keys with it.
  machine_.withoutReleaseKeys().withRegistry(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Development Kit\\1.8.0_31]\r\n"
      "\"ZunaHome\"=\"C:\\\\Program Files\\\\Zuna\\\\zdk1.8.0_31\"\r\n\r\n");
  run();
  RegistrySnapshot reg = registry();
  EXPECT_TRUE(reg.hasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Development Kit\\1.8.0_31"));
  EXPECT_FALSE(reg.hasKey(kZre));
  EXPECT_TRUE(reg.hasKey(std::string(kUser) + "\\Software\\Corvane"));
  EXPECT_FALSE(reg.hasKey(std::string(kUser) + "\\Software\\Corvane\\Zuna Runtime Environment"));
}

// The latest runtime over both views takes the association, links and shortcuts (its home
// stored with a trailing backslash, which no path doubles); the bridge follows the latest
// 64-bit runtime only.
TEST_F(UninstallRun, TheLatestRuntimeOfBothViewsTakesOverAllButTheBridge) {
  RuntimeInstall r32 = runtimeInstall("1.8.0_25", "11", "1.8.0_25-b17");
  r32.home = "C:\\Program Files (x86)\\Zuna\\zre1.8.0_25\\";
  r32.view32 = true;
  machine_.withRuntime(r32).withRuntime(runtimeInstall("1.8.0_11", "12", "1.8.0_11-b12"));
  run();
  expectRegisteredFor("C:\\Program Files (x86)\\Zuna\\zre1.8.0_25");
  RegistrySnapshot reg = registry();
  EXPECT_EQ(reg.expandText(kBridgeKey, "StartExe"), "C:\\Program Files\\Zuna\\zre1.8.0_11\\bin\\zabswitch.exe");
  EXPECT_EQ(readFile(host(kBridgeLibrary)), "HostAccessBridge-64.dll of 1.8.0_11");
  EXPECT_FALSE(reg.hasKey(kBridgeKey32));
}

TEST_F(UninstallRun, AMissingLinkCountsAsDeletedAndAFailedClosingStepStopsNoOther) {
  // Nothing is registered, so the links are to be cleaned up: one is gone already, and a
  // plain file stands in place of another.
  machine_.withoutReleaseKeys()
      .withoutFile(std::string(kLinks) + "\\zunaw.exe")
      .withFile(std::string(kLinks) + "\\zunaws.exe", "not a link");
  run();
  std::string text = log();
  size_t reported = text.find("Not a symlink: C:\\ProgramData\\Vantor\\Zuna\\zunapath\\zunaws.exe' caught");
  ASSERT_NE(reported, std::string::npos) << text;
  EXPECT_NE(text.rfind("(UninstallZRE)]\r\n\tERROR: Exception with message '", reported), std::string::npos);
  EXPECT_EQ(text.find("Not a symlink: C:\\ProgramData\\Vantor\\Zuna\\zunapath\\zunaw.exe"), std::string::npos);
  EXPECT_FALSE(exists(std::string(kLinks) + "\\zuna.exe"));
  EXPECT_TRUE(exists(std::string(kLinks) + "\\zunaws.exe"));
  // The bridge step after it still ran: nothing names the removed release's switch.
  EXPECT_FALSE(exists(kBridgeLibrary));
  EXPECT_FALSE(registry().hasKey(kBridgeKey));
}

// A run that ended after the release's key was deleted: the next one finds no release to
// remove, and still makes the runtime left the current one.
TEST_F(UninstallRun, WithTheReleaseUnregisteredTheRuntimeLeftIsRegisteredAgain) {
  machine_.withoutReleaseKeys().withRuntime(runtimeInstall("1.8.0_25", "11", "1.8.0_25-b17"));
  run();
  RegistrySnapshot reg = registry();
  EXPECT_FALSE(logged("-- Start UninstallZunaRegSet"));
  EXPECT_FALSE(logged("-- Running RegisterDeploy(FALSE) "));
  EXPECT_TRUE(recorded("** End WINAPI InstallZuna **")) << log();
  EXPECT_EQ(reg.text(kZre, "CurrentVersion"), "1.8");
  EXPECT_EQ(reg.text(std::string(kZre) + "\\1.8", "ZunaHome"), kHome25);
  EXPECT_TRUE(exists(kBaseImage));
  expectRegisteredFor(kHome25);
  EXPECT_EQ(readFile(host(kBridgeLibrary)), "HostAccessBridge-64.dll of 1.8.0_25");
  EXPECT_EQ(reg.text(kBridgeKey, "ApplicationName"), "Enable Zuna Access Bridge");
}

// A family is installed while a version key of it remains, whatever became of its
// family key: a remaining release whose home is damaged keeps the base image.
TEST_F(UninstallRun, TheBaseImageStaysWhileAReleaseOfItsFamilyRemains) {
  machine_.withRuntime(runtimeInstall("1.8.0_25", "11"))
      .withRegistry(std::string("[") + kZre + "\\1.8.0_25]\r\n\"ZunaHome\"=dword:00000001\r\n\r\n");
  run();
  RegistrySnapshot reg = registry();
  EXPECT_FALSE(reg.hasKey(std::string(kZre) + "\\1.8")) << "no home to write a family key with";
  EXPECT_TRUE(reg.hasKey(std::string(kZre) + "\\1.8.0_25"));
  EXPECT_TRUE(exists(kBaseImage));
}

// Launchers left by an older Windows, copies behind a junction: the next run replaces
// the junction by a folder of links, its copies and their folder gone.
TEST_F(UninstallRun, AJunctionFromAnOlderWindowsIsReplacedByLinks) {
  const std::string target = std::string(kLinks) + "_target_7";
  withJunction(target, {"zuna.exe", "zunaw.exe", "zunaws.exe"});
  machine_.withRuntime(runtimeInstall("1.8.0_25", "11", "1.8.0_25-b17"));
  run();
  EXPECT_TRUE(fs::is_directory(fs::symlink_status(host(kLinks))));
  EXPECT_EQ(linkTarget("zunaw.exe"), kHome25 + "\\bin\\zunaw.exe");
  EXPECT_FALSE(exists(target));
  EXPECT_EQ(runResult()["scheduledOperations"], nlohmann::json::array()) << "nothing is left for the restart";
}

// On an older Windows with nothing left: the junction goes with its copies; one a program
// runs and the folder holding it go at the next restart.
TEST_F(UninstallRun, OnAnOlderWindowsTheJunctionGoesWithItsCopies) {
  const std::string target = std::string(kLinks) + "_target_1";
  withJunction(target, {"zuna.exe", "zunaws.exe"});
  machine_      .withMachineJson(R"({"os": {"version": "5.1"}, "processes": [{"pid": 3200, "exe": "zuna.exe",
                           "image": "C:\\ProgramData\\Vantor\\Zuna\\zunapath_target_1\\zuna.exe"}]})");
  run();
  EXPECT_FALSE(exists(kLinks));
  EXPECT_FALSE(exists(target + "\\zunaws.exe"));
  EXPECT_TRUE(exists(target + "\\zuna.exe"));
  EXPECT_EQ(runResult()["scheduledOperations"], nlohmann::json::parse(R"([{"from": "C:\\ProgramData\\Vantor\\Zuna\\zunapath_target_1\\zuna.exe", "to": null},
                                                   {"from": "C:\\ProgramData\\Vantor\\Zuna\\zunapath_target_1", "to": null}])"));
  EXPECT_TRUE(logged("WARNING: file " + target + "\\zunaw.exe not found")) << log();
  EXPECT_EQ(registry().expandText(kEnvironment, "Path"), "%SystemRoot%\\system32;C:\\Tools");
}

}  // namespace
