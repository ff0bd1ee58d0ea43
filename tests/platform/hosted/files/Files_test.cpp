// The machine's file system against Windows behaviour: error codes, case, links,
// reparse buffers, sharing, mapped images and attempts to leave the drives.
#include <windows.h>
#include <tchar.h>
#include <cstdio>
#include <direct.h>
#include <io.h>
#include <winioctl.h>

#include <sys/stat.h>

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/hosted/machine/Security.h"
#include "tests/support/TestMachine.h"

namespace fs = std::filesystem;

namespace {

class HostedFiles : public zutest::MachineTest {
 protected:
  void makeFile(const std::string& windowsPath, const std::string& text = "data") {
    zutest::writeFile(hostPath(windowsPath), text);
  }
  void makeDir(const std::string& windowsPath) { fs::create_directories(hostPath(windowsPath)); }
  void makeLink(const std::string& windowsPath, const std::string& text) {
    fs::create_directories(hostPath(windowsPath).parent_path());
    fs::create_symlink(text, hostPath(windowsPath));
  }
  std::string read(const std::string& windowsPath) { return zutest::readFile(hostPath(windowsPath)); }
  // Calls fn, expecting failure with `error`; the last error starts as a sentinel.
  template <class F>
  void expectFailure(F fn, DWORD error, const std::string& what = "") {
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(fn()) << what;
    EXPECT_EQ(GetLastError(), error) << what;
  }
};

DWORD attributes(const char* path) { return GetFileAttributesA(path); }
bool found(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

// Every refusal below leaves the tree as it was; none may be kinder than Windows.
TEST_F(HostedFiles, RefusalsCarryTheWindowsError) {
  zutest::writeFile(dir() / "secret", "outside");
  makeFile("C:\\full\\f.txt");
  makeFile("C:\\src.txt", "new");
  makeFile("C:\\dst.txt", "old");
  makeFile("C:\\d\\zuna.exe");
  makeDir("C:\\target");
  makeDir("D:\\");
  makeLink("C:\\junction", "\\??\\C:\\target");
  makeLink("C:\\up", (dir() / "secret").string());  // a host path is read as a Windows path
  makeLink("C:\\rel", "..\\..\\secret");
  makeFile("C:\\readonly.exe");
  fs::permissions(hostPath("C:\\readonly.exe"), fs::perms::owner_write, fs::perm_options::remove);
  // A narrow path of MAX_PATH characters is looked up; one more is refused first (Wine agrees).
  const std::string longest = "C:\\full\\" + std::string(MAX_PATH - 8, 'x');
  ASSERT_EQ(longest.size(), static_cast<size_t>(MAX_PATH));
  const std::string tooLong = longest + "x";
  WIN32_FIND_DATAA data;
  char buffer[MAX_PATH];
  auto descriptor = hosted::encodeSecurityDescriptor("D:(A;OICI;FA;;;SY)");
  char notADescriptor[32] = "D:(A;;FA;;;WD)";
  const std::pair<std::function<bool()>, DWORD> cases[] = {
      {[] { return found("C:\\full\\missing"); }, ERROR_FILE_NOT_FOUND},
      {[] { return found("C:\\nowhere\\missing"); }, ERROR_PATH_NOT_FOUND},
      {[] { return found("Q:\\x"); }, ERROR_PATH_NOT_FOUND},
      {[&] { return DeleteFileA(longest.c_str()); }, ERROR_FILE_NOT_FOUND},
      {[&] { return DeleteFileA(tooLong.c_str()); }, ERROR_FILENAME_EXCED_RANGE},
      {[&] { return found(tooLong.c_str()); }, ERROR_FILENAME_EXCED_RANGE},
      {[] { return found("C:\\..\\..\\secret"); }, ERROR_ACCESS_DENIED},
      {[] { return DeleteFileA("C:\\Windows\\..\\..\\..\\secret"); }, ERROR_ACCESS_DENIED},
      {[] { return CreateDirectoryA("C:\\..\\escape", nullptr); }, ERROR_ACCESS_DENIED},
      {[] { return CopyFileA("C:\\up", "C:\\copy1", FALSE); }, ERROR_PATH_NOT_FOUND},
      {[] { return CopyFileA("C:\\rel", "C:\\copy2", FALSE); }, ERROR_ACCESS_DENIED},
      {[] { return CreateDirectoryA("c:\\FULL", nullptr); }, ERROR_ALREADY_EXISTS},
      {[] { return CreateDirectoryA("C:\\missing\\child", nullptr); }, ERROR_PATH_NOT_FOUND},
      {[] { return CreateDirectoryA("C:\\", nullptr); }, ERROR_ACCESS_DENIED},
      {[] { return RemoveDirectoryA("C:\\full"); }, ERROR_DIR_NOT_EMPTY},
      {[] { return RemoveDirectoryA("C:\\src.txt"); }, ERROR_DIRECTORY},
      {[] { return RemoveDirectoryA("C:\\gone"); }, ERROR_FILE_NOT_FOUND},
      {[] { return DeleteFileA("C:\\full"); }, ERROR_ACCESS_DENIED},
      {[] { return DeleteFileA("C:\\junction"); }, ERROR_ACCESS_DENIED},
      {[] { return DeleteFileA("C:\\readonly.exe"); }, ERROR_ACCESS_DENIED},
      {[] { return DeleteFileA("C:\\gone.txt"); }, ERROR_FILE_NOT_FOUND},
      {[] { return CopyFileA("C:\\src.txt", "C:\\dst.txt", TRUE); }, ERROR_FILE_EXISTS},
      {[] { return CopyFileA("C:\\src.txt", "C:\\no\\dst.txt", FALSE); }, ERROR_PATH_NOT_FOUND},
      {[] { return CopyFileA("C:\\none.txt", "C:\\x.txt", FALSE); }, ERROR_FILE_NOT_FOUND},
      {[] { return MoveFileExA("C:\\src.txt", "C:\\dst.txt", 0); }, ERROR_ALREADY_EXISTS},
      {[] { return MoveFileExA("C:\\src.txt", "D:\\src.txt", 0); }, ERROR_NOT_SAME_DEVICE},
      {[] { return MoveFileExA("C:\\src.txt", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_COPY_ALLOWED); },
       ERROR_INVALID_PARAMETER},
      {[&] { return FindFirstFileA("C:\\d\\*.dll", &data) != INVALID_HANDLE_VALUE; }, ERROR_FILE_NOT_FOUND},
      {[&] { return FindFirstFileA("C:\\missing\\*", &data) != INVALID_HANDLE_VALUE; }, ERROR_PATH_NOT_FOUND},
      {[&] { return GetLongPathNameA("C:\\full\\none", buffer, MAX_PATH) != 0; }, ERROR_FILE_NOT_FOUND},
      {[] { return CreateSymbolicLinkW(L"C:\\src.txt", L"C:\\dst.txt", 0) != 0; }, ERROR_ALREADY_EXISTS},
      {[] { return CreateSymbolicLinkW(L"C:\\dirlink", L"C:\\full", SYMBOLIC_LINK_FLAG_DIRECTORY) != 0; },
       ERROR_NOT_SUPPORTED},
      {[] { return ReplaceFileW(L"C:\\dst.txt", L"C:\\gone.tmp", nullptr, 0, nullptr, nullptr); }, ERROR_FILE_NOT_FOUND},
      {[&] { return GetTempFileNameA("C:\\gone", "REN", 0, buffer) != 0; }, ERROR_DIRECTORY},
      {[&] { return GetTempFileNameA(std::string(MAX_PATH - 13, 'a').c_str(), "REN", 0, buffer) != 0; },
       ERROR_BUFFER_OVERFLOW},
      {[&] { return SetFileSecurityA("C:\\none", DACL_SECURITY_INFORMATION, descriptor.data()); }, ERROR_FILE_NOT_FOUND},
      {[&] { return SetFileSecurityA("C:\\full", DACL_SECURITY_INFORMATION, notADescriptor); },
       ERROR_INVALID_SECURITY_DESCR},
  };
  int row = 0;
  for (const auto& [call, error] : cases) expectFailure(call, error, "row " + std::to_string(row++));
  EXPECT_EQ(zutest::readFile(dir() / "secret"), "outside");
  EXPECT_FALSE(fs::exists(dir() / "escape"));
  EXPECT_EQ(read("C:\\dst.txt"), "old");
  EXPECT_TRUE(fs::exists(hostPath("C:\\src.txt")));
  EXPECT_TRUE(fs::is_symlink(hostPath("C:\\junction")));
  EXPECT_EQ(attributes("C:\\readonly.exe") & FILE_ATTRIBUTE_READONLY, static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
}

TEST_F(HostedFiles, NamesIgnoreCaseAndSeparatorsAndLinksAreNotFollowedForAttributes) {
  makeFile("C:\\Program Files\\Zuna\\bin\\zuna.exe");
  makeLink("C:\\junction", "\\??\\C:\\Program Files");
  makeLink("C:\\file.lnk", "C:\\Program Files\\Zuna\\bin\\zuna.exe");
  EXPECT_EQ(attributes("c:/PROGRAM FILES\\zuna/BIN/Zuna.EXE"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(attributes("C:\\Program Files\\Zuna"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(attributes("C:\\"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(attributes("C:\\junction"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
  EXPECT_EQ(attributes("C:\\file.lnk") & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
            static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT));
  char buffer[MAX_PATH];
  EXPECT_EQ(GetLongPathNameA("C:\\PROGRAM FILES\\zuna", buffer, 5), 22u) << "too small: the size needed";
}

TEST_F(HostedFiles, SharingFollowsWindowsRules) {
  makeFile("C:\\log.txt");
  auto open = [](DWORD access, DWORD share) {
    return CreateFileA("C:\\log.txt", access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  HANDLE writer = open(GENERIC_WRITE, FILE_SHARE_READ);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  // A reader that lets others write meets a writer that lets others read.
  HANDLE reader = open(GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);
  // A second writer is refused, and so is a reader that denies writing, and a delete.
  expectFailure([&] { return open(GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE) != INVALID_HANDLE_VALUE; },
                ERROR_SHARING_VIOLATION);
  expectFailure([&] { return open(GENERIC_READ, FILE_SHARE_READ) != INVALID_HANDLE_VALUE; }, ERROR_SHARING_VIOLATION);
  expectFailure([] { return DeleteFileA("C:\\log.txt"); }, ERROR_SHARING_VIOLATION);
  CloseHandle(reader);
  CloseHandle(writer);
  EXPECT_TRUE(DeleteFileA("C:\\log.txt"));
}

// What Windows (and Wine) do with an image a running program has mapped.
TEST_F(HostedFiles, AnImageAnotherProgramMapsCanBeRenamedButNotDeletedOrWritten) {
  makeFile("C:\\Tools\\tool.exe");
  makeFile("C:\\Zuna\\bin\\msvcr100.dll", "image");
  makeFile("C:\\Zuna\\bin\\other.dll", "other");
  zutest::writeFile(dir() / "machine.json",
                    R"({"processes": [{"pid": 3000, "image": "C:\\Tools\\tool.exe",
                                       "modules": ["c:\\zuna\\BIN\\msvcr100.dll"]}]})");
  load();
  const char* image = "C:\\Zuna\\bin\\msvcr100.dll";
  expectFailure([&] { return DeleteFileA(image); }, ERROR_ACCESS_DENIED);
  expectFailure([&] { return DeleteFileW(L"C:\\Zuna\\bin\\msvcr100.dll"); }, ERROR_ACCESS_DENIED);
  expectFailure([&] { return DeleteFileA("C:\\Tools\\tool.exe"); }, ERROR_ACCESS_DENIED);
  expectFailure([&] { return CreateFileA(image, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, 0, nullptr) != INVALID_HANDLE_VALUE; },
                ERROR_SHARING_VIOLATION);
  HANDLE reader = CreateFileA(image, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);
  CloseHandle(reader);
  expectFailure([&] { return CopyFileA("C:\\Zuna\\bin\\other.dll", image, FALSE); }, ERROR_SHARING_VIOLATION);
  expectFailure([&] { return MoveFileExA("C:\\Zuna\\bin\\other.dll", image, MOVEFILE_REPLACE_EXISTING); },
                ERROR_ACCESS_DENIED);
  // Renamed, it is still the mapped file; its deletion can wait for the restart.
  EXPECT_TRUE(MoveFileExA(image, "C:\\Zuna\\bin\\old.dll", 0));
  expectFailure([&] { return DeleteFileA("C:\\Zuna\\bin\\old.dll"); }, ERROR_ACCESS_DENIED);
  EXPECT_TRUE(MoveFileExA("C:\\Zuna\\bin\\old.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_EQ(read("C:\\Zuna\\bin\\old.dll"), "image");

  HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, 3000);
  ASSERT_NE(process, nullptr);
  EXPECT_TRUE(TerminateProcess(process, 1));
  CloseHandle(process);
  EXPECT_TRUE(DeleteFileA("C:\\Zuna\\bin\\old.dll"));
}

TEST_F(HostedFiles, TempFileNamesAreFreeHexNamesMadeEmptyUnlessTheNumberIsGiven) {
  makeDir("C:\\Work");
  char name[MAX_PATH] = "sentinel", second[MAX_PATH];
  ASSERT_NE(GetTempFileNameA("C:\\Work", "RENAME", 0, name), 0u);
  EXPECT_TRUE(std::regex_match(name, std::regex(R"(C:\\Work\\REN[0-9A-F]{1,4}\.tmp)"))) << name;
  EXPECT_EQ(read(name), "");
  // The same moment gives the next number: the first name is taken now.
  ASSERT_NE(GetTempFileNameA("C:\\Work\\", "REN", 0, second), 0u);
  EXPECT_NE(std::string(second), name);
  EXPECT_EQ(std::string(second).rfind("C:\\Work\\REN", 0), 0u) << "one separator only: " << second;
  EXPECT_EQ(GetTempFileNameA("C:\\Work", "ab", 0x1A2B, name), 0x1A2Bu);
  EXPECT_STREQ(name, "C:\\Work\\ab1A2B.tmp");
  EXPECT_FALSE(fs::exists(hostPath(name)));
  EXPECT_EQ(GetTempFileNameA("C:\\Work", "", 0x10001, name), 0x10001u) << "the number is returned as given";
  EXPECT_STREQ(name, "C:\\Work\\1.tmp") << "only its low 16 bits name the file";
}

TEST_F(HostedFiles, FindListsDotsThenNamesByUpperCaseOrder) {
  makeFile("C:\\d\\b.txt", "12345");
  makeFile("C:\\d\\A.txt");
  makeFile("C:\\d\\_x.txt");
  makeDir("C:\\d\\sub");
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA("C:\\D\\*", &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  std::vector<std::string> names{data.cFileName};
  while (FindNextFileA(search, &data)) names.emplace_back(data.cFileName);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_TRUE(FindClose(search));
  // '_' sorts after the capitals once names are upper-cased.
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "A.txt", "b.txt", "sub", "_x.txt"}));
  search = FindFirstFileA("C:\\D\\B.TXT", &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(data.cFileName, "b.txt");
  EXPECT_EQ(data.nFileSizeLow, 5u);
  FindClose(search);
}

// The mount-point reparse buffer as a program builds it by hand.
std::vector<unsigned char> mountPointBuffer(const std::wstring& target) {
  std::wstring substitute = L"\\??\\" + target;
  std::vector<unsigned char> b(16 + (substitute.size() + 1 + target.size() + 1) * 2, 0);
  auto put16 = [&](size_t at, size_t v) {
    b[at] = static_cast<unsigned char>(v);
    b[at + 1] = static_cast<unsigned char>(v >> 8);
  };
  b[0] = 0x03, b[3] = 0xA0;
  put16(4, b.size() - 8);
  put16(10, substitute.size() * 2);
  put16(12, substitute.size() * 2 + 2);
  put16(14, target.size() * 2);
  for (size_t i = 0; i < substitute.size(); ++i) put16(16 + 2 * i, substitute[i]);
  for (size_t i = 0; i < target.size(); ++i) put16(16 + substitute.size() * 2 + 2 + 2 * i, target[i]);
  return b;
}

HANDLE openReparse(const char* path, DWORD access) {
  return CreateFileA(path, access, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                     nullptr);
}
BOOL control(HANDLE h, DWORD code, std::vector<unsigned char>& in, size_t inSize, std::vector<unsigned char>* out,
             DWORD* returned = nullptr) {
  return DeviceIoControl(h, code, in.empty() ? nullptr : in.data(), static_cast<DWORD>(inSize),
                         out ? out->data() : nullptr, out ? static_cast<DWORD>(out->size()) : 0, returned, nullptr);
}

// A target outside the ANSI code page ("C:\zoł": no ł in Windows-1252) is kept and reads back unchanged.
TEST_F(HostedFiles, AJunctionSetThroughAReparseBufferKeepsEveryCharacterAndRefusesWhatWindowsRefuses) {
  makeDir("C:\\link");
  std::vector<unsigned char> out(MAXIMUM_REPARSE_DATA_BUFFER_SIZE, 0xCC), none;
  auto buffer = mountPointBuffer(L"C:\\zo\x0142");
  HANDLE h = openReparse("C:\\link", GENERIC_READ);
  expectFailure([&] { return control(h, FSCTL_SET_REPARSE_POINT, buffer, buffer.size(), nullptr); }, ERROR_ACCESS_DENIED);
  CloseHandle(h);
  h = openReparse("C:\\link", GENERIC_WRITE);
  expectFailure([&] { return control(h, FSCTL_SET_REPARSE_POINT, buffer, buffer.size() - 2, nullptr); },
                ERROR_INVALID_REPARSE_DATA);
  EXPECT_TRUE(fs::is_directory(fs::symlink_status(hostPath("C:\\link"))));
  ASSERT_TRUE(control(h, FSCTL_SET_REPARSE_POINT, buffer, buffer.size(), nullptr));
  CloseHandle(h);
  EXPECT_EQ(fs::read_symlink(hostPath("C:\\link")).string(), "\\??\\C:\\zo\xC5\x82");
  h = openReparse("C:\\link", GENERIC_READ);
  DWORD returned = 0;
  ASSERT_TRUE(control(h, FSCTL_GET_REPARSE_POINT, none, 0, &out, &returned));
  CloseHandle(h);
  EXPECT_EQ(std::vector<unsigned char>(out.begin(), out.begin() + returned), buffer);
}

TEST_F(HostedFiles, WidePathsKeepEveryCharacter) {
  const wchar_t* name = L"C:\\cfg\\\x043A\x043E\x043D\x0444\x0438\x0433.cfg";  // конфиг.cfg
  const fs::path host = hostPath("C:\\cfg\\\xD0\xBA\xD0\xBE\xD0\xBD\xD1\x84\xD0\xB8\xD0\xB3.cfg");
  ASSERT_EQ(_wmkdir(L"C:\\cfg"), 0);
  FILE* file = _wfopen(name, L"w");
  ASSERT_NE(file, nullptr);
  std::fputs("a=1\n", file);
  std::fclose(file);
  EXPECT_EQ(zutest::readFile(host), "a=1\r\n");
  struct _stat status{};
  EXPECT_EQ(_wstat(name, &status), 0);
  HANDLE h = CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  // The narrow functions see the name through the ANSI code page, as on Windows.
  EXPECT_EQ(GetFileAttributesA("C:\\cfg\\??????.cfg"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(_wremove(name), 0);
  EXPECT_FALSE(fs::exists(host));
}

}  // namespace
