// The .zar association: written for the latest runtime, left deleted when none remains.
#include "windows/installerdll/ZarAssociation.h"

#include <gtest/gtest.h>

#include "tests/support/TestMachine.h"
#include "windows/common/RegistryKey.h"
#include "windows/installerdll/utils.h"

namespace {

constexpr const char* kLogPath = "C:\\Users\\user\\AppData\\Local\\Temp\\zusched.log";
constexpr const char* kClasses = "SOFTWARE\\Classes\\";

class ZarAssociationTest : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }
  void loadRegistry(const std::string& keys, const std::string& machineJson = "") {
    if (!machineJson.empty()) zutest::writeFile(dir() / "machine.json", machineJson);
    zutest::writeFile(dir() / "registry.reg", "Windows Registry Editor Version 5.00\n\n" + keys);
    load();
  }
  // A runtime version key as the installer lays it out, in one view.
  static std::string zre(const std::string& version, const std::string& home, bool wow = false) {
    return std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\") + (wow ? "Wow6432Node\\" : "") +
           "Corvane\\Zuna Runtime Environment\\" + version + "]\n\"ZunaHome\"=\"" + home +
           "\"\n\"MicroVersion\"=\"0\"\n\n";
  }
  // The text of a value in the 64-bit view, or "<missing>".
  static std::string value(const std::string& key, const std::string& name = "") {
    const CheckedRegistryKey& root = RegistryRoot::LocalMachine64();
    if (!CheckedRegistryKey::Exists(root, key)) return "<missing>";
    CheckedRegistryKey open = CheckedRegistryKey::Open(root, key, 0);
    if (!open.ValueExists(name, nullptr)) return "<missing>";
    return open.QueryStringValue(name);
  }
  std::string log() { return zutest::readFile(hostPath(kLogPath)); }
  bool logged(const std::string& text) { return log().find("INFO: " + text + "\r\n") != std::string::npos; }
};

TEST_F(ZarAssociationTest, TheCommandQuotesTheLauncherAndTheArchive) {
  loadRegistry("");
  EXPECT_EQ(ZarOpenCommand("C:\\Program Files\\Zuna\\zre"),
            "\"C:\\Program Files\\Zuna\\zre\\bin\\zunaw.exe\" -zar \"%1\" %*");
}

TEST_F(ZarAssociationTest, RegCurrentVersionWritesTheClassKeysAndTheCurrentVersion) {
  loadRegistry(zre("1.8.0_25", "C:\\\\Program Files\\\\Zuna\\\\zre1.8.0_25"));
  EXPECT_TRUE(RegCurrentVersion("C:\\Program Files\\Zuna\\zre1.8.0_25", "1.8"));
  EXPECT_EQ(value(std::string(kClasses) + ".zar"), "zarfile");
  EXPECT_EQ(value(std::string(kClasses) + "zarfile"), "Executable Zar File");
  EXPECT_EQ(value(std::string(kClasses) + "zarfile\\shell\\open\\command"),
            "\"C:\\Program Files\\Zuna\\zre1.8.0_25\\bin\\zunaw.exe\" -zar \"%1\" %*");
  EXPECT_EQ(value(kZreMainKey, "CurrentVersion"), "1.8");
  EXPECT_EQ(value(kZreMainKey + std::string("\\1.8.0_25"), "ZunaHome"), "C:\\Program Files\\Zuna\\zre1.8.0_25")
      << "the version key is left alone";
  EXPECT_TRUE(logged("RegCurrentVersion ---- begin ---- "));
  EXPECT_TRUE(logged("RegCurrentVersion ---- end  ---- "));
}

TEST_F(ZarAssociationTest, RegCurrentVersionStopsAtTheFirstKeyItCannotCreate) {
  loadRegistry("");
  machine().faults().failNext("RegCreateKeyExA", ERROR_ACCESS_DENIED, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\zarfile");
  EXPECT_FALSE(RegCurrentVersion("C:\\zre", "1.8"));
  EXPECT_EQ(value(std::string(kClasses) + ".zar"), "zarfile") << "written before the failure";
  EXPECT_EQ(value(std::string(kClasses) + "zarfile"), "<missing>");
  EXPECT_EQ(value(std::string(kClasses) + "zarfile\\shell\\open\\command"), "<missing>");
  EXPECT_EQ(value(kZreMainKey, "CurrentVersion"), "<missing>");
  EXPECT_TRUE(logged("RegCurrentVersion ---- failed to create zarfile key ---- ")) << log();
  EXPECT_FALSE(logged("RegCurrentVersion ---- end  ---- "));
}

TEST_F(ZarAssociationTest, RegCurrentVersionReportsTheMainKeyItCannotCreate) {
  loadRegistry("");
  machine().faults().failNext("RegCreateKeyExA", ERROR_ACCESS_DENIED,
                              "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment");
  EXPECT_FALSE(RegCurrentVersion("C:\\zre", "1.8"));
  EXPECT_EQ(value(std::string(kClasses) + "zarfile\\shell\\open\\command"),
            "\"C:\\zre\\bin\\zunaw.exe\" -zar \"%1\" %*");
  EXPECT_TRUE(logged("RegCurrentVersion ---- failed to create Zuna Runtime Environment key ---- ")) << log();
}

TEST_F(ZarAssociationTest, NoRuntimeLeftWritesNothing) {
  loadRegistry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Development Kit\\1.8.0_31]\n\"ZunaHome\"=\"C:\\\\zdk\"\n\n");
  EXPECT_EQ(RestoreZarfileAssociation(), 1);
  for (const char* key : {".zar", "zarfile", "Applications\\zuna.exe", "Applications\\zunaw.exe"}) {
    EXPECT_FALSE(CheckedRegistryKey::Exists(RegistryRoot::LocalMachine64(), std::string(kClasses) + key)) << key;
  }
  EXPECT_TRUE(logged("BEGIN RestoreZarfileAssociation"));
  EXPECT_TRUE(logged("No ZRE exists on the system")) << log();
  EXPECT_TRUE(logged("END RestoreZarfileassociation()---- "));
}

TEST_F(ZarAssociationTest, ARuntimeOnlyInThe32BitViewGetsTheAssociation) {
  // Stored with a trailing backslash: the command must not double it.
  loadRegistry(zre("1.8.0_40", "C:\\\\Program Files (x86)\\\\Zuna\\\\zre1.8.0_40\\\\", true));
  EXPECT_EQ(RestoreZarfileAssociation(), 1);
  EXPECT_EQ(value(std::string(kClasses) + "zarfile\\shell\\open\\command"),
            "\"C:\\Program Files (x86)\\Zuna\\zre1.8.0_40\\bin\\zunaw.exe\" -zar \"%1\" %*");
  EXPECT_EQ(value(std::string(kClasses) + ".zar"), "zarfile");
  EXPECT_EQ(value(std::string(kClasses) + "zarfile"), "Executable Zar File");
  for (const char* app : {"Applications\\zuna.exe", "Applications\\zunaw.exe"}) {
    EXPECT_EQ(value(std::string(kClasses) + app), "") << app;
    EXPECT_EQ(value(std::string(kClasses) + app, "IsHostApp"), "") << app;
  }
  EXPECT_TRUE(logged("END RestoreZarfileassociation()---- "));
}

TEST_F(ZarAssociationTest, TheLatestRuntimeAcrossBothViewsWins) {
  loadRegistry(zre("1.8.0_25", "C:\\\\zre25") + zre("1.8.0_40", "C:\\\\zre31", true) + zre("1.8", "C:\\\\zre25"));
  EXPECT_EQ(RestoreZarfileAssociation(), 1);
  EXPECT_EQ(value(std::string(kClasses) + "zarfile\\shell\\open\\command"),
            "\"C:\\zre31\\bin\\zunaw.exe\" -zar \"%1\" %*");
}

TEST_F(ZarAssociationTest, AThirtyTwoBitProcessWritesIntoThe64BitView) {
  loadRegistry(zre("1.8.0_40", "C:\\\\zre"), "{\"process\":{\"bitness\":32}}");
  EXPECT_EQ(RestoreZarfileAssociation(), 1);
  EXPECT_EQ(value(std::string(kClasses) + ".zar"), "zarfile");
  EXPECT_FALSE(CheckedRegistryKey::Exists(RegistryRoot::LocalMachine64(), "SOFTWARE\\Wow6432Node\\Classes\\.zar"));
}

TEST_F(ZarAssociationTest, OnA32BitSystemTheOneViewGetsTheKeys) {
  loadRegistry(zre("1.8.0_40", "C:\\\\zre"), "{\"os\":{\"architecture\":\"x86\"},\"process\":{\"bitness\":32}}");
  EXPECT_EQ(RestoreZarfileAssociation(), 1);
  CheckedRegistryKey command = CheckedRegistryKey::Open(
      RegistryRoot::LocalMachine(), std::string(kClasses) + "zarfile\\shell\\open\\command", 0);
  EXPECT_EQ(command.QueryStringValue(""), "\"C:\\zre\\bin\\zunaw.exe\" -zar \"%1\" %*");
}

TEST_F(ZarAssociationTest, RestoreStopsAtTheFirstKeyThatFails) {
  loadRegistry(zre("1.8.0_40", "C:\\\\zre"));
  machine().faults().failNext("RegCreateKeyExA", ERROR_ACCESS_DENIED,
                              "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\zarfile\\shell\\open\\command");
  EXPECT_EQ(RestoreZarfileAssociation(), 0);
  EXPECT_EQ(value(std::string(kClasses) + "zarfile"), "Executable Zar File");
  EXPECT_EQ(value(std::string(kClasses) + ".zar"), "zarfile");
  EXPECT_EQ(value(std::string(kClasses) + "zarfile\\shell\\open\\command"), "<missing>");
  EXPECT_EQ(value(std::string(kClasses) + "Applications\\zuna.exe"), "<missing>") << "skipped after the failure";
  EXPECT_TRUE(logged("SetZarOrZfrKeys ---- failed to create Software\\Classes\\zarfile\\shell\\open\\command key ---- "))
      << log();
  EXPECT_FALSE(logged("END RestoreZarfileassociation()---- "));
}

TEST_F(ZarAssociationTest, SetZarOrZfrKeysReportsAnExtraValueItCannotWrite) {
  loadRegistry("");
  machine().faults().failNext("RegSetValueExA", ERROR_ACCESS_DENIED,
                              "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Applications\\zuna.exe\\IsHostApp");
  EXPECT_FALSE(SetZarOrZfrKeys(HKEY_LOCAL_MACHINE, "Software\\Classes\\Applications\\zuna.exe", "", "IsHostApp"));
  EXPECT_EQ(value(std::string(kClasses) + "Applications\\zuna.exe"), "") << "the default value went in first";
  EXPECT_EQ(value(std::string(kClasses) + "Applications\\zuna.exe", "IsHostApp"), "<missing>");
  EXPECT_TRUE(logged("SetZarOrZfrKeys ---- failed to open Software\\Classes\\Applications\\zuna.exe key ---- "));
  EXPECT_TRUE(SetZarOrZfrKeys(HKEY_LOCAL_MACHINE, "Software\\Classes\\Applications\\zuna.exe", "", "IsHostApp"));
  EXPECT_EQ(value(std::string(kClasses) + "Applications\\zuna.exe", "IsHostApp"), "");
}

TEST_F(ZarAssociationTest, SetZarOrZfrKeysReportsAKeyItCannotOpen) {
  loadRegistry("");
  machine().faults().failNext("RegOpenKeyExA", ERROR_ACCESS_DENIED, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.zar");
  EXPECT_FALSE(SetZarOrZfrKeys(HKEY_LOCAL_MACHINE, "Software\\Classes\\.zar", "zarfile", nullptr));
  EXPECT_TRUE(logged("SetZarOrZfrKeys ---- failed to open Software\\Classes\\.zar key ---- ")) << log();
}

}  // namespace
