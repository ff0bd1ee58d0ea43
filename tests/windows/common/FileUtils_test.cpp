// The path helpers, and the file operations' failures: what they refuse, what they
// leave, and the records that name the caller. Links in use are tested with the
// command-path links that make them.
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

TEST(FileUtilsPaths, PiecesJoinAndSplitAtEitherSeparator) {
  // std::string arguments: a bare literal would reach the C library's basename on Linux.
  using S = std::string;
  const std::pair<S, S> dirnames[] = {{"file.txt", ".\\"}, {"", ".\\"}, {"C:\\a\\b", "C:\\a\\"}, {"C:/a/b", "C:/a/"}};
  for (const auto& [path, dir] : dirnames) EXPECT_EQ(dirname(path), dir) << path;
  const std::pair<S, S> basenames[] = {{"C:\\a\\b", "b"}, {"C:\\a\\", ""}, {"C:/a/b.exe", "b.exe"}, {"plain", "plain"}};
  for (const auto& [path, base] : basenames) EXPECT_EQ(basename(path), base) << path;
  EXPECT_EQ(combinePath("C:\\a\\\\", "/b"), "C:\\a\\b");
  EXPECT_EQ(combinePath("", "\\b"), "\\b");
  EXPECT_EQ(combinePath("C:\\a", ""), "C:\\a");
  EXPECT_EQ(combinePath("C:\\a", "\\\\b"), "C:\\a\\\\b");  // only one leading separator goes
  EXPECT_EQ(removeTrailingSlashes("C:\\a/\\/"), "C:\\a");
}

TEST(FileUtilsPaths, OnlyADriveRootOrAServerShareIsAnAbsolutePath) {
  for (const char* path : {"C:\\", "c:/zre", "\\\\server\\share", "//server/share/zre"}) {
    EXPECT_TRUE(isAbsolutePath(path)) << path;
  }
  for (const char* path : {"", "C:", "C:zre", "\\zre", "zre\\bin", "\\\\server", "\\\\server\\", "\\\\\\share", "1:\\"}) {
    EXPECT_FALSE(isAbsolutePath(path)) << path;
  }
}

class FileUtilsTest : public zutest::MachineTest {
 protected:
  void makeFile(const std::string& path, const std::string& text = "x") { zutest::writeFile(hostPath(path), text); }
};

TEST_F(FileUtilsTest, DirectoriesAreMadeLevelByLevelAndAFileInTheWayIsNamedUnderTheCaller) {
  FileUtils::createDirectory("C:\\ProgramData\\Vantor/Zuna\\installcache\\");
  EXPECT_TRUE(fs::is_directory(dir() / "drives/C/ProgramData/Vantor/Zuna/installcache"));
  EXPECT_NO_THROW(FileUtils::createDirectory("C:\\ProgramData\\Vantor"));
  makeFile("C:\\blocker");
  EXPECT_EQ(zutest::exceptionText([] { FileUtils::createDirectory("C:\\blocker\\child"); }), "FileUtils:createDirectory() failed");
  EXPECT_NE(log().find("(FileUtils::createDirectory)]\r\n\tERROR: createDirectory(C:\\blocker\\) failed with system "
                       "error 183"),
            std::string::npos)
      << log();
}

TEST_F(FileUtilsTest, CopyFileMakesTheTargetFolderAndHonoursFailIfExists) {
  makeFile("C:\\src.txt", "content");
  FileUtils::copyFile("C:\\src.txt", "C:\\new\\deep\\dst.txt", true);
  EXPECT_EQ(zutest::readFile(hostPath("C:\\new\\deep\\dst.txt")), "content");
  EXPECT_THROW(FileUtils::copyFile("C:\\src.txt", "C:\\new\\deep\\dst.txt", true), std::runtime_error);
  EXPECT_NE(log().find("copyFile() failed with system error 80"), std::string::npos);
}

TEST_F(FileUtilsTest, DeletionsThrowOrReportByTheirKindAndLeaveWhatIsFull) {
  makeFile("C:\\f.txt");
  makeFile("C:\\full\\sub\\keep.txt");
  makeFile("C:\\full\\a.dll");
  EXPECT_NO_THROW(FileUtils::deleteFile("C:\\f.txt"));
  EXPECT_THROW(FileUtils::deleteFile("C:\\f.txt"), std::runtime_error);
  EXPECT_NE(log().find("DeleteFile(C:\\f.txt) failed with system error 2"), std::string::npos);
  EXPECT_FALSE(FileUtils::tryDeleteFile("C:\\f.txt"));
  EXPECT_FALSE(FileUtils::tryDeleteDirectory("C:\\full"));
  EXPECT_NE(log().find("DeleteDirectory(C:\\full) failed with system error 145"), std::string::npos);
  FileUtils::deleteFilesInDirectory("C:\\full\\");
  EXPECT_FALSE(fs::exists(hostPath("C:\\full\\a.dll")));
  EXPECT_TRUE(fs::exists(hostPath("C:\\full\\sub\\keep.txt")));
  // A junction is never made over a folder with contents, nor a plain folder taken for one.
  EXPECT_NE(zutest::exceptionText([] { FileUtils::createJunction("C:\\full", "C:\\target"); }).find("C:\\full: cannot set reparse point"),
            std::string::npos);
  EXPECT_NE(zutest::exceptionText([] { FileUtils::deleteJunction("C:\\full"); }).find("C:\\full: is not a junction"), std::string::npos);
  EXPECT_TRUE(fs::exists(hostPath("C:\\full\\sub\\keep.txt")));
  // A target that cannot fit in a reparse point is refused before anything is made.
  EXPECT_THROW(FileUtils::createJunction("C:\\long", "C:\\" + std::string(9000, 'a')), std::runtime_error);
  EXPECT_FALSE(FileUtils::exists("C:\\long"));
  machine().faults().failNext("MoveFileExA", ERROR_ACCESS_DENIED, "C:\\x.dll");
  EXPECT_NE(zutest::exceptionText([] { FileUtils::deleteOnReboot("C:\\x.dll"); }).find("deleteOnReboot(C:\\x.dll) failed. System error [5]"),
            std::string::npos);
  EXPECT_EQ(MoveFileOnReboot(nullptr, "C:\\y"), 0);
}

TEST_F(FileUtilsTest, EmptyingAFolderFailsByTheSearchsError) {
  // A missing folder is not "nothing found": the search reports a missing path.
  EXPECT_NE(zutest::exceptionText([] { FileUtils::deleteFilesInDirectory("C:\\missing"); })
                .find("FindFirstFile(C:\\missing) failed. System error [3]"),
            std::string::npos);
  fs::create_directories(hostPath("C:\\d"));
  machine().faults().failNext("FindFirstFileA", ERROR_FILE_NOT_FOUND);
  EXPECT_NO_THROW(FileUtils::deleteFilesInDirectory("C:\\d"));
  machine().faults().failNext("FindNextFileA", ERROR_ACCESS_DENIED);
  EXPECT_THROW(FileUtils::deleteFilesInDirectory("C:\\d"), SysError);
  makeFile("C:\\d\\locked.txt");
  machine().faults().failNext("DeleteFileA", ERROR_SHARING_VIOLATION);
  EXPECT_THROW(FileUtils::deleteFilesInDirectory("C:\\d"), std::runtime_error);
}

}  // namespace
