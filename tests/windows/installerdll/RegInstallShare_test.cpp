// Version keys: finding homes and the latest version, and deleting keys, on registries
// a run would rarely meet: homes that are no string, do not fit, are relative or cut.
#include "windows/installerdll/RegInstallShare.h"

#include <gtest/gtest.h>

#include "tests/support/TestMachine.h"
#include "windows/common/RegistryKey.h"

namespace {

class RegInstallShareTest : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }
  void loadRegistry(const std::string& keys, const std::string& machineJson = "{}") {
    hosted::Machine::unload();
    zutest::writeFile(dir() / "machine.json", machineJson);
    zutest::writeFile(dir() / "registry.reg", "Windows Registry Editor Version 5.00\n\n" + keys);
    load();
  }
  static std::string zre(const std::string& version, const std::string& home, bool wow = false) {
    return std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\") + (wow ? "Wow6432Node\\" : "") +
           "Corvane\\Zuna Runtime Environment\\" + version + "]\n\"ZunaHome\"=\"" + home + "\"\n\n";
  }
  static bool exists(const std::string& path) { return CheckedRegistryKey::Exists(RegistryRoot::LocalMachine(), path); }
};

// A home that is not an absolute path (a drive's root, without its backslash, is not)
// or does not fit is no home, and leaves the buffer alone; a trailing backslash goes.
TEST_F(RegInstallShareTest, FindZunaHomeTakesOnlyAnAbsoluteHomeThatFits) {
  loadRegistry(zre("1.8.0_31", "C:\\\\Program Files\\\\Zuna\\\\zre\\\\") + zre("1.9.0_1", "C:\\\\zre", true) +
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment\\1.8]\n\"ZunaHome\"=dword:1\n\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment\\1.7]\n\"ZunaHome\"=hex(1):43,00,3a,00\n\n" +
               zre("1.6", "C:\\\\a-rather-long-home") + zre("1.5", "") + zre("1.4", "C:zre") + zre("1.3", "\\\\zre") +
               zre("1.2", "\\\\\\\\server\\\\share\\\\") + zre("1.1", "C:\\\\"));
  struct Case {
    const char* version;
    DWORD size;
    const char* home;  // nullptr: not found
  } const cases[] = {
      {"1.8.0_31", 260, "C:\\Program Files\\Zuna\\zre"},
      {"1.9.0_1", 260, nullptr},  // registered only in the 32-bit view
      {"1.8", 260, nullptr},      // not a string
      {"1.7", 260, nullptr},      // no NUL
      {"1.6", 21, nullptr},       // no room for the NUL
      {"1.6", 22, "C:\\a-rather-long-home"},
      {"1.5", 64, nullptr}, {"1.4", 64, nullptr}, {"1.3", 64, nullptr}, {"1.1", 64, nullptr},
      {"1.2", 64, "\\\\server\\share"},
      {"2.0", 64, nullptr},
  };
  char home[260] = "sentinel";
  for (const Case& c : cases) {
    std::string before = home;
    EXPECT_EQ(FindZunaHome(c.version, home, c.size, 0), c.home != nullptr) << c.version;
    EXPECT_EQ(home, std::string(c.home ? c.home : before.c_str())) << c.version;
  }
  // The stored value is left as it was.
  EXPECT_EQ(CheckedRegistryKey::Open(RegistryRoot::LocalMachine(), std::string(kZreMainKey) + "\\1.8.0_31", 0)
                .QueryStringValue("ZunaHome"),
            "C:\\Program Files\\Zuna\\zre\\");
  loadRegistry("");
  EXPECT_FALSE(FindZunaHome(kZreRelease, home, sizeof home, 0));
  loadRegistry(zre("1.8.0_31", "C:\\\\zre32", true), "{\"process\":{\"bitness\":32}}");
  ASSERT_TRUE(FindZunaHome(kZreRelease, home, sizeof home, 0)) << "a 32-bit process reads its own view";
  EXPECT_STREQ(home, "C:\\zre32");
}

// The latest key is the greatest name as text; the latest home, over both views, is
// taken whole or not at all.
TEST_F(RegInstallShareTest, TheLatestKeyAndHome) {
  char name[2048] = "x", home[260];
  loadRegistry(zre("1.8", "a") + zre("1.8.0_31", "b") + zre("1.8.0_5", "c") + zre("1.7.0_80", "d"));
  ASSERT_TRUE(GetLatestZunaKey(name, sizeof name));
  EXPECT_STREQ(name, "1.8.0_5");
  loadRegistry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment]\n\n");
  EXPECT_TRUE(GetLatestZunaKey(name, sizeof name));
  EXPECT_STREQ(name, "");
  loadRegistry("");
  EXPECT_FALSE(GetLatestZunaKey(name, sizeof name));
  loadRegistry(zre("1.7.0_80", "C:\\\\zre7") + zre("1.8.0_25", "C:\\\\zre8-32\\\\", true));
  ASSERT_EQ(GetLatestZREOrZDK32or64BitHome(kZreMainKey, name, sizeof name, home, sizeof home), 1);
  EXPECT_EQ(std::string(name) + " " + home, "1.8.0_25 C:\\zre8-32");
  // A tie goes to the 64-bit view.
  loadRegistry(zre("1.8.0_25", "C:\\\\zre64") + zre("1.8.0_25", "C:\\\\zre32", true));
  ASSERT_EQ(GetLatestZREOrZDK32or64BitHome(kZreMainKey, name, sizeof name, home, sizeof home), 1);
  EXPECT_STREQ(home, "C:\\zre64");
  EXPECT_EQ(GetLatestZREOrZDK32or64BitHome(kZdkMainKey, name, sizeof name, home, sizeof home), 0);
  // A home that does not fit is not cut.
  loadRegistry(zre("1.8", "C:\\\\a-long-home\\\\") + zre("1.7", "C:\\\\zre7"));
  EXPECT_EQ(GetLatestZREOrZDK32or64BitHome(kZreMainKey, name, sizeof name, home, 14), 0);
  EXPECT_STREQ(home, "");
  ASSERT_EQ(GetLatestZREOrZDK32or64BitHome(kZreMainKey, name, sizeof name, home, 15), 1);
  EXPECT_STREQ(home, "C:\\a-long-home");
  // A relative home is none, and the release being removed never counts.
  loadRegistry(zre("1.8", "bin-of-the-current-folder") + zre("1.8.0_31", "C:\\\\removed"));
  EXPECT_EQ(GetLatestZREOrZDK32or64BitHome(kZreMainKey, name, sizeof name, home, sizeof home), 0);
  EXPECT_STREQ(name, "1.8");
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

TEST(SplitVersionTest, PartsMissingAreZeroOrEmpty) {
  struct Case {
    const char* version;
    std::string parts;
  } const cases[] = {{"1.8.0_31", "1 8 0 31"}, {"1.4", "1 4 0 "}, {"1.8.0", "1 8 0 "}, {"1", "1 0 0 "},
                     {"10.0.2_1-ea", "10 0 2 1-ea"}};
  for (const auto& c : cases) {
    std::string major, minor, micro, update;
    ASSERT_TRUE(SplitVersion(c.version, major, minor, micro, update)) << c.version;
    EXPECT_EQ(major + " " + minor + " " + micro + " " + update, c.parts);
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
