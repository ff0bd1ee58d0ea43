// The C runtime's files: text mode, sharing with writers in this and other processes,
// the last error it leaves, and wide paths.
#include <windows.h>
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <tchar.h>

#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>

#include <gtest/gtest.h>

#include "tests/support/TestMachine.h"

namespace {

namespace fs = std::filesystem;
constexpr const char* kLog = "C:\\Users\\user\\AppData\\Local\\Temp\\x.log";
constexpr int kAppend = _O_WRONLY | _O_APPEND | _O_CREAT;

class CrtIoTest : public zutest::MachineTest {
 protected:
  int open(int flags, int share = _SH_DENYWR, const char* path = kLog) {
    return _sopen(path, flags, share, _S_IREAD | _S_IWRITE);
  }
};

// The Microsoft runtime opens through CreateFile with OPEN_ALWAYS or CREATE_ALWAYS.
TEST_F(CrtIoTest, OpeningForCreationTellsInTheLastErrorWhetherTheFileWasThere) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  int fd = open(kAppend);
  ASSERT_NE(fd, -1);
  EXPECT_EQ(GetLastError(), 0u);  // created
  _close(fd);
  SetLastError(ERROR_FILE_NOT_FOUND);
  fd = open(kAppend | _O_TRUNC);
  ASSERT_NE(fd, -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  _close(fd);
  // Opening an existing file without creation, or failing to create one, says nothing more.
  SetLastError(ERROR_FILE_NOT_FOUND);
  fd = open(_O_RDONLY, _SH_DENYNO);
  ASSERT_NE(fd, -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  _close(fd);
  EXPECT_EQ(open(kAppend | _O_EXCL, _SH_DENYNO), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
}

TEST_F(CrtIoTest, RefusalsCarryErrnoAndTheWindowsError) {
  zutest::writeFile(hostPath("C:\\readonly.log"), "kept");
  fs::permissions(hostPath("C:\\readonly.log"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  int writer = open(kAppend);
  ASSERT_NE(writer, -1);
  struct Case {
    const char* path;
    int flags, share, error;
    DWORD lastError;
  } const cases[] = {
      {"C:\\readonly.log", kAppend, _SH_DENYWR, EACCES, ERROR_ACCESS_DENIED},
      {"C:\\readonly.log", _O_RDWR, _SH_DENYNO, EACCES, ERROR_ACCESS_DENIED},
      {kLog, kAppend, _SH_DENYWR, EACCES, ERROR_SHARING_VIOLATION},
      {kLog, kAppend, _SH_DENYNO, EACCES, ERROR_SHARING_VIOLATION},
      {"C:\\NoSuchDir\\x.log", kAppend, _SH_DENYWR, ENOENT, ERROR_PATH_NOT_FOUND},
      {"C:\\..\\..\\escape.log", kAppend, _SH_DENYWR, EACCES, ERROR_ACCESS_DENIED},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    errno = 0;
    EXPECT_EQ(open(c.flags, c.share, c.path), -1) << c.path;
    EXPECT_EQ(errno, c.error) << c.path;
    EXPECT_EQ(GetLastError(), c.lastError) << c.path;
  }
  // Another process cannot lock the file for writing while we hold it.
  pid_t child = fork();
  if (child == 0) {
    int other = ::open(hostPath(kLog).c_str(), O_WRONLY);
    _exit(other >= 0 && ::flock(other, LOCK_EX | LOCK_NB) != 0 ? 0 : 1);
  }
  int status = -1;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other process got the file";
  _close(writer);
  EXPECT_EQ(zutest::readFile(hostPath("C:\\readonly.log")), "kept");
  EXPECT_FALSE(fs::exists(dir() / "escape.log"));
}

std::string readAll(FILE* file) {
  std::string text;
  char buffer[3];  // small reads put CR LF pairs across read boundaries
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  fclose(file);
  return text;
}

// Text mode stores CR LF, binary mode keeps line feeds, for descriptors and streams.
TEST_F(CrtIoTest, TextModeStoresCrLfAndReadsItBackAsLf) {
  int fd = open(kAppend);
  ASSERT_NE(fd, -1);
  EXPECT_EQ(_write(fd, "a\nb\n", 4), 4);  // the caller's bytes, not the stored ones
  EXPECT_EQ(_close(fd), 0);
  fd = open(kAppend | _O_BINARY, _SH_DENYNO);
  _write(fd, "c\n", 2);
  _close(fd);
  EXPECT_EQ(zutest::readFile(hostPath(kLog)), "a\r\nb\r\nc\n");
  ASSERT_EQ(_wmkdir(L"C:\\T"), 0);
  FILE* out = _wfopen(L"C:\\T\\a.txt", L"w");
  ASSERT_NE(out, nullptr);
  fputs("a\nbc\n\r", out);
  ASSERT_EQ(fclose(out), 0);
  EXPECT_EQ(zutest::readFile(hostPath("C:\\T\\a.txt")), "a\r\nbc\r\n\r");
  EXPECT_EQ(readAll(_wfopen(L"c:/t/A.TXT", L"r")), "a\nbc\n\r");
  EXPECT_EQ(readAll(_wfopen(L"C:\\t\\a.txt", L"rb")), "a\r\nbc\r\n\r");
  struct _stat status;
  ASSERT_EQ(_wstat(L"C:\\t\\A.txt", &status), 0);
  EXPECT_EQ(status.st_mode & _S_IFMT, _S_IFREG);
  EXPECT_EQ(status.st_size, 8);
  ASSERT_EQ(_wstat(L"C:\\t", &status), 0);
  EXPECT_EQ(status.st_mode & _S_IFMT, _S_IFDIR);
}

TEST_F(CrtIoTest, WideFunctionsFailAsOnWindows) {
  struct _stat status;
  const std::pair<std::function<bool()>, int> cases[] = {
      {[] { return _wfopen(L"C:\\missing.txt", L"r") != nullptr; }, ENOENT},
      {[] { return _wfopen(L"C:\\no\\dir\\x.txt", L"w") != nullptr; }, ENOENT},
      {[] { return _wfopen(L"C:\\Windows", L"r") != nullptr; }, EACCES},
      {[] { return _wfopen(L"C:\\..\\..\\outside", L"w") != nullptr; }, EACCES},
      {[] { return _wmkdir(L"c:\\windows") == 0; }, EEXIST},
      {[] { return _wmkdir(L"C:\\a\\b") == 0; }, ENOENT},
      {[&] { return _wstat(L"C:\\Windows\\g.txt", &status) == 0; }, ENOENT},
      {[] { return _wremove(L"C:\\missing.txt") == 0; }, ENOENT},
  };
  int row = 0;
  for (const auto& [call, error] : cases) {
    errno = 0;
    EXPECT_FALSE(call()) << "row " << row;
    EXPECT_EQ(errno, error) << "row " << row++;
  }
  EXPECT_FALSE(fs::exists(dir() / "outside"));
}

}  // namespace
