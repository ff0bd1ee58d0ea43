#include "windows/common/FileUtils.h"

#include <windows.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "common/share/Errors.h"
#include "tests/support/TestMachine.h"

namespace fs = std::filesystem;

namespace {

TEST(FileUtilsPaths, DirnameKeepsTheLastSeparator) {
  EXPECT_EQ(dirname("file.txt"), ".\\");
  EXPECT_EQ(dirname(""), ".\\");
  EXPECT_EQ(dirname("C:\\a\\b"), "C:\\a\\");
  EXPECT_EQ(dirname("C:\\a\\"), "C:\\a\\");
  EXPECT_EQ(dirname("C:/a/b"), "C:/a/");
}

TEST(FileUtilsPaths, BasenameIsTheTextAfterTheLastSeparator) {
  // std::string arguments: a bare literal would reach the C library's basename on Linux.
  using S = std::string;
  EXPECT_EQ(basename(S("C:\\a\\b")), "b");
  EXPECT_EQ(basename(S("C:\\a\\")), "");
  EXPECT_EQ(basename(S("C:/a/b.exe")), "b.exe");
  EXPECT_EQ(basename(S("plain")), "plain");
}

TEST(FileUtilsPaths, CombinePathJoinsWithOneBackslash) {
  EXPECT_EQ(combinePath("C:\\a\\\\", "/b"), "C:\\a\\b");
  EXPECT_EQ(combinePath("", "\\b"), "\\b");
  EXPECT_EQ(combinePath("C:\\a", ""), "C:\\a");
  EXPECT_EQ(combinePath("C:\\a", "\\\\b"), "C:\\a\\\\b");  // only one leading separator goes
  EXPECT_EQ(removeTrailingSlashes("C:\\a/\\/"), "C:\\a");
}

class FileUtilsTest : public zutest::MachineTest {
 protected:
  std::string log() { return zutest::readFile(hostPath("C:\\Users\\user\\AppData\\Local\\Temp\\zusched.log")); }
  void makeFile(const std::string& path, const std::string& text = "x") { zutest::writeFile(hostPath(path), text); }
};

TEST_F(FileUtilsTest, QueriesTellFilesDirectoriesAndLinksApart) {
  makeFile("C:\\d\\f.txt");
  fs::create_symlink("\\??\\C:\\d", hostPath("C:\\junction"));
  EXPECT_TRUE(FileUtils::exists("C:\\D\\F.TXT"));
  EXPECT_TRUE(FileUtils::isFileReadable("C:\\d\\f.txt"));
  EXPECT_FALSE(FileUtils::isFileReadable("C:\\d"));
  EXPECT_FALSE(FileUtils::exists("C:\\d\\none"));
  EXPECT_TRUE(FileUtils::isLink("C:\\junction"));
  EXPECT_FALSE(FileUtils::isLink("C:\\d"));
}

TEST_F(FileUtilsTest, CreateDirectoryBuildsEveryLevelAndAcceptsExistingOnes) {
  FileUtils::createDirectory("C:\\ProgramData\\Vantor/Zuna\\installcache\\");
  EXPECT_TRUE(fs::is_directory(dir() / "drives/C/ProgramData/Vantor/Zuna/installcache"));
  EXPECT_NO_THROW(FileUtils::createDirectory("C:\\ProgramData\\Vantor"));
  EXPECT_NE(log().find("Creating directory C:\\ProgramData\\Vantor\\"), std::string::npos);
}

TEST_F(FileUtilsTest, CreateDirectoryThroughAFileFailsAndLogsTheLevel) {
  makeFile("C:\\blocker");
  try {
    FileUtils::createDirectory("C:\\blocker\\child");
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "FileUtils:createDirectory() failed");
  }
  EXPECT_NE(log().find("createDirectory(C:\\blocker\\) failed with system error 183"), std::string::npos);
  EXPECT_NE(log().find("(FileUtils::createDirectory)]\r\n\tERROR: createDirectory(C:\\blocker\\) failed"),
            std::string::npos)
      << log();
}

TEST_F(FileUtilsTest, CopyFileCreatesTheTargetFolderAndHonoursFailIfExists) {
  makeFile("C:\\src.txt", "content");
  FileUtils::copyFile("C:\\src.txt", "C:\\new\\deep\\dst.txt", true);
  EXPECT_EQ(zutest::readFile(hostPath("C:\\new\\deep\\dst.txt")), "content");
  EXPECT_THROW(FileUtils::copyFile("C:\\src.txt", "C:\\new\\deep\\dst.txt", true), std::runtime_error);
  EXPECT_NE(log().find("copyFile() failed with system error 80"), std::string::npos);
}

TEST_F(FileUtilsTest, DeleteOperationsThrowOrReportByTheirKind) {
  makeFile("C:\\f.txt");
  fs::create_directories(hostPath("C:\\full\\sub"));
  EXPECT_NO_THROW(FileUtils::deleteFile("C:\\f.txt"));
  EXPECT_THROW(FileUtils::deleteFile("C:\\f.txt"), std::runtime_error);
  EXPECT_NE(log().find("DeleteFile(C:\\f.txt) failed with system error 2"), std::string::npos);
  EXPECT_FALSE(FileUtils::tryDeleteFile("C:\\f.txt"));
  EXPECT_FALSE(FileUtils::tryDeleteDirectory("C:\\full"));
  EXPECT_NE(log().find("DeleteDirectory(C:\\full) failed with system error 145"), std::string::npos);
  EXPECT_TRUE(FileUtils::tryDeleteDirectory("C:\\full\\sub"));
}

TEST_F(FileUtilsTest, DeleteFilesInDirectoryLeavesSubdirectories) {
  makeFile("C:\\d\\a.txt");
  makeFile("C:\\d\\b.dll");
  makeFile("C:\\d\\sub\\keep.txt");
  FileUtils::deleteFilesInDirectory("C:\\d\\");
  EXPECT_FALSE(fs::exists(hostPath("C:\\d\\a.txt")));
  EXPECT_FALSE(fs::exists(hostPath("C:\\d\\b.dll")));
  EXPECT_TRUE(fs::exists(hostPath("C:\\d\\sub\\keep.txt")));
}

TEST_F(FileUtilsTest, DeleteFilesInDirectoryFailuresByError) {
  // A missing folder is not "nothing found": the search reports a missing path.
  try {
    FileUtils::deleteFilesInDirectory("C:\\missing");
    FAIL() << "no exception";
  } catch (const SysError& e) {
    EXPECT_NE(std::string(e.what()).find("FindFirstFile(C:\\missing) failed. System error [3]"), std::string::npos);
  }
  fs::create_directories(hostPath("C:\\d"));
  machine().faults().failNext("FindFirstFileA", ERROR_FILE_NOT_FOUND);
  EXPECT_NO_THROW(FileUtils::deleteFilesInDirectory("C:\\d"));
  machine().faults().failNext("FindNextFileA", ERROR_ACCESS_DENIED);
  EXPECT_THROW(FileUtils::deleteFilesInDirectory("C:\\d"), SysError);
  makeFile("C:\\d\\locked.txt");
  machine().faults().failNext("DeleteFileA", ERROR_SHARING_VIOLATION);
  EXPECT_THROW(FileUtils::deleteFilesInDirectory("C:\\d"), std::runtime_error);
}

TEST_F(FileUtilsTest, JunctionReadsBackAsTheTargetAndGoesWithoutItsContents) {
  makeFile("C:\\ProgramData\\Vantor\\Zuna\\zunapath_target_1\\zuna.exe");
  FileUtils::createJunction("C:\\ProgramData\\Vantor\\Zuna\\zunapath", "C:\\ProgramData\\Vantor\\Zuna\\zunapath_target_1");
  EXPECT_TRUE(FileUtils::isLink("C:\\ProgramData\\Vantor\\Zuna\\zunapath"));
  EXPECT_TRUE(FileUtils::exists("C:\\ProgramData\\Vantor\\Zuna\\zunapath\\zuna.exe"));
  EXPECT_EQ(FileUtils::getLinkTarget("C:\\ProgramData\\Vantor\\Zuna\\zunapath"),
            "C:\\ProgramData\\Vantor\\Zuna\\zunapath_target_1");
  FileUtils::deleteJunction("C:\\ProgramData\\Vantor\\Zuna\\zunapath");
  EXPECT_FALSE(FileUtils::exists("C:\\ProgramData\\Vantor\\Zuna\\zunapath"));
  EXPECT_TRUE(fs::exists(hostPath("C:\\ProgramData\\Vantor\\Zuna\\zunapath_target_1\\zuna.exe")));
}

TEST_F(FileUtilsTest, JunctionOnAFullDirectoryFailsAndLeavesIt) {
  makeFile("C:\\link\\keep.txt");
  try {
    FileUtils::createJunction("C:\\link", "C:\\target");
    FAIL() << "no exception";
  } catch (const SysError& e) {
    EXPECT_NE(std::string(e.what()).find("C:\\link: cannot set reparse point"), std::string::npos);
  }
  EXPECT_TRUE(fs::exists(hostPath("C:\\link\\keep.txt")));
  // A target that cannot fit in a reparse point is refused before anything is made.
  EXPECT_THROW(FileUtils::createJunction("C:\\long", "C:\\" + std::string(9000, 'a')), std::runtime_error);
  EXPECT_FALSE(FileUtils::exists("C:\\long"));
}

TEST_F(FileUtilsTest, LinkOperationsRefusePlainEntries) {
  fs::create_directories(hostPath("C:\\plain"));
  makeFile("C:\\file.txt");
  try {
    FileUtils::deleteJunction("C:\\plain");
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("C:\\plain: is not a junction"), std::string::npos);
  }
  EXPECT_TRUE(fs::is_directory(hostPath("C:\\plain")));
  try {
    FileUtils::deleteSymLink("C:\\file.txt");
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("Not a symlink: C:\\file.txt"), std::string::npos);
  }
  EXPECT_THROW(FileUtils::getLinkTarget("C:\\plain"), std::runtime_error);
}

TEST_F(FileUtilsTest, SymLinkIsCreatedReadAndDeletedAsAFileLink) {
  makeFile("C:\\zre\\bin\\zuna.exe", "launcher");
  FileUtils::createSymLink("C:\\zunapath\\..\\zuna.exe", "C:\\zre\\bin\\zuna.exe");
  EXPECT_EQ(FileUtils::getLinkTarget("C:\\zuna.exe"), "C:\\zre\\bin\\zuna.exe");
  FileUtils::deleteSymLink("C:\\zuna.exe");
  EXPECT_FALSE(FileUtils::exists("C:\\zuna.exe"));
  EXPECT_TRUE(FileUtils::exists("C:\\zre\\bin\\zuna.exe"));
  machine().faults().failNext("CreateSymbolicLinkW", ERROR_PRIVILEGE_NOT_HELD);
  try {
    FileUtils::createSymLink("C:\\zuna.exe", "C:\\zre\\bin\\zuna.exe");
    FAIL() << "no exception";
  } catch (const SysError& e) {
    EXPECT_NE(std::string(e.what()).find("CreateSymbloiclink failed. System error [1314]"), std::string::npos);
  }
}

class FileUtilsOnXP : public FileUtilsTest {
 protected:
  bool loadOnSetUp() const override { return false; }
};

TEST_F(FileUtilsOnXP, SymLinkIsNotAvailableBeforeVista) {
  zutest::writeFile(dir() / "machine.json", R"({"os": {"version": "5.1"}})");
  load();
  try {
    FileUtils::createSymLink("C:\\zuna.exe", "C:\\zre\\bin\\zuna.exe");
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("CreateSymbolicLink is not available"), std::string::npos);
  }
}

TEST_F(FileUtilsTest, RebootOperationsCallThroughAndReportTheirResult) {
  machine().faults().failNext("MoveFileExA", ERROR_ACCESS_DENIED, "C:\\x.dll");
  try {
    FileUtils::deleteOnReboot("C:\\x.dll");
    FAIL() << "no exception";
  } catch (const SysError& e) {
    EXPECT_NE(std::string(e.what()).find("FileUtils::deleteOnReboot(): deleteOnReboot(C:\\x.dll) failed. System error [5]"),
              std::string::npos);
  }
  EXPECT_EQ(MoveFileOnReboot(nullptr, "C:\\y"), 0);
  machine().faults().failNext("MoveFileExA", ERROR_ACCESS_DENIED, "C:\\tmp\\REN1.tmp");
  EXPECT_EQ(MoveFileOnReboot("C:\\tmp\\REN1.tmp", nullptr), 0);
  EXPECT_NE(log().find("-- Start in MoveFileOnReboot: NULL to C:\\y --"), std::string::npos);
  EXPECT_NE(log().find("-- Start in MoveFileOnReboot: C:\\tmp\\REN1.tmp to NULL --"), std::string::npos);
}

}  // namespace
