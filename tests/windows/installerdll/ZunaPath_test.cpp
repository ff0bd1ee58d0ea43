// The command-path links: Path editing, the links directory on Vista and later, the
// junction with copies before Vista, removal, protection and their failures.
#include "windows/installerdll/ZunaPath.h"

#include <filesystem>
#include <stdexcept>

#include <gtest/gtest.h>

#include "common/share/Errors.h"
#include "tests/windows/installerdll/ZunaPathTestMachine.h"
#include "windows/common/FileUtils.h"

namespace {

namespace fs = std::filesystem;
using zutest::Runtime;

constexpr const char* kSddl = "D:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;WD)";
constexpr const char* kXp = R"({"os":{"version":"5.1"}})";

class ZunaPathTest : public zutest::RuntimeMachineTest {
 protected:
  // Makes the links directory as a Vista system leaves it, pointing at `bin`.
  void makeLinks(const std::string& bin, const std::vector<std::string>& launchers = {"zuna.exe", "zunaw.exe",
                                                                                        "zunaws.exe"}) {
    fs::create_directories(hostPath(kZunapath));
    for (const std::string& launcher : launchers) {
      fs::create_symlink(bin + "\\" + launcher, hostPath(std::string(kZunapath) + "\\" + launcher));
    }
  }
  std::string link(const char* launcher) { return linkTarget(std::string(kZunapath) + "\\" + launcher); }
};

// --- Path ---------------------------------------------------------------------------

TEST_F(ZunaPathTest, RemovingTheMiddleEntryInOtherLettersJoinsTheOthers) {
  build({}, "C:\\Windows;c:\\PROGRAMDATA\\vantor\\Zuna\\ZUNAPATH;C:\\Tools");
  RemoveZunapathFromPath();
  EXPECT_EQ(pathValue(), std::make_pair(DWORD{REG_EXPAND_SZ}, std::string("C:\\Windows;C:\\Tools")));
  auto broadcasts = events("broadcast");
  ASSERT_EQ(broadcasts.size(), 1u);
  EXPECT_EQ(broadcasts[0]["message"], WM_SETTINGCHANGE);
  EXPECT_EQ(broadcasts[0]["text"], "Environment");
}

TEST_F(ZunaPathTest, RemovingWhatIsNotThereStillRewritesAsExpandableAndBroadcasts) {
  build({}, "C:\\A;;%SystemRoot%\\x");
  RemoveZunapathFromPath();
  EXPECT_EQ(pathValue(), std::make_pair(DWORD{REG_EXPAND_SZ}, std::string("C:\\A;;%SystemRoot%\\x")));
  EXPECT_EQ(events("broadcast").size(), 1u);
}

TEST_F(ZunaPathTest, RemovingDropsALeadingEmptyEntryAndKeepsInnerAndTrailingOnes) {
  build({}, ";C:\\A;;C:\\ProgramData\\Vantor\\Zuna\\zunapath;C:\\B;C:\\ProgramData\\Vantor\\Zuna\\zunapath;");
  RemoveZunapathFromPath();
  EXPECT_EQ(pathValue().second, "C:\\A;;C:\\B;");
}

TEST_F(ZunaPathTest, AddingPutsTheDirectoryFirstOnce) {
  build({}, "C:\\Windows;C:\\Tools");
  AddZunapathToPath();
  std::string expected = std::string(kZunapath) + ";C:\\Windows;C:\\Tools";
  EXPECT_EQ(pathValue(), std::make_pair(DWORD{REG_EXPAND_SZ}, expected));
  AddZunapathToPath();
  EXPECT_EQ(pathValue().second, expected);
  EXPECT_EQ(events("broadcast").size(), 1u) << "the second call found it and sent nothing";
}

TEST_F(ZunaPathTest, AddingWhenAnEntryNamesItInOtherLettersWritesAndSendsNothing) {
  build({}, "C:\\Windows;C:\\programdata\\VANTOR\\zuna\\zunapath");
  AddZunapathToPath();
  EXPECT_EQ(pathValue(), std::make_pair(DWORD{REG_SZ}, std::string("C:\\Windows;C:\\programdata\\VANTOR\\zuna\\zunapath")));
  EXPECT_TRUE(events("broadcast").empty());
}

TEST_F(ZunaPathTest, AddingToAnEmptyPathLeavesATrailingSeparator) {
  build({}, "");
  AddZunapathToPath();
  EXPECT_EQ(pathValue().second, std::string(kZunapath) + ";");
}

TEST_F(ZunaPathTest, AMissingPathValueEndsBothEditsBeforeAnyChange) {
  build({}, nullptr);
  EXPECT_THROW(
      try { RemoveZunapathFromPath(); } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "query value (Path) error: 2");
        throw;
      },
      std::runtime_error);
  EXPECT_THROW(AddZunapathToPath(), std::runtime_error);
  EXPECT_EQ(pathValue().first, 0u) << "no Path was created";
  EXPECT_TRUE(events("broadcast").empty());
}

TEST_F(ZunaPathTest, AFailedWriteLeavesPathAndSendsNothing) {
  build({}, "C:\\ProgramData\\Vantor\\Zuna\\zunapath;C:\\Windows");
  machine().faults().failNext("RegSetValueExW", ERROR_ACCESS_DENIED);
  EXPECT_THROW(RemoveZunapathFromPath(), std::runtime_error);
  EXPECT_EQ(pathValue(), std::make_pair(DWORD{REG_SZ}, std::string("C:\\ProgramData\\Vantor\\Zuna\\zunapath;C:\\Windows")));
  EXPECT_TRUE(events("broadcast").empty());
}

TEST_F(ZunaPathTest, AFailedBroadcastIsLoggedAndIgnored) {
  build({}, "C:\\Windows");
  machine().faults().failNext("SendMessageTimeoutW", ERROR_TIMEOUT);
  EXPECT_NO_THROW(AddZunapathToPath());
  EXPECT_EQ(pathValue().second, std::string(kZunapath) + ";C:\\Windows");
  EXPECT_NE(log().find("SendMessageTimeout failed with system error 1460"), std::string::npos) << log();
}

// --- Links on Vista and later -------------------------------------------------------

TEST_F(ZunaPathTest, SetUpLinksTheLatestRuntimeProtectsTheDirectoryAndPutsItFirstInPath) {
  build({{"1.8.0_25"}, {"1.7.0_80"}});
  SetUpZunapath();
  std::string bin = Runtime("1.8.0_25").home() + "\\bin\\";
  EXPECT_EQ(link("zuna.exe"), bin + "zuna.exe");
  EXPECT_EQ(link("zunaw.exe"), bin + "zunaw.exe");
  EXPECT_EQ(link("zunaws.exe"), bin + "zunaws.exe");
  EXPECT_FALSE(FileUtils::isLink(kZunapath)) << "a plain directory";
  auto security = events("setSecurity");
  ASSERT_EQ(security.size(), 1u);
  EXPECT_EQ(security[0]["path"], kZunapath);
  EXPECT_EQ(security[0]["sddl"], kSddl);
  EXPECT_EQ(pathValue(), std::make_pair(DWORD{REG_EXPAND_SZ}, std::string(kZunapath) + ";C:\\Windows\\system32;C:\\Windows"));
  EXPECT_EQ(events("broadcast").size(), 1u);
}

TEST_F(ZunaPathTest, SetUpAgainRepointsTheLinksInPlaceAndKeepsOnePathEntry) {
  build({{"1.8.0_40"}}, "C:\\ProgramData\\Vantor\\Zuna\\zunapath;C:\\Windows");
  makeLinks("C:\\old\\bin");
  zutest::writeFile(hostPath(std::string(kZunapath) + "\\stray.txt"), "x");
  fs::create_directories(hostPath(std::string(kZunapath) + "\\sub"));
  SetUpZunapath();
  EXPECT_EQ(link("zunaw.exe"), Runtime("1.8.0_40").home() + "\\bin\\zunaw.exe");
  EXPECT_FALSE(fs::exists(hostPath(std::string(kZunapath) + "\\stray.txt"))) << "every file is cleared";
  EXPECT_TRUE(fs::is_directory(hostPath(std::string(kZunapath) + "\\sub"))) << "subdirectories stay";
  EXPECT_EQ(pathValue().second, "C:\\ProgramData\\Vantor\\Zuna\\zunapath;C:\\Windows");
  EXPECT_TRUE(events("broadcast").empty());
}

TEST_F(ZunaPathTest, SetUpReplacesAJunctionByADirectoryOfLinks) {
  build({{"1.8.0_40"}});
  fs::create_directories(hostPath("C:\\ProgramData\\Vantor\\Zuna\\zunapath_target_7"));
  for (const char* launcher : {"zuna.exe", "zunaw.exe", "zunaws.exe"}) {
    zutest::writeFile(hostPath(std::string("C:\\ProgramData\\Vantor\\Zuna\\zunapath_target_7\\") + launcher), "copy");
  }
  FileUtils::createJunction(kZunapath, "C:\\ProgramData\\Vantor\\Zuna\\zunapath_target_7");
  SetUpZunapath();
  EXPECT_FALSE(FileUtils::isLink(kZunapath));
  EXPECT_EQ(link("zuna.exe"), Runtime("1.8.0_40").home() + "\\bin\\zuna.exe");
  EXPECT_FALSE(fs::exists(hostPath("C:\\ProgramData\\Vantor\\Zuna\\zunapath_target_7")));
}

TEST_F(ZunaPathTest, TheOnlyRuntimeInTheThirtyTwoBitViewIsLinked) {
  build({{"1.8.0_40", true}});
  fs::create_directories(hostPath(kZunapath));
  UpdateZunapathSymlinks();
  EXPECT_EQ(link("zuna.exe"), Runtime("1.8.0_40", true).home() + "\\bin\\zuna.exe");
}

TEST_F(ZunaPathTest, UpdatingWithoutARuntimeLeavesTheDirectoryAsItIs) {
  build({});
  makeLinks("C:\\old\\bin");
  UpdateZunapathSymlinks();
  EXPECT_EQ(link("zuna.exe"), "C:\\old\\bin\\zuna.exe");
  EXPECT_EQ(link("zunaws.exe"), "C:\\old\\bin\\zunaws.exe");
  EXPECT_NE(log().find("no runtime registered, zunapath links left as they are"), std::string::npos);
}

TEST_F(ZunaPathTest, ASystemWithoutSymbolicLinksFailsTheUpdateAfterClearingTheFiles) {
  // The directory holds copies here, as when a system was upgraded.
  build({{"1.8.0_40"}}, "C:\\Windows", R"({"os":{"version":"5.2"}})");
  zutest::writeFile(hostPath(std::string(kZunapath) + "\\zuna.exe"), "copy");
  try {
    UpdateZunapathSymlinks();
    FAIL() << "no CreateSymbolicLinkW before Vista";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("CreateSymbolicLink is not available"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(fs::exists(hostPath(std::string(kZunapath) + "\\zuna.exe")));
}

// --- Removal ------------------------------------------------------------------------

TEST_F(ZunaPathTest, DeletingRemovesTheLinksAndTheDirectoryButNotTheRuntime) {
  build({{"1.8.0_40"}});
  makeLinks(Runtime("1.8.0_40").home() + "\\bin");
  DeleteSymlinksAndzunapathDir();
  EXPECT_FALSE(fs::exists(fs::symlink_status(hostPath(kZunapath))));
  EXPECT_TRUE(fs::exists(hostPath(Runtime("1.8.0_40").home() + "\\bin\\zuna.exe")));
}

TEST_F(ZunaPathTest, AMissingDirectoryIsOneWarning) {
  build({});
  EXPECT_NO_THROW(DeleteSymlinksAndzunapathDir());
  EXPECT_NE(log().find("WARNING"), std::string::npos);
  EXPECT_NE(log().find("zunapath directory does not exist"), std::string::npos);
  EXPECT_EQ(log().find("ERROR"), std::string::npos);
}

TEST_F(ZunaPathTest, AMissingLinkCountsAsDeleted) {
  build({});
  makeLinks("C:\\zre\\bin", {"zuna.exe", "zunaws.exe"});
  EXPECT_NO_THROW(DeleteSymlinksAndzunapathDir());
  EXPECT_FALSE(fs::exists(fs::symlink_status(hostPath(kZunapath))));
}

TEST_F(ZunaPathTest, APlainFileInPlaceOfALinkIsNotASymlink) {
  build({});
  makeLinks("C:\\zre\\bin", {"zunaw.exe", "zunaws.exe"});
  zutest::writeFile(hostPath(std::string(kZunapath) + "\\zuna.exe"), "copy");
  EXPECT_THROW(DeleteSymlinksAndzunapathDir(), std::runtime_error);
  EXPECT_TRUE(fs::exists(hostPath(std::string(kZunapath) + "\\zuna.exe")));
  EXPECT_EQ(link("zunaw.exe"), "C:\\zre\\bin\\zunaw.exe");
}

// --- Before Vista: a junction with copies ------------------------------------------

TEST_F(ZunaPathTest, BeforeVistaSetUpCopiesTheLaunchersBehindAProtectedJunction) {
  build({{"1.8.0_40"}}, "C:\\Windows", kXp);
  SetUpZunapath();
  ASSERT_TRUE(FileUtils::isLink(kZunapath));
  std::string target = FileUtils::getLinkTarget(kZunapath);
  EXPECT_EQ(target.rfind(std::string(kZunapath) + "_target_", 0), 0u) << target;
  for (const char* launcher : {"zuna.exe", "zunaw.exe", "zunaws.exe"}) {
    EXPECT_EQ(zutest::readFile(hostPath(target + "\\" + launcher)), std::string("1.8.0_40 ") + launcher);
  }
  auto security = events("setSecurity");
  ASSERT_EQ(security.size(), 2u);
  EXPECT_EQ(security[0]["path"], kZunapath);
  EXPECT_EQ(security[1]["path"], target);
  EXPECT_EQ(security[1]["sddl"], kSddl);
  EXPECT_NE(log().find("zunapath targetDir: " + target), std::string::npos);
  EXPECT_EQ(pathValue().second, std::string(kZunapath) + ";C:\\Windows");

  // Set up again: the old junction and its copies go first.
  SetUpZunapath();
  std::string second = FileUtils::getLinkTarget(kZunapath);
  EXPECT_FALSE(fs::exists(hostPath(target)) && target != second);

  DeleteSymlinksAndzunapathDir();
  EXPECT_FALSE(fs::exists(fs::symlink_status(hostPath(kZunapath))));
  EXPECT_FALSE(fs::exists(hostPath(second)));
  EXPECT_TRUE(pendingRenames().empty());
}

TEST_F(ZunaPathTest, ATakenTargetNameIsSkipped) {
  build({{"1.8.0_40"}}, "C:\\Windows", kXp);
  DWORD ticks = GetTickCount();
  for (DWORD i = 0; i < 3; ++i) {
    fs::create_directories(hostPath(std::string(kZunapath) + "_target_" + std::to_string(ticks + i)));
  }
  CreateZunapathJunction();
  std::string target = FileUtils::getLinkTarget(kZunapath);
  std::string prefix = std::string(kZunapath) + "_target_";
  ASSERT_EQ(target.rfind(prefix, 0), 0u) << target;
  // The clock may have moved on since the test read it; the taken names never count.
  unsigned long number = std::stoul(target.substr(prefix.size()));
  EXPECT_GE(number, ticks + 3ul);
  EXPECT_LT(number, ticks + 1000ul);
}

TEST_F(ZunaPathTest, AJunctionWithoutARuntimeIsAnError) {
  build({}, "C:\\Windows", kXp);
  try {
    CreateZunapathJunction();
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("failed to get homeDir for the the latest ZRE"), std::string::npos);
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(hostPath(kZunapath))));
}

TEST_F(ZunaPathTest, CopiesInUseAndAMissingCopyAreHandledWhenTheJunctionGoes) {
  build({{"1.8.0_40"}}, "C:\\Windows", kXp);
  std::string target = std::string(kZunapath) + "_target_1";
  fs::create_directories(hostPath(target));
  zutest::writeFile(hostPath(target + "\\zuna.exe"), "copy");
  zutest::writeFile(hostPath(target + "\\zunaws.exe"), "copy");
  FileUtils::createJunction(kZunapath, target);
  HANDLE held = CreateFileA((target + "\\zuna.exe").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);

  DeleteSymlinksAndzunapathDir();
  CloseHandle(held);
  EXPECT_FALSE(fs::exists(fs::symlink_status(hostPath(kZunapath))));
  EXPECT_FALSE(fs::exists(hostPath(target + "\\zunaws.exe")));
  EXPECT_TRUE(fs::exists(hostPath(target + "\\zuna.exe"))) << "deleted at the next restart";
  EXPECT_EQ(pendingRenames(), (std::vector<std::string>{"\\??\\" + target + "\\zuna.exe", "", "\\??\\" + target, ""}));
  std::string text = log();
  EXPECT_NE(text.find("file " + target + "\\zunaw.exe not found"), std::string::npos);
  EXPECT_NE(text.find("cannot delete file " + target + "\\zuna.exe, schedule deletion on reboot"), std::string::npos);
  EXPECT_NE(text.find("cannot delete directory " + target + ", schedule deletion on reboot"), std::string::npos);
}

// --- Protection ---------------------------------------------------------------------

TEST_F(ZunaPathTest, ProtectionFailuresAreSystemErrors) {
  build({});
  fs::create_directories(hostPath("C:\\Data"));
  machine().faults().failNext("ConvertStringSecurityDescriptorToSecurityDescriptor", ERROR_NOT_ENOUGH_MEMORY);
  try {
    setFilePersissions("C:\\Data");
    FAIL();
  } catch (const SysError& e) {
    EXPECT_NE(std::string(e.what()).find("ConvertStringSecurityDescriptorToSecurityDescriptor failed"),
              std::string::npos);
  }
  machine().faults().failNext("SetFileSecurityA", ERROR_ACCESS_DENIED);
  try {
    setFilePersissions("C:\\Data");
    FAIL();
  } catch (const SysError& e) {
    EXPECT_NE(std::string(e.what()).find("SetFileSecurity failed"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("[5]"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(events("setSecurity").empty());
  EXPECT_THROW(setFilePersissions("C:\\Missing"), SysError);
}

TEST_F(ZunaPathTest, SetUpStopsWhenTheDirectoryCannotBeProtected) {
  build({{"1.8.0_40"}});
  machine().faults().failNext("SetFileSecurityA", ERROR_ACCESS_DENIED);
  EXPECT_THROW(SetUpZunapath(), SysError);
  EXPECT_EQ(link("zuna.exe"), "");
  EXPECT_EQ(pathValue().second, "C:\\Windows\\system32;C:\\Windows");
}

}  // namespace
