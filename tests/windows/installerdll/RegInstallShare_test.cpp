// Version keys: finding homes and the latest version, writing and deleting keys.
#include "windows/installerdll/RegInstallShare.h"

#include <gtest/gtest.h>

#include "windows/common/RegistryKey.h"
#include "tests/support/TestMachine.h"

namespace {

class RegInstallShareTest : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }
  void loadRegistry(const std::string& keys, const std::string& machineJson = "") {
    if (!machineJson.empty()) zutest::writeFile(dir() / "machine.json", machineJson);
    zutest::writeFile(dir() / "registry.reg", "Windows Registry Editor Version 5.00\n\n" + keys);
    load();
  }
  static std::string zre(const std::string& version, const std::string& home, bool wow = false) {
    return std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\") + (wow ? "Wow6432Node\\" : "") +
           "Corvane\\Zuna Runtime Environment\\" + version + "]\n\"ZunaHome\"=\"" + home + "\"\n\n";
  }
  bool exists(const std::string& path, const CheckedRegistryKey& root = RegistryRoot::LocalMachine()) {
    return CheckedRegistryKey::Exists(root, path);
  }
};

TEST_F(RegInstallShareTest, FindZunaHomeReadsTheReleaseKeyAndDropsATrailingBackslash) {
  loadRegistry(zre("1.8.0_31", "C:\\\\Program Files\\\\Zuna\\\\zre\\\\"));
  char home[260] = "sentinel";
  ASSERT_TRUE(FindZunaHome("1.8.0_31", home, sizeof home, 0));
  EXPECT_STREQ(home, "C:\\Program Files\\Zuna\\zre");
  // The stored value is left as it was.
  CheckedRegistryKey key =
      CheckedRegistryKey::Open(RegistryRoot::LocalMachine(), std::string(kZreMainKey) + "\\1.8.0_31", 0);
  EXPECT_EQ(key.QueryStringValue("ZunaHome"), "C:\\Program Files\\Zuna\\zre\\");
}

TEST_F(RegInstallShareTest, FindZunaHomeFailsWithoutAUsableValue) {
  loadRegistry(zre("1.8.0_31", "C:\\\\zre", true) +
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment\\1.8]\n\"ZunaHome\"=dword:1\n\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment\\1.7]\n"
               "\"ZunaHome\"=hex(1):43,00,3a,00\n\n" +
               zre("1.6", "C:\\\\a-rather-long-home") + zre("1.5", "") + zre("1.4", "C:zre") + zre("1.3", "\\\\zre") +
               zre("1.2", "\\\\\\\\server\\\\share\\\\") + zre("1.1", "C:\\\\"));
  char home[12] = "";
  EXPECT_FALSE(FindZunaHome("1.8.0_31", home, sizeof home, 0)) << "registered only in the 32-bit view";
  EXPECT_FALSE(FindZunaHome("1.8", home, sizeof home, 0)) << "not a string";
  EXPECT_FALSE(FindZunaHome("1.7", home, sizeof home, 0)) << "no NUL";
  EXPECT_FALSE(FindZunaHome("1.6", home, sizeof home, 0)) << "does not fit";
  char roomy[64];
  EXPECT_FALSE(FindZunaHome("1.6", roomy, 21, 0)) << "no room for the NUL";
  EXPECT_TRUE(FindZunaHome("1.6", roomy, 22, 0));
  EXPECT_STREQ(roomy, "C:\\a-rather-long-home");
  // A home that is not an absolute path (a drive's root, without its backslash, is
  // not) is no home, and leaves the buffer alone.
  for (const char* relative : {"1.5", "1.4", "1.3", "1.1"}) {
    EXPECT_FALSE(FindZunaHome(relative, roomy, sizeof roomy, 0)) << relative;
    EXPECT_STREQ(roomy, "C:\\a-rather-long-home");
  }
  EXPECT_TRUE(FindZunaHome("1.2", roomy, sizeof roomy, 0));
  EXPECT_STREQ(roomy, "\\\\server\\share");
}

TEST_F(RegInstallShareTest, FindZunaHomeWithoutARuntimeKey) {
  loadRegistry("");
  char home[260] = "";
  EXPECT_FALSE(FindZunaHome(kZreRelease, home, sizeof home, 0));
}

TEST_F(RegInstallShareTest, AThirtyTwoBitProcessFindsTheReleaseInItsView) {
  loadRegistry(zre("1.8.0_31", "C:\\\\zre32", true), "{\"process\":{\"bitness\":32}}");
  char home[260] = "";
  ASSERT_TRUE(FindZunaHome(kZreRelease, home, sizeof home, 0));
  EXPECT_STREQ(home, "C:\\zre32");
}

TEST_F(RegInstallShareTest, LatestKeyIsTheLexicalMaximum) {
  loadRegistry(zre("1.8", "a") + zre("1.8.0_31", "b") + zre("1.8.0_5", "c") + zre("1.7.0_80", "d"));
  char latest[1024] = "x";
  ASSERT_TRUE(GetLatestZunaKey(latest, sizeof latest));
  EXPECT_STREQ(latest, "1.8.0_5");
}

TEST_F(RegInstallShareTest, LatestKeyOfAnEmptyOrMissingMainKey) {
  loadRegistry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment]\n\n");
  char latest[1024] = "x";
  EXPECT_TRUE(GetLatestZunaKey(latest, sizeof latest));
  EXPECT_STREQ(latest, "");
  hosted::Machine::unload();
  loadRegistry("");
  EXPECT_FALSE(GetLatestZunaKey(latest, sizeof latest));
}

TEST_F(RegInstallShareTest, LatestHomeOverBothViews) {
  loadRegistry(zre("1.7.0_80", "C:\\\\zre7") + zre("1.8.0_25", "C:\\\\zre8-32\\\\", true));
  char name[2048], home[260];
  ASSERT_EQ(GetLatestZREOrZDK32or64BitHome(kZreMainKey, name, sizeof name, home, sizeof home), 1);
  EXPECT_STREQ(name, "1.8.0_25");
  EXPECT_STREQ(home, "C:\\zre8-32");
}

TEST_F(RegInstallShareTest, LatestHomeTieGoesToThe64BitView) {
  loadRegistry(zre("1.8.0_25", "C:\\\\zre64") + zre("1.8.0_25", "C:\\\\zre32", true));
  char name[2048], home[260];
  ASSERT_EQ(GetLatestZREOrZDK32or64BitHome(kZreMainKey, name, sizeof name, home, sizeof home), 1);
  EXPECT_STREQ(home, "C:\\zre64");
  EXPECT_EQ(GetLatestZREOrZDK32or64BitHome(kZdkMainKey, name, sizeof name, home, sizeof home), 0);
}

TEST_F(RegInstallShareTest, LatestHomeThatDoesNotFitOrIsRelativeIsNoHome) {
  loadRegistry(zre("1.8", "C:\\\\a-long-home\\\\") + zre("1.7", "C:\\\\zre7"));
  char name[2048], home[16] = "sentinel";
  EXPECT_EQ(GetLatestZREOrZDK32or64BitHome(kZreMainKey, name, sizeof name, home, 14), 0);
  EXPECT_STREQ(home, "");
  ASSERT_EQ(GetLatestZREOrZDK32or64BitHome(kZreMainKey, name, sizeof name, home, 15), 1);
  EXPECT_STREQ(home, "C:\\a-long-home");
  hosted::Machine::unload();
  loadRegistry(zre("1.8", "bin-of-the-current-folder") + zre("1.8.0_31", "C:\\\\removed"));
  EXPECT_EQ(GetLatestZREOrZDK32or64BitHome(kZreMainKey, name, sizeof name, home, sizeof home), 0);
  EXPECT_STREQ(name, "1.8") << "the release being removed never counts";
}

TEST_F(RegInstallShareTest, RegisteringWritesFamilyAndUniqueKeys) {
  loadRegistry("");
  ASSERT_TRUE(RegZREFamilyVersion("C:\\zre", "1.8", "0", "server"));
  ASSERT_TRUE(RegZREUniqueVersion("C:\\zre", "1.8.0_31", "0", "server"));
  CheckedRegistryKey unique =
      CheckedRegistryKey::Open(RegistryRoot::LocalMachine(), std::string(kZreMainKey) + "\\1.8.0_31", 0);
  EXPECT_EQ(unique.QueryStringValue("ZunaHome"), "C:\\zre");
  EXPECT_EQ(unique.QueryStringValue("RuntimeLib"), "C:\\zre\\bin\\server\\zvm.dll");
  EXPECT_EQ(unique.QueryStringValue("MicroVersion"), "0");
  EXPECT_EQ(unique.QueryStringValue("BuildNumber"), "13");
  CheckedRegistryKey family = CheckedRegistryKey::Open(RegistryRoot::LocalMachine(), std::string(kZreMainKey) + "\\1.8", 0);
  EXPECT_FALSE(family.ValueExists("BuildNumber", nullptr));
  hosted::machine().faults().failNext("RegCreateKeyExA", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(RegZREFamilyVersion("C:\\zre", "1.9", "0", "server"));
  EXPECT_FALSE(exists(std::string(kZreMainKey) + "\\1.9"));
}

TEST_F(RegInstallShareTest, UnregisteringDeletesWhatItMayAndReportsTheRest) {
  loadRegistry(zre("1.8", "a") + zre("1.8.0_31", "b") + zre("1.8.0_25", "c") +
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment\\1.8\\Sub]\n\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment\\1.8.0_25\\MSI]\n\"x\"=\"y\"\n\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment]\n"
               "\"CurrentVersion\"=\"1.8\"\n\"BrowserZunaVersion\"=\"1.8.0_31\"\n\"Other\"=\"kept\"\n\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.zar]\n\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\zarfile\\shell\\open\\command]\n\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\zarfile\\shell\\edit]\n\n");
  EXPECT_FALSE(UnregZREFamilyVersion("1.8")) << "it still has a subkey";
  EXPECT_TRUE(exists(std::string(kZreMainKey) + "\\1.8"));
  EXPECT_FALSE(UnregZREUniqueVersion("1.8.0_31")) << "no MSI subkey";
  EXPECT_FALSE(exists(std::string(kZreMainKey) + "\\1.8.0_31"));
  EXPECT_TRUE(UnregZREUniqueVersion("1.8.0_25"));
  EXPECT_FALSE(exists(std::string(kZreMainKey) + "\\1.8.0_25"));

  EXPECT_FALSE(UnregZRECurrentVersion());
  EXPECT_FALSE(exists("SOFTWARE\\Classes\\.zar"));
  EXPECT_FALSE(exists("SOFTWARE\\Classes\\zarfile\\shell\\open"));
  EXPECT_TRUE(exists("SOFTWARE\\Classes\\zarfile\\shell\\edit"));
  CheckedRegistryKey main = CheckedRegistryKey::Open(RegistryRoot::LocalMachine(), kZreMainKey, 0);
  EXPECT_FALSE(main.ValueExists("CurrentVersion", nullptr));
  EXPECT_FALSE(main.ValueExists("BrowserZunaVersion", nullptr));
  EXPECT_TRUE(main.ValueExists("Other", nullptr));
}

TEST_F(RegInstallShareTest, UnregisteringWithoutAMainKeyDeletesNothing) {
  loadRegistry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\zar]\n\n");
  EXPECT_FALSE(UnregZREFamilyVersion("1.8"));
  EXPECT_FALSE(UnregZREUniqueVersion("1.8.0_31"));
  EXPECT_FALSE(UnregZRECurrentVersion());
  EXPECT_FALSE(exists("SOFTWARE\\Classes\\zar"));
}

TEST_F(RegInstallShareTest, MsiValueIsReadFromTheKitOfThisRelease) {
  loadRegistry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Development Kit\\1.8.0_31\\MSI]\n"
               "\"NOSTARTMENU\"=\"1\"\n\"Number\"=dword:1\n\n");
  std::string out = "x";
  EXPECT_EQ(GetMSIKeyValue("NOSTARTMENU", out), 1);
  EXPECT_EQ(out, "1");
  EXPECT_EQ(GetMSIKeyValue("Number", out), 0);
  EXPECT_EQ(out, "");
  EXPECT_EQ(GetMSIKeyValue("Missing", out), 0);
}

TEST_F(RegInstallShareTest, SplitVersionParts) {
  struct Case {
    const char* version;
    const char* parts[4];
  } cases[] = {
      {"1.8.0_31", {"1", "8", "0", "31"}},
      {"1.4", {"1", "4", "0", ""}},
      {"1.8.0", {"1", "8", "0", ""}},
      {"1", {"1", "0", "0", ""}},
      {"10.0.2_1-ea", {"10", "0", "2", "1-ea"}},
  };
  for (const auto& c : cases) {
    std::string major, minor, micro, update;
    ASSERT_TRUE(SplitVersion(c.version, major, minor, micro, update)) << c.version;
    EXPECT_EQ(major, c.parts[0]) << c.version;
    EXPECT_EQ(minor, c.parts[1]) << c.version;
    EXPECT_EQ(micro, c.parts[2]) << c.version;
    EXPECT_EQ(update, c.parts[3]) << c.version;
  }
  std::string a, b, c, d;
  EXPECT_FALSE(SplitVersion(nullptr, a, b, c, d));
}

TEST(LstrcmpiTest, OrdersVersionNamesAsWindowsDoes) {
  EXPECT_LT(lstrcmpiA("1.8", "1.8.0_31"), 0);
  EXPECT_GT(lstrcmpiA("1.8.0_5", "1.8.0_31"), 0);
  EXPECT_EQ(lstrcmpiA("1.8.0_31", "1.8.0_31"), 0);
  EXPECT_EQ(lstrcmpiA("abc", "ABC"), 0);
  EXPECT_LT(lstrcmpiA("1.8.0_31", "1.8.0_a"), 0) << "digits before letters";
  EXPECT_LT(lstrcmpiA("1.8_", "1.80"), 0) << "symbols before digits";
  EXPECT_LT(lstrcmpiA("1.8.0", "1.8_0"), 0) << "'.' before '_'";
  EXPECT_GT(lstrcmpiA("x", ""), 0);
  EXPECT_LT(lstrcmpiA("co-op", "coop"), 0) << "hyphens only break ties";
  EXPECT_GT(lstrcmpiA("co-op", "cooa"), 0);
}

}  // namespace
