// The C runtime's wide-path functions and ReplaceFileW on the hosted machine.
#include <gtest/gtest.h>

#include <windows.h>
#include <direct.h>
#include <io.h>
#include <tchar.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/TestMachine.h"

namespace {

class MsvcrtWide : public zutest::MachineTest {};

std::string readAll(FILE* file) {
  std::string text;
  char buffer[3];  // small reads put CR LF pairs across read boundaries
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  return text;
}

TEST_F(MsvcrtWide, TextModeStoresCrLfAndReadsItBackAsLf) {
  std::filesystem::create_directories(hostPath("C:\\t"));
  FILE* out = _wfopen(L"C:\\t\\a.txt", L"w");
  ASSERT_NE(out, nullptr);
  fputs("a\nbc\n\r", out);
  ASSERT_EQ(fclose(out), 0);
  EXPECT_EQ(zutest::readFile(hostPath("C:\\t\\a.txt")), "a\r\nbc\r\n\r");

  FILE* text = _wfopen(L"c:/T/A.TXT", L"r");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(readAll(text), "a\nbc\n\r");
  fclose(text);
  FILE* binary = _wfopen(L"C:\\t\\a.txt", L"rb");
  EXPECT_EQ(readAll(binary), "a\r\nbc\r\n\r");
  fclose(binary);
}

TEST_F(MsvcrtWide, OpeningFailsAsOnWindows) {
  errno = 0;
  EXPECT_EQ(_wfopen(L"C:\\missing.txt", L"r"), nullptr);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(_wfopen(L"C:\\no\\dir\\x.txt", L"w"), nullptr);
  std::filesystem::create_directories(hostPath("C:\\d"));
  EXPECT_EQ(_wfopen(L"C:\\d", L"r"), nullptr);
  EXPECT_EQ(_wfopen(L"C:\\..\\..\\outside", L"w"), nullptr);
  EXPECT_FALSE(std::filesystem::exists(dir() / "outside"));
}

TEST_F(MsvcrtWide, DirectoriesAreMadeOnceAndReportedByStat) {
  EXPECT_EQ(_wmkdir(L"C:\\New"), 0);
  errno = 0;
  EXPECT_EQ(_wmkdir(L"c:\\new"), -1);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(_wmkdir(L"C:\\a\\b"), -1);
  EXPECT_EQ(errno, ENOENT);
  struct _stat status;
  ASSERT_EQ(_wstat(L"C:\\new", &status), 0);
  EXPECT_EQ(status.st_mode & _S_IFMT, _S_IFDIR);
  zutest::writeFile(hostPath("C:\\New\\f.txt"), "12345");
  ASSERT_EQ(_wstat(L"C:\\New\\f.txt", &status), 0);
  EXPECT_EQ(status.st_mode & _S_IFMT, _S_IFREG);
  EXPECT_EQ(status.st_size, 5);
  EXPECT_EQ(_wstat(L"C:\\New\\g.txt", &status), -1);
}

TEST_F(MsvcrtWide, TheCurrentDirectoryComesFromTheMachine) {
  wchar_t buffer[MAX_PATH];
  ASSERT_NE(_wgetcwd(buffer, MAX_PATH), nullptr);
  EXPECT_EQ(std::wstring(buffer), L"C:\\Windows\\system32");
  errno = 0;
  EXPECT_EQ(_wgetcwd(buffer, 5), nullptr);
  EXPECT_EQ(errno, ERANGE);
  wchar_t* allocated = _wgetcwd(nullptr, 0);
  ASSERT_NE(allocated, nullptr);
  EXPECT_EQ(std::wstring(allocated), L"C:\\Windows\\system32");
  std::free(allocated);
}

TEST_F(MsvcrtWide, ADescriptorTakesOverAFileHandle) {
  HANDLE file = CreateFileW(L"C:\\h.bin", GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), 0);
  ASSERT_NE(fd, -1);
  EXPECT_EQ(_write(fd, "x\ny", 3), 3);
  EXPECT_EQ(_close(fd), 0);
  EXPECT_EQ(machine().handles().openCount(), 0u);
  EXPECT_EQ(zutest::readFile(hostPath("C:\\h.bin")), "x\ny");
  EXPECT_EQ(_open_osfhandle(reinterpret_cast<intptr_t>(file), 0), -1) << "the handle went with the descriptor";
}

TEST_F(MsvcrtWide, ReplaceFileKeepsTheReplacedFilesProtection) {
  zutest::writeFile(hostPath("C:\\r\\old.cfg"), "old");
  zutest::writeFile(hostPath("C:\\r\\new.tmp"), "new");
  std::filesystem::permissions(hostPath("C:\\r\\old.cfg"), std::filesystem::perms(0640));
  ASSERT_TRUE(ReplaceFileW(L"C:\\r\\old.cfg", L"C:\\r\\new.tmp", nullptr, 0, nullptr, nullptr));
  EXPECT_EQ(zutest::readFile(hostPath("C:\\r\\old.cfg")), "new");
  EXPECT_EQ(std::filesystem::status(hostPath("C:\\r\\old.cfg")).permissions(), std::filesystem::perms(0640));
  EXPECT_FALSE(std::filesystem::exists(hostPath("C:\\r\\new.tmp")));
  EXPECT_FALSE(ReplaceFileW(L"C:\\r\\old.cfg", L"C:\\r\\gone.tmp", nullptr, 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(_wremove(L"C:\\r\\old.cfg"), 0);
  EXPECT_EQ(_wremove(L"C:\\r\\old.cfg"), -1);
}

}  // namespace
