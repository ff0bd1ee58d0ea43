// The closing steps of an uninstall as the sequence runs them: the command-path links
// and Path follow what remains, then the access bridge does.
#include <filesystem>
#include <stdexcept>

#include <gtest/gtest.h>

#include "tests/windows/installerdll/ZunaPathTestMachine.h"
#include "windows/common/FileUtils.h"
#include "windows/installerdll/AccessBridge.h"
#include "windows/installerdll/ZunaPath.h"

namespace {

namespace fs = std::filesystem;
using zutest::Runtime;

constexpr const char* kBridgeKey =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Accessibility\\ATs\\Vantor_ZunaAccessBridge";
constexpr const char* kLibrary = "C:\\Windows\\System32\\HostAccessBridge-64.dll";
constexpr const char* kOtherPath = "C:\\Windows\\system32;C:\\ProgramData\\Vantor\\Zuna\\zunapath;C:\\Tools";

class UninstallLinksTest : public zutest::RuntimeMachineTest {
 protected:
  // What an earlier runtime left: links to it, the Path entry, the bridge and its key.
  void buildWithLeftovers(const std::vector<Runtime>& runtimes, const std::string& machineJson = "") {
    std::string bridgeKey = std::string("[HKEY_LOCAL_MACHINE\\") + kBridgeKey +
                            "]\n\"StartExe\"=\"C:\\\\Program Files\\\\Zuna\\\\zre1.8.0_31\\\\bin\\\\zabswitch.exe\"\n\n";
    build(runtimes, kOtherPath, machineJson, bridgeKey);
    fs::create_directories(hostPath(kZunapath));
    for (const char* launcher : {"zuna.exe", "zunaw.exe", "zunaws.exe"}) {
      fs::create_symlink(std::string("C:\\Program Files\\Zuna\\zre1.8.0_31\\bin\\") + launcher,
                         hostPath(std::string(kZunapath) + "\\" + launcher));
    }
    zutest::writeFile(hostPath(kLibrary), "1.8.0_31 bridge");
  }
  // The closing steps in their order; an exception of the links step skips the bridge.
  void runClosingSteps() {
    UninstallZunaZunawExecutables();
    bridgeResult = SetUpAccessBridge();
  }
  std::string link(const char* launcher) { return linkTarget(std::string(kZunapath) + "\\" + launcher); }
  std::optional<std::string> bridgeStartExe(REGSAM view = KEY_WOW64_64KEY) {
    RegistryKey key(HKEY_LOCAL_MACHINE);
    if (key.OpenKey(kBridgeKey, KEY_READ | view) != ERROR_SUCCESS) return std::nullopt;
    RegistryValue value;
    key.QueryValue("StartExe", value);
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_EXPAND_SZ));
    return std::string(reinterpret_cast<const char*>(value.data.data()));
  }
  int bridgeResult = -1;
};

TEST_F(UninstallLinksTest, NothingRegisteredTakesEverythingAway) {
  buildWithLeftovers({});
  runClosingSteps();
  EXPECT_FALSE(fs::exists(fs::symlink_status(hostPath(kZunapath))));
  EXPECT_EQ(pathValue(), std::make_pair(DWORD{REG_EXPAND_SZ}, std::string("C:\\Windows\\system32;C:\\Tools")));
  ASSERT_EQ(events("broadcast").size(), 1u);
  EXPECT_EQ(events("broadcast")[0]["text"], "Environment");
  EXPECT_FALSE(fs::exists(hostPath(kLibrary)));
  EXPECT_FALSE(bridgeStartExe());
  EXPECT_EQ(bridgeResult, 0);
  std::string text = log();
  EXPECT_NE(text.find("cleaning zunapath stuff - latestZre is N/A"), std::string::npos);
  EXPECT_NE(text.find("Entering `anonymous-namespace'::UninstallZunaZunawExecutables"), std::string::npos);
  EXPECT_NE(text.find("No ZRE version found at SOFTWARE\\Corvane\\Zuna Runtime Environment"), std::string::npos);
}

TEST_F(UninstallLinksTest, ARemainingRuntimeGetsTheLinksAndTheBridge) {
  Runtime zre("1.8.0_25");
  buildWithLeftovers({zre, Runtime("1.7.0_80")});
  runClosingSteps();
  for (const char* launcher : {"zuna.exe", "zunaw.exe", "zunaws.exe"}) {
    EXPECT_EQ(link(launcher), zre.home() + "\\bin\\" + launcher);
  }
  EXPECT_EQ(pathValue(), std::make_pair(DWORD{REG_SZ}, std::string(kOtherPath))) << "Path is left alone";
  EXPECT_TRUE(events("broadcast").empty());
  EXPECT_EQ(zutest::readFile(hostPath(kLibrary)), "1.8.0_25 HostAccessBridge-64.dll");
  EXPECT_EQ(bridgeStartExe(), zre.home() + "\\bin\\zabswitch.exe");
  EXPECT_EQ(bridgeResult, 1);
  EXPECT_NE(log().find("create/update symlinks - latestZre is 1.8.0_25-b13"), std::string::npos);
}

TEST_F(UninstallLinksTest, TheFullVersionComesFromTheLauncherWhenTheRegistryHasNone) {
  Runtime old("1.8.0_11");
  old.fullVersion = "";
  old.printedFullVersion = "1.8.0_11-b12";
  buildWithLeftovers({old});
  runClosingSteps();
  EXPECT_FALSE(fs::exists(fs::symlink_status(hostPath(kZunapath))));
  EXPECT_EQ(pathValue().second, "C:\\Windows\\system32;C:\\Tools");
  EXPECT_NE(log().find("cleaning zunapath stuff - latestZre is 1.8.0_11-b12"), std::string::npos);
  EXPECT_EQ(bridgeStartExe(), old.home() + "\\bin\\zabswitch.exe") << "1.8.0_11 still carries the bridge";
}

TEST_F(UninstallLinksTest, ALauncherReportingTheFirstLinkedReleaseKeepsTheLinks) {
  Runtime zre("1.8.0_20");
  zre.fullVersion = "";
  zre.printedFullVersion = "1.8.0_20-b26";
  buildWithLeftovers({zre});
  runClosingSteps();
  EXPECT_EQ(link("zunaw.exe"), zre.home() + "\\bin\\zunaw.exe");
  EXPECT_NE(log().find("create/update symlinks - latestZre is 1.8.0_20-b26"), std::string::npos);
  EXPECT_EQ(pathValue().second, kOtherPath);
}

TEST_F(UninstallLinksTest, ALauncherThatCannotTellItsVersionCountsAsOld) {
  Runtime zre("1.8.0_40");
  zre.fullVersion = "";
  buildWithLeftovers({zre});
  runClosingSteps();
  EXPECT_FALSE(fs::exists(fs::symlink_status(hostPath(kZunapath))));
  EXPECT_NE(log().find("cleaning zunapath stuff - latestZre is \r\n"), std::string::npos) << log();
}

TEST_F(UninstallLinksTest, TheOnlyRuntimeInTheThirtyTwoBitViewGetsTheLinksButNotTheBridge) {
  Runtime zre("1.8.0_40", true);
  buildWithLeftovers({zre});
  runClosingSteps();
  EXPECT_EQ(link("zuna.exe"), zre.home() + "\\bin\\zuna.exe");
  EXPECT_FALSE(fs::exists(hostPath(kLibrary)));
  EXPECT_FALSE(bridgeStartExe(KEY_WOW64_64KEY));
  EXPECT_FALSE(bridgeStartExe(KEY_WOW64_32KEY));
  EXPECT_EQ(bridgeResult, 0);
}

TEST_F(UninstallLinksTest, AMissingPathValueStopsBeforeTheLinksGo) {
  build({}, nullptr);
  fs::create_directories(hostPath(kZunapath));
  EXPECT_THROW(UninstallZunaZunawExecutables(), std::runtime_error);
  EXPECT_TRUE(fs::is_directory(hostPath(kZunapath)));
}

// The bridge follows the version key's name in text order, not version order.
struct BridgeCase {
  const char* version;
  bool registered;
};

class BridgeThresholdTest : public zutest::RuntimeMachineTest,
                            public ::testing::WithParamInterface<BridgeCase> {};

TEST_P(BridgeThresholdTest, TheLatestSixtyFourBitRuntimeIsRegisteredFromTheFirstBridgeRelease) {
  Runtime zre(GetParam().version);
  build({zre});
  EXPECT_EQ(SetUpAccessBridge(), GetParam().registered ? 1 : 0);
  RegistryKey key(HKEY_LOCAL_MACHINE);
  EXPECT_EQ(key.OpenKey(kBridgeKey, KEY_READ | KEY_WOW64_64KEY) == ERROR_SUCCESS, GetParam().registered);
  EXPECT_EQ(fs::exists(hostPath(kLibrary)), GetParam().registered);
}

INSTANTIATE_TEST_SUITE_P(Versions, BridgeThresholdTest,
                         ::testing::Values(BridgeCase{"1.7.0_05", false}, BridgeCase{"1.7.0", false},
                                           BridgeCase{"1.6.0_45", false}, BridgeCase{"1.7.0_06", true},
                                           BridgeCase{"1.7.0_1", true}, BridgeCase{"1.7.0_80", true},
                                           BridgeCase{"1.8.0_5", true}));

TEST_F(BridgeThresholdTest, ARuntimeWithoutTheSwitchIsRegisteredWithoutALibrary) {
  Runtime zre("1.8.0_25");
  zre.zabswitch = false;
  build({zre});
  EXPECT_EQ(SetUpAccessBridge(), 1);
  EXPECT_FALSE(fs::exists(hostPath(kLibrary)));
  RegistryKey key(HKEY_LOCAL_MACHINE);
  EXPECT_EQ(key.OpenKey(kBridgeKey, KEY_READ | KEY_WOW64_64KEY), ERROR_SUCCESS);
}

}  // namespace
