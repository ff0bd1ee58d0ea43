// The C runtime's low-level files: text mode, sharing between writers in this and
// other processes.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>

#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/TestMachine.h"

namespace {

constexpr const char* kLog = "C:\\Users\\user\\AppData\\Local\\Temp\\x.log";
constexpr int kAppend = _O_WRONLY | _O_APPEND | _O_CREAT;

class CrtIoTest : public zutest::MachineTest {};

TEST_F(CrtIoTest, TextModeWritesLineFeedsAsCarriageReturnLineFeed) {
  int fd = _sopen(kLog, kAppend, _SH_DENYWR, _S_IREAD | _S_IWRITE);
  ASSERT_NE(fd, -1);
  EXPECT_EQ(_write(fd, "a\nb\n", 4), 4);  // the caller's bytes, not the stored ones
  EXPECT_EQ(_close(fd), 0);
  fd = _sopen(kLog, kAppend, _SH_DENYWR, _S_IREAD | _S_IWRITE);
  _write(fd, "c", 1);
  _close(fd);
  EXPECT_EQ(zutest::readFile(hostPath(kLog)), "a\r\nb\r\nc");
}

TEST_F(CrtIoTest, OpeningForCreationTellsInTheLastErrorWhetherTheFileWasThere) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  int fd = _sopen(kLog, kAppend, _SH_DENYWR, _S_IREAD | _S_IWRITE);
  ASSERT_NE(fd, -1);
  EXPECT_EQ(GetLastError(), 0u);  // created
  _close(fd);
  SetLastError(ERROR_FILE_NOT_FOUND);
  fd = _sopen(kLog, kAppend | _O_TRUNC, _SH_DENYWR, _S_IREAD | _S_IWRITE);
  ASSERT_NE(fd, -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  _close(fd);
  // Opening an existing file without creation, or failing to create one, says nothing more.
  SetLastError(ERROR_FILE_NOT_FOUND);
  fd = _sopen(kLog, _O_RDONLY, _SH_DENYNO);
  ASSERT_NE(fd, -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  _close(fd);
  EXPECT_EQ(_sopen(kLog, kAppend | _O_EXCL, _SH_DENYNO, _S_IREAD | _S_IWRITE), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
}

TEST_F(CrtIoTest, AReadOnlyFileIsOpenedForReadingOnly) {
  zutest::writeFile(hostPath(kLog), "kept");
  std::filesystem::permissions(hostPath(kLog), std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                                   std::filesystem::perms::others_read);
  SetLastError(0);
  EXPECT_EQ(_sopen(kLog, kAppend, _SH_DENYWR, _S_IREAD | _S_IWRITE), -1);
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(_sopen(kLog, _O_RDWR, _SH_DENYNO), -1);
  int fd = _sopen(kLog, _O_RDONLY, _SH_DENYNO);
  EXPECT_NE(fd, -1);
  _close(fd);
  EXPECT_EQ(zutest::readFile(hostPath(kLog)), "kept");
}

TEST_F(CrtIoTest, BinaryModeKeepsLineFeeds) {
  int fd = _sopen(kLog, kAppend | _O_BINARY, _SH_DENYNO, _S_IREAD | _S_IWRITE);
  _write(fd, "a\n", 2);
  _close(fd);
  EXPECT_EQ(zutest::readFile(hostPath(kLog)), "a\n");
}

TEST_F(CrtIoTest, DenyWriteKeepsASecondWriterOutUntilClosed) {
  int first = _sopen(kLog, kAppend, _SH_DENYWR, _S_IREAD | _S_IWRITE);
  ASSERT_NE(first, -1);
  SetLastError(0);
  EXPECT_EQ(_sopen(kLog, kAppend, _SH_DENYWR, _S_IREAD | _S_IWRITE), -1);
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(_sopen(kLog, kAppend, _SH_DENYNO, _S_IREAD | _S_IWRITE), -1);
  _close(first);
  int second = _sopen(kLog, kAppend, _SH_DENYWR, _S_IREAD | _S_IWRITE);
  EXPECT_NE(second, -1);
  _close(second);
}

TEST_F(CrtIoTest, DenyWriteIsHonouredAcrossProcesses) {
  int fd = _sopen(kLog, kAppend, _SH_DENYWR, _S_IREAD | _S_IWRITE);
  ASSERT_NE(fd, -1);
  // Another process tries to write with the same sharing mode while we hold the file.
  pid_t child = fork();
  if (child == 0) {
    int other = ::open(hostPath(kLog).c_str(), O_WRONLY);
    _exit(other >= 0 && ::flock(other, LOCK_EX | LOCK_NB) != 0 ? 0 : 1);
  }
  int status = -1;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other process got the file";
  _close(fd);
}

TEST_F(CrtIoTest, MissingFolderAndEscapesAreRefused) {
  EXPECT_EQ(_sopen("C:\\NoSuchDir\\x.log", kAppend, _SH_DENYWR, _S_IREAD | _S_IWRITE), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(_sopen("C:\\..\\..\\escape.log", kAppend, _SH_DENYWR, _S_IREAD | _S_IWRITE), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(std::filesystem::exists(dir() / "escape.log"));
}

TEST_F(CrtIoTest, LookupIgnoresCaseAndCreationKeepsIt) {
  int fd = _sopen("c:\\USERS\\User\\appdata\\local\\temp\\New.LOG", kAppend, _SH_DENYWR, _S_IREAD | _S_IWRITE);
  ASSERT_NE(fd, -1);
  _close(fd);
  EXPECT_TRUE(std::filesystem::exists(dir() / "drives/C/Users/user/AppData/Local/Temp/New.LOG"));
}

}  // namespace
