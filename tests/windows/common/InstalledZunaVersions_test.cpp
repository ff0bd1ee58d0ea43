// Installed runtimes: the version keys of both registry views, their homes, duplicate
// homes, the latest entry and full versions.
#include "windows/common/InstalledZunaVersions.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "tests/support/TestMachine.h"

namespace {

constexpr const char* kLog = "C:\\Users\\user\\AppData\\Local\\Temp\\zusched.log";

class InstalledZunaVersionsTest : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }

  // A version key with every required value, in the 64-bit view or (wow) the 32-bit one.
  static std::string zre(const std::string& version, const std::string& home, bool wow = false,
                         const std::string& extra = "\"MicroVersion\"=\"0\"\n\"RuntimeLib\"=\"x\"\n") {
    std::string escaped;
    for (char c : home) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\") + (wow ? "Wow6432Node\\" : "") +
           "Corvane\\Zuna Runtime Environment\\" + version + "]\n\"ZunaHome\"=\"" + escaped + "\"\n" + extra + "\n";
  }
  static std::string msi(const std::string& version, const std::string& fullVersion, bool wow = false) {
    return std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\") + (wow ? "Wow6432Node\\" : "") +
           "Corvane\\Zuna Runtime Environment\\" + version + "\\MSI]\n\"FullVersion\"=\"" + fullVersion + "\"\n\n";
  }
  // A home whose bin\zuna.exe exists.
  void install(const std::string& home, const std::string& launcher = "launcher") {
    zutest::writeFile(hostPath(home + "\\bin\\zuna.exe"), launcher);
  }
  void loadRegistry(const std::string& keys, const std::string& machineJson = "") {
    if (!machineJson.empty()) zutest::writeFile(dir() / "machine.json", machineJson);
    zutest::writeFile(dir() / "registry.reg", "Windows Registry Editor Version 5.00\n\n" + keys);
    load();
  }
  static std::vector<std::string> versionsOf(ZunaVersionList list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.count(); ++i) out.push_back(list[i].version);
    return out;
  }
  using Names = std::vector<std::string>;
};

TEST_F(InstalledZunaVersionsTest, BothViewsInEnumerationOrderWithDuplicatesLookedForWithinOneView) {
  install("C:\\zre17");
  install("C:\\zre18");
  loadRegistry(zre("1.8.0_31", "C:\\zre18", true) + zre("1.7.0_80", "C:\\zre17", true) + zre("1.8.0_31", "C:\\zre18") +
               msi("1.8.0_31", "1.8.0_31-b13"));
  InstalledZunaVersions installed;
  EXPECT_EQ(installed.count32(), 2u);
  EXPECT_EQ(versionsOf(installed.view(1)), (Names{"1.7.0_80", "1.8.0_31"}));
  EXPECT_EQ(versionsOf(installed.view(2)), (Names{"1.8.0_31"}));
  EXPECT_EQ(versionsOf(installed.view(0)), (Names{"1.8.0_31"}));
  EXPECT_EQ(versionsOf(installed.view(3)), (Names{"1.7.0_80", "1.8.0_31", "1.8.0_31"}));
  EXPECT_EQ(installed.view(4).count(), 0);
  EXPECT_EQ(installed.view(-1).getLatest(), nullptr);

  RuntimeEntry& entry = installed.view(2)[0];
  EXPECT_EQ(entry.home, "C:\\zre18");
  EXPECT_EQ(entry.familyVersion, "1.8.0");
  EXPECT_EQ(entry.registryView, RuntimeEntry::kView64);
  EXPECT_EQ(entry.fullVersion, "1.8.0_31-b13");
  EXPECT_EQ(installed.view(1)[1].registryView, RuntimeEntry::kView32);
  EXPECT_FALSE(installed.view(1)[1].fullVersion.has_value());
}

TEST_F(InstalledZunaVersionsTest, On32BitWindowsOnlyOneViewIsRead) {
  install("C:\\zre");
  loadRegistry(zre("1.8.0_31", "C:\\zre"), R"({"os": {"architecture": "x86"}, "process": {"bitness": 32}})");
  InstalledZunaVersions installed;
  // An x86 system has one view; the 32-bit pass reads it, the 64-bit one does not run.
  EXPECT_EQ(versionsOf(installed.view(1)), (Names{"1.8.0_31"}));
  EXPECT_EQ(installed.view(2).count(), 0);
  EXPECT_EQ(installed.size(), 1u);
}

TEST_F(InstalledZunaVersionsTest, KeysWithoutAUsableHomeOrRequiredValuesAreLeftOut) {
  install("C:\\Program Files\\Zuna\\ZRE");
  install("C:\\Windows\\system32\\zre\\relative");  // where a relative home would resolve
  install("C:\\good");
  install("C:\\nolib");
  // The launcher path of a home must fit 260 characters with its NUL.
  const std::string fits = "C:\\" + std::string(243, 'f');
  const std::string tooLong = "C:\\" + std::string(244, 'x');
  install(fits);
  install(tooLong);
  loadRegistry(zre("1.8.0_31", "C:\\good") + zre("1.8.0_20", "C:\\missing") +
               zre("1.8.0_25", "C:\\nolib", false, "\"MicroVersion\"=\"0\"\n") +
               zre("1.8.0_11", "C:\\nolib", false, "\"RuntimeLib\"=dword:1\n") +
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment\\1.8.0_05]\n"
               "\"ZunaHome\"=dword:1\n\"MicroVersion\"=\"0\"\n\"RuntimeLib\"=\"x\"\n\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment\\1.8.0_06]\n"
               "\"MicroVersion\"=\"0\"\n\"RuntimeLib\"=\"x\"\n\n" +
               zre("1.8.0_40", tooLong) + zre("1.8.0_41", fits) + zre("1.8.0_42", "zre\\relative") +
               zre("1.8.0_43", "c:\\program files\\zuna\\zre"));  // the file system ignores case
  InstalledZunaVersions installed;
  EXPECT_EQ(versionsOf(installed.view(3)), (Names{"1.8.0_31", "1.8.0_41", "1.8.0_43"}));
}

TEST_F(InstalledZunaVersionsTest, DuplicateHomesAreReplacedInPlaceByAGreaterNameElseAppended) {
  install("C:\\shared");
  install("C:\\other");
  // Enumeration order: 1.8, 1.8.0_05, 1.8.0_31, 1.8.0_40 (the latter missing its
  // values), 1.9.
  loadRegistry(zre("1.8", "C:\\shared") + zre("1.8.0_05", "C:\\other") + zre("1.8.0_31", "C:\\shared") +
               zre("1.8.0_40", "C:\\shared", false, "") + zre("1.9", "C:\\other"));
  InstalledZunaVersions installed;
  // 1.8.0_31 replaces 1.8 in place; 1.8.0_40 replaces that in turn without the value
  // checks; 1.9 replaces 1.8.0_05.
  EXPECT_EQ(versionsOf(installed.view(2)), (Names{"1.8.0_40", "1.9"}));

  // A smaller name with the same home, met later, becomes an entry of its own: keys
  // enumerate without regard to case, names compare by their bytes ('B' < 'a').
  hosted::Machine::unload();
  loadRegistry(zre("1.8.0_31B", "C:\\shared") + zre("1.8.0_31a", "C:\\shared"));
  InstalledZunaVersions again;
  EXPECT_EQ(versionsOf(again.view(2)), (Names{"1.8.0_31a", "1.8.0_31B"}));
}

TEST_F(InstalledZunaVersionsTest, LatestIsTheGreatestNameByBytesAndTiesKeepTheFirst) {
  install("C:\\a");
  install("C:\\b");
  install("C:\\c");
  loadRegistry(zre("1.8.0_20", "C:\\a") + zre("1.8.0_5", "C:\\b") + zre("1.7.0_80", "C:\\c") +
               zre("1.8.0_5", "C:\\b", true));
  InstalledZunaVersions installed;
  RuntimeEntry* latest = installed.view(3).getLatest();
  ASSERT_NE(latest, nullptr);
  EXPECT_EQ(latest->version, "1.8.0_5");
  EXPECT_EQ(latest->registryView, RuntimeEntry::kView32) << "the earlier of two equal names";
  EXPECT_EQ(installed.view(2).getLatest()->registryView, RuntimeEntry::kView64);
}

class FullVersionTest : public InstalledZunaVersionsTest {
 protected:
  // A launcher script that prints `output` and exits with `status`.
  void installLauncher(const std::string& home, const std::string& output, int status = 0) {
    install(home, "#!/bin/sh\nprintf '%s' '" + output + "'\nexit " + std::to_string(status) + "\n");
    ::chmod(hostPath(home + "\\bin\\zuna.exe").c_str(), 0755);
  }
};

TEST_F(FullVersionTest, TakenFromTheRegistryElseFromTheLauncherBetweenTheFirstTwoQuotesAndKept) {
  installLauncher("C:\\zre25", "zuna full version \"1.8.0_25-b17\" and \"more\"\n");
  installLauncher("C:\\zre31", "zuna full version \"9.9.9\"\n");
  loadRegistry(zre("1.8.0_25", "C:\\zre25") + zre("1.8.0_31", "C:\\zre31") + msi("1.8.0_31", "1.8.0_31-b13"));
  InstalledZunaVersions installed;
  EXPECT_EQ(getFullVersion(installed.view(2)[1]), "1.8.0_31-b13");
  RuntimeEntry& entry = installed.view(2)[0];
  EXPECT_EQ(getFullVersion(entry), "1.8.0_25-b17");
  EXPECT_EQ(entry.fullVersion, "1.8.0_25-b17");
  EXPECT_EQ(getFullVersion(entry), "1.8.0_25-b17");

  auto events = zutest::readJournal(dir());
  ASSERT_EQ(events.size(), 1u) << "one launcher, once: the second call used the kept value";
  EXPECT_EQ(events[0]["commandLine"], "\"C:\\zre25\\bin\\zuna.exe\" -fullversion");
  EXPECT_EQ(events[0]["hidden"], true);
}

TEST_F(FullVersionTest, EmptyWhenTheLauncherFailsOrPrintsNoQuotedVersion) {
  installLauncher("C:\\failing", "zuna full version \"1.8.0_25-b17\"\n", 1);
  installLauncher("C:\\unquoted", "zuna full version 1.8.0_25\n");
  installLauncher("C:\\half", "zuna full version \"1.8.0_25\n");
  loadRegistry(zre("1.8.0_25", "C:\\failing") + zre("1.8.0_26", "C:\\unquoted") + zre("1.8.0_27", "C:\\half"));
  InstalledZunaVersions installed;
  ZunaVersionList all = installed.view(3);
  ASSERT_EQ(all.count(), 3);
  for (int i = 0; i < all.count(); ++i) {
    EXPECT_EQ(getFullVersion(all[i]), "") << all[i].home;
    EXPECT_FALSE(all[i].fullVersion.has_value());
  }
  // Nothing was kept, so every call runs the launcher again.
  getFullVersion(all[0]);
  EXPECT_EQ(zutest::readJournal(dir()).size(), 4u);
  EXPECT_NE(zutest::readFile(hostPath(kLog)).find("ERROR: ExecProcessWithPipe failed with system error 1"),
            std::string::npos);
  // A home too long for the launcher's path is given up before anything runs.
  RuntimeEntry tooLong;
  tooLong.home = "C:\\" + std::string(250, 'x');
  EXPECT_EQ(getFullVersion(tooLong), "");
  EXPECT_EQ(zutest::readJournal(dir()).size(), 4u);
}

}  // namespace
