// The machine's file system against Windows behaviour: error codes, case, links,
// reparse buffers, sharing and attempts to leave the drives.
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
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/hosted/machine/Journal.h"
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
  DWORD attributes(const char* path) { return GetFileAttributesA(path); }
  // Calls fn, expecting failure with `error`; the last error starts as a sentinel.
  template <class F>
  void expectFailure(F fn, DWORD error) {
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(fn());
    EXPECT_EQ(GetLastError(), error);
  }
};

TEST_F(HostedFiles, LookupIgnoresCaseAndAcceptsBothSeparators) {
  makeFile("C:\\Program Files\\Zuna\\bin\\zuna.exe");
  EXPECT_EQ(attributes("c:/PROGRAM FILES\\zuna/BIN/Zuna.EXE"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(attributes("C:\\Program Files\\Zuna"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(attributes("C:\\"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(HostedFiles, MissingFileAndMissingFolderGiveDifferentErrors) {
  makeDir("C:\\a");
  SetLastError(0xdeadbeef);
  EXPECT_EQ(attributes("C:\\a\\missing"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(attributes("C:\\nowhere\\missing"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(attributes("Q:\\x"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  // A narrow path longer than MAX_PATH is refused before it is looked up (Wine agrees).
  std::string longest = "C:\\a\\" + std::string(MAX_PATH - 5, 'x');
  ASSERT_EQ(longest.size(), static_cast<size_t>(MAX_PATH));
  expectFailure([&] { return DeleteFileA(longest.c_str()); }, ERROR_FILE_NOT_FOUND);
  expectFailure([&] { return DeleteFileA((longest + "x").c_str()); }, ERROR_FILENAME_EXCED_RANGE);
  EXPECT_EQ(attributes((longest + "x").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
}

TEST_F(HostedFiles, PathsThatLeaveTheDrivesAreRefused) {
  zutest::writeFile(dir() / "secret", "outside");
  expectFailure([] { return GetFileAttributesA("C:\\..\\..\\secret") != INVALID_FILE_ATTRIBUTES; },
                ERROR_ACCESS_DENIED);
  expectFailure([] { return DeleteFileA("C:\\Windows\\..\\..\\..\\secret"); }, ERROR_ACCESS_DENIED);
  expectFailure([] { return CreateDirectoryA("C:\\..\\escape", nullptr); }, ERROR_ACCESS_DENIED);
  EXPECT_TRUE(fs::exists(dir() / "secret"));
  EXPECT_FALSE(fs::exists(dir() / "escape"));
}

TEST_F(HostedFiles, LinksAreResolvedByTheirWindowsTextAndNeverLeaveTheDrives) {
  zutest::writeFile(dir() / "secret", "outside");
  // A host path as link text is read as a Windows path on this machine.
  makeLink("C:\\up", (dir() / "secret").string());
  makeLink("C:\\rel", "..\\..\\secret");
  makeLink("C:\\dirlink", "\\??\\C:\\real");
  makeFile("C:\\real\\inside.txt", "inside");
  expectFailure([] { return CopyFileA("C:\\up", "C:\\copy1", FALSE); }, ERROR_PATH_NOT_FOUND);
  expectFailure([] { return CopyFileA("C:\\rel", "C:\\copy2", FALSE); }, ERROR_ACCESS_DENIED);
  EXPECT_TRUE(CopyFileA("C:\\DIRLINK\\inside.txt", "C:\\copy3", FALSE));
  EXPECT_EQ(zutest::readFile(hostPath("C:\\copy3")), "inside");
  EXPECT_EQ(zutest::readFile(dir() / "secret"), "outside");
}

TEST_F(HostedFiles, LinksReportReparseAttributesWithoutBeingFollowed) {
  makeDir("C:\\target");
  makeLink("C:\\junction", "\\??\\C:\\target");
  makeLink("C:\\file.lnk", "C:\\target\\zuna.exe");
  EXPECT_EQ(attributes("C:\\junction"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
  EXPECT_EQ(attributes("C:\\file.lnk") & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
            static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT));
}

TEST_F(HostedFiles, CreateDirectoryKeepsCaseAndReportsExistingLevels) {
  ASSERT_TRUE(CreateDirectoryA("C:\\ProgramData\\Vantor", nullptr));
  EXPECT_TRUE(fs::is_directory(dir() / "drives/C/ProgramData/Vantor"));
  expectFailure([] { return CreateDirectoryA("c:\\programdata\\VANTOR", nullptr); }, ERROR_ALREADY_EXISTS);
  expectFailure([] { return CreateDirectoryA("C:\\missing\\child", nullptr); }, ERROR_PATH_NOT_FOUND);
  expectFailure([] { return CreateDirectoryA("C:\\", nullptr); }, ERROR_ACCESS_DENIED);
}

TEST_F(HostedFiles, SecurityDescriptorsSetOnFilesAndFoldersAreJournaled) {
  auto descriptor = hosted::encodeSecurityDescriptor("D:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
  SECURITY_ATTRIBUTES sa{sizeof sa, descriptor.data(), FALSE};
  ASSERT_TRUE(CreateDirectoryA("C:\\secured", &sa));
  makeFile("C:\\secured\\zuna.exe");
  ASSERT_TRUE(SetFileSecurityA("c:\\SECURED\\zuna.exe", DACL_SECURITY_INFORMATION, descriptor.data()));
  std::string journal = zutest::readFile(dir() / "journal.jsonl");
  EXPECT_NE(journal.find("\"path\":\"C:\\\\secured\""), std::string::npos);
  EXPECT_NE(journal.find("\"path\":\"C:\\\\secured\\\\zuna.exe\""), std::string::npos);
  expectFailure([&] { return SetFileSecurityA("C:\\secured\\none", DACL_SECURITY_INFORMATION, descriptor.data()); },
                ERROR_FILE_NOT_FOUND);
  char notADescriptor[32] = "D:(A;;FA;;;WD)";
  expectFailure([&] { return SetFileSecurityA("C:\\secured", DACL_SECURITY_INFORMATION, notADescriptor); },
                ERROR_INVALID_SECURITY_DESCR);
}

TEST_F(HostedFiles, RemoveDirectoryRemovesOnlyEmptyDirectoriesAndJunctions) {
  makeFile("C:\\full\\f.txt");
  makeDir("C:\\target\\keep");
  makeLink("C:\\junction", "\\??\\C:\\target");
  makeFile("C:\\plain.txt");
  expectFailure([] { return RemoveDirectoryA("C:\\full"); }, ERROR_DIR_NOT_EMPTY);
  expectFailure([] { return RemoveDirectoryA("C:\\plain.txt"); }, ERROR_DIRECTORY);
  expectFailure([] { return RemoveDirectoryA("C:\\gone"); }, ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(RemoveDirectoryA("C:\\JUNCTION"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(hostPath("C:\\junction"))));
  EXPECT_TRUE(fs::is_directory(hostPath("C:\\target\\keep")));
}

TEST_F(HostedFiles, DeleteFileRemovesFilesAndFileLinksOnly) {
  makeFile("C:\\target.exe", "exe");
  makeLink("C:\\link.exe", "C:\\target.exe");
  makeDir("C:\\dir");
  makeLink("C:\\junction", "\\??\\C:\\dir");
  EXPECT_TRUE(DeleteFileA("C:\\link.exe"));
  EXPECT_TRUE(fs::exists(hostPath("C:\\target.exe")));
  expectFailure([] { return DeleteFileA("C:\\dir"); }, ERROR_ACCESS_DENIED);
  expectFailure([] { return DeleteFileA("C:\\junction"); }, ERROR_ACCESS_DENIED);
  expectFailure([] { return DeleteFileA("C:\\link.exe"); }, ERROR_FILE_NOT_FOUND);
  fs::permissions(hostPath("C:\\target.exe"), fs::perms::owner_write, fs::perm_options::remove);
  expectFailure([] { return DeleteFileA("C:\\target.exe"); }, ERROR_ACCESS_DENIED);
  EXPECT_EQ(attributes("C:\\target.exe") & FILE_ATTRIBUTE_READONLY, static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
}

TEST_F(HostedFiles, SharingFollowsWindowsRules) {
  makeFile("C:\\log.txt");
  HANDLE writer = CreateFileA("C:\\log.txt", GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  // A reader that lets others write meets a writer that lets others read.
  HANDLE reader = CreateFileA("C:\\log.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);
  // A second writer is refused, and so is a reader that denies writing.
  SetLastError(0);
  EXPECT_EQ(CreateFileA("C:\\log.txt", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(CreateFileA("C:\\log.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                        nullptr),
            INVALID_HANDLE_VALUE);
  // Deleting an open file that does not share deletion fails.
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
  SetLastError(0xdeadbeef);
  EXPECT_EQ(CreateFileA(image, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
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
  EXPECT_EQ(zutest::readFile(hostPath("C:\\Zuna\\bin\\old.dll")), "image");

  HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, 3000);
  ASSERT_NE(process, nullptr);
  EXPECT_TRUE(TerminateProcess(process, 1));
  CloseHandle(process);
  EXPECT_TRUE(DeleteFileA("C:\\Zuna\\bin\\old.dll"));
}

TEST_F(HostedFiles, CopyFileHonoursFailIfExistsAndCreatesNoFolders) {
  makeFile("C:\\src.txt", "new");
  makeFile("C:\\dst.txt", "old");
  expectFailure([] { return CopyFileA("C:\\src.txt", "C:\\dst.txt", TRUE); }, ERROR_FILE_EXISTS);
  EXPECT_EQ(zutest::readFile(hostPath("C:\\dst.txt")), "old");
  EXPECT_TRUE(CopyFileA("C:\\SRC.txt", "C:\\dst.txt", FALSE));
  EXPECT_EQ(zutest::readFile(hostPath("C:\\dst.txt")), "new");
  expectFailure([] { return CopyFileA("C:\\src.txt", "C:\\no\\dst.txt", FALSE); }, ERROR_PATH_NOT_FOUND);
  expectFailure([] { return CopyFileA("C:\\none.txt", "C:\\x.txt", FALSE); }, ERROR_FILE_NOT_FOUND);
}

TEST_F(HostedFiles, MoveFileExRenamesAndReplacesOnlyWhenAsked) {
  makeFile("C:\\a.txt", "a");
  makeFile("C:\\b.txt", "b");
  expectFailure([] { return MoveFileExA("C:\\a.txt", "C:\\b.txt", 0); }, ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(MoveFileExA("C:\\a.txt", "C:\\b.txt", MOVEFILE_REPLACE_EXISTING));
  EXPECT_FALSE(fs::exists(hostPath("C:\\a.txt")));
  EXPECT_EQ(zutest::readFile(hostPath("C:\\b.txt")), "a");
  makeDir("D:\\");
  expectFailure([] { return MoveFileExA("C:\\b.txt", "D:\\b.txt", 0); }, ERROR_NOT_SAME_DEVICE);
  EXPECT_TRUE(MoveFileExA("C:\\b.txt", "C:\\B.TXT", 0));
  EXPECT_TRUE(fs::exists(hostPath("C:\\B.TXT")));
}

TEST_F(HostedFiles, DelayedMoveGoesToThePendingOperationsAndLeavesTheFile) {
  makeFile("C:\\locked.dll");
  // The pending-operations store reports its own result; the file stays either way.
  SetLastError(0xdeadbeef);
  BOOL done = MoveFileExA("C:\\locked.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  if (!done) {
    EXPECT_NE(GetLastError(), 0xdeadbeefu);
  }
  EXPECT_TRUE(fs::exists(hostPath("C:\\locked.dll")));
  expectFailure([] { return MoveFileExA("C:\\locked.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_COPY_ALLOWED); },
                ERROR_INVALID_PARAMETER);
  machine().faults().failNext("MoveFileExA", ERROR_ACCESS_DENIED, "C:\\locked.dll");
  expectFailure([] { return MoveFileExA("C:\\locked.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT); },
                ERROR_ACCESS_DENIED);
}

TEST_F(HostedFiles, FindListsDotsThenNamesByUpperCaseOrder) {
  makeFile("C:\\d\\b.txt");
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
}

TEST_F(HostedFiles, FindReportsMissingNamesAndFolders) {
  makeFile("C:\\d\\zuna.exe", "12345");
  WIN32_FIND_DATAA data;
  SetLastError(0);
  EXPECT_EQ(FindFirstFileA("C:\\d\\*.dll", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(FindFirstFileA("C:\\missing\\*", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  HANDLE search = FindFirstFileA("C:\\D\\ZUNA.EXE", &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(data.cFileName, "zuna.exe");
  EXPECT_EQ(data.nFileSizeLow, 5u);
  FindClose(search);
}

TEST(HostedFindData, LayoutIsTheWindowsOne) {
  EXPECT_EQ(sizeof(WIN32_FIND_DATAA), 320u);
  EXPECT_EQ(offsetof(WIN32_FIND_DATAA, nFileSizeHigh), 28u);
  EXPECT_EQ(offsetof(WIN32_FIND_DATAA, dwReserved0), 36u);
  EXPECT_EQ(offsetof(WIN32_FIND_DATAA, cFileName), 44u);
  EXPECT_EQ(offsetof(WIN32_FIND_DATAA, cAlternateFileName), 304u);
}

TEST_F(HostedFiles, LongPathNameGivesTheNamesAsStored) {
  makeDir("C:\\Program Files\\Zuna");
  char buffer[MAX_PATH];
  DWORD n = GetLongPathNameA("C:\\PROGRAM FILES\\zuna", buffer, MAX_PATH);
  EXPECT_EQ(std::string(buffer, n), "C:\\Program Files\\Zuna");
  EXPECT_EQ(GetLongPathNameA("C:\\PROGRAM FILES\\zuna", buffer, 5), n + 1);
  SetLastError(0);
  EXPECT_EQ(GetLongPathNameA("C:\\Program Files\\none", buffer, MAX_PATH), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
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
  return CreateFileA(path, access, 0, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

TEST_F(HostedFiles, JunctionSetThroughReparseBufferReadsBackAndIsNotFollowedOnTheHost) {
  makeDir("C:\\target");
  makeDir("C:\\link");
  auto buffer = mountPointBuffer(L"C:\\target");
  HANDLE h = openReparse("C:\\link", GENERIC_WRITE);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD returned = 0;
  ASSERT_TRUE(DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr,
                              0, &returned, nullptr));
  CloseHandle(h);
  EXPECT_EQ(fs::read_symlink(hostPath("C:\\link")).string(), "\\??\\C:\\target");

  h = openReparse("C:\\link", GENERIC_READ);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  std::vector<unsigned char> out(MAXIMUM_REPARSE_DATA_BUFFER_SIZE, 0xCC);
  ASSERT_TRUE(DeviceIoControl(h, FSCTL_GET_REPARSE_POINT, nullptr, 0, out.data(), static_cast<DWORD>(out.size()),
                              &returned, nullptr));
  CloseHandle(h);
  EXPECT_EQ(returned, buffer.size());
  EXPECT_EQ(std::vector<unsigned char>(out.begin(), out.begin() + returned), buffer);
}

TEST_F(HostedFiles, AJunctionTargetOutsideTheAnsiCodePageReadsBackUnchanged) {
  // "C:\zoł": the ł has no place in Windows-1252.
  const std::wstring target = L"C:\\zo\x0142";
  makeDir("C:\\link");
  auto buffer = mountPointBuffer(target);
  HANDLE h = openReparse("C:\\link", GENERIC_WRITE);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD returned = 0;
  ASSERT_TRUE(DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr,
                              0, &returned, nullptr));
  CloseHandle(h);
  EXPECT_EQ(fs::read_symlink(hostPath("C:\\link")).string(), "\\??\\C:\\zo\xC5\x82");

  h = openReparse("C:\\link", GENERIC_READ);
  std::vector<unsigned char> out(MAXIMUM_REPARSE_DATA_BUFFER_SIZE, 0);
  ASSERT_TRUE(DeviceIoControl(h, FSCTL_GET_REPARSE_POINT, nullptr, 0, out.data(), static_cast<DWORD>(out.size()),
                              &returned, nullptr));
  CloseHandle(h);
  EXPECT_EQ(std::vector<unsigned char>(out.begin(), out.begin() + returned), buffer);
}

TEST_F(HostedFiles, WidePathsKeepEveryCharacter) {
  const wchar_t* name = L"C:\\cfg\\\x043A\x043E\x043D\x0444\x0438\x0433.cfg";  // конфиг.cfg
  ASSERT_EQ(_wmkdir(L"C:\\cfg"), 0);
  FILE* file = _wfopen(name, L"w");
  ASSERT_NE(file, nullptr);
  std::fputs("a=1\n", file);
  std::fclose(file);
  EXPECT_EQ(zutest::readFile(hostPath("C:\\cfg\\\xD0\xBA\xD0\xBE\xD0\xBD\xD1\x84\xD0\xB8\xD0\xB3.cfg")), "a=1\r\n");
  struct _stat status{};
  EXPECT_EQ(_wstat(name, &status), 0);
  HANDLE h = CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  // The narrow functions see the name through the ANSI code page, as on Windows.
  EXPECT_EQ(GetFileAttributesA("C:\\cfg\\??????.cfg"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(_wremove(name), 0);
  EXPECT_FALSE(fs::exists(hostPath("C:\\cfg\\\xD0\xBA\xD0\xBE\xD0\xBD\xD1\x84\xD0\xB8\xD0\xB3.cfg")));
}

TEST_F(HostedFiles, ReparseBufferErrorsAreWindowsOnes) {
  makeFile("C:\\d\\f.txt");
  makeDir("C:\\empty");
  auto buffer = mountPointBuffer(L"C:\\target");
  HANDLE full = openReparse("C:\\d", GENERIC_WRITE);
  expectFailure([&] { return DeviceIoControl(full, FSCTL_SET_REPARSE_POINT, buffer.data(),
                                             static_cast<DWORD>(buffer.size()), nullptr, 0, nullptr, nullptr); },
                ERROR_DIR_NOT_EMPTY);
  std::vector<unsigned char> out(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
  expectFailure([&] { return DeviceIoControl(full, FSCTL_GET_REPARSE_POINT, nullptr, 0, out.data(),
                                             static_cast<DWORD>(out.size()), nullptr, nullptr); },
                ERROR_NOT_A_REPARSE_POINT);
  CloseHandle(full);
  HANDLE readOnly = openReparse("C:\\empty", GENERIC_READ);
  expectFailure([&] { return DeviceIoControl(readOnly, FSCTL_SET_REPARSE_POINT, buffer.data(),
                                             static_cast<DWORD>(buffer.size()), nullptr, 0, nullptr, nullptr); },
                ERROR_ACCESS_DENIED);
  CloseHandle(readOnly);
  HANDLE empty = openReparse("C:\\empty", GENERIC_WRITE);
  expectFailure([&] { return DeviceIoControl(empty, FSCTL_SET_REPARSE_POINT, buffer.data(),
                                             static_cast<DWORD>(buffer.size() - 2), nullptr, 0, nullptr, nullptr); },
                ERROR_INVALID_REPARSE_DATA);
  CloseHandle(empty);
  EXPECT_TRUE(fs::is_directory(fs::symlink_status(hostPath("C:\\empty"))));
}

TEST_F(HostedFiles, DeletingAReparsePointLeavesAPlainDirectory) {
  makeDir("C:\\target");
  makeLink("C:\\junction", "\\??\\C:\\target");
  HANDLE h = openReparse("C:\\junction", GENERIC_WRITE);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  unsigned char header[8] = {0x0C, 0, 0, 0xA0, 0, 0, 0, 0};
  expectFailure([&] { return DeviceIoControl(h, FSCTL_DELETE_REPARSE_POINT, header, 8, nullptr, 0, nullptr, nullptr); },
                ERROR_REPARSE_TAG_MISMATCH);
  header[0] = 0x03;
  EXPECT_TRUE(DeviceIoControl(h, FSCTL_DELETE_REPARSE_POINT, header, 8, nullptr, 0, nullptr, nullptr));
  CloseHandle(h);
  EXPECT_EQ(attributes("C:\\junction"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(HostedFiles, SymbolicLinkReadsBackWithTheSymlinkLayout) {
  makeFile("C:\\bin\\zuna.exe");
  ASSERT_TRUE(CreateSymbolicLinkW(L"C:\\links\\..\\zuna.exe", L"C:\\bin\\zuna.exe", 0));
  expectFailure([] { return CreateSymbolicLinkW(L"C:\\zuna.exe", L"C:\\bin\\zuna.exe", 0) != 0; },
                ERROR_ALREADY_EXISTS);
  expectFailure([] { return CreateSymbolicLinkW(L"C:\\dirlink", L"C:\\bin", SYMBOLIC_LINK_FLAG_DIRECTORY) != 0; },
                ERROR_NOT_SUPPORTED);
  HANDLE h = CreateFileA("C:\\zuna.exe", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  std::vector<unsigned char> out(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
  DWORD returned = 0;
  ASSERT_TRUE(DeviceIoControl(h, FSCTL_GET_REPARSE_POINT, nullptr, 0, out.data(), static_cast<DWORD>(out.size()),
                              &returned, nullptr));
  CloseHandle(h);
  uint32_t tag;
  std::memcpy(&tag, out.data(), 4);
  EXPECT_EQ(tag, static_cast<uint32_t>(IO_REPARSE_TAG_SYMLINK));
  uint16_t subOffset = static_cast<uint16_t>(out[8] | out[9] << 8);
  uint16_t subLength = static_cast<uint16_t>(out[10] | out[11] << 8);
  std::wstring substitute;
  for (size_t i = 0; i < subLength; i += 2) substitute += static_cast<wchar_t>(out[20 + subOffset + i] | out[21 + subOffset + i] << 8);
  EXPECT_EQ(substitute, L"\\??\\C:\\bin\\zuna.exe");
  // Reading through the link reaches the target's data.
  EXPECT_EQ(CopyFileA("C:\\zuna.exe", "C:\\copy.exe", FALSE), TRUE);
  EXPECT_EQ(zutest::readFile(hostPath("C:\\copy.exe")), "data");
}

TEST_F(HostedFiles, ArmedFaultsFailTheNamedCallForThatPathOnly) {
  makeFile("C:\\a.txt");
  makeFile("C:\\b.txt");
  machine().faults().failNext("DeleteFileA", ERROR_ACCESS_DENIED, "c:\\A.TXT");
  EXPECT_TRUE(DeleteFileA("C:\\b.txt"));
  expectFailure([] { return DeleteFileA("C:\\A.TXT"); }, ERROR_ACCESS_DENIED);
  EXPECT_TRUE(fs::exists(hostPath("C:\\a.txt")));
  EXPECT_TRUE(DeleteFileA("C:\\a.txt"));
}

}  // namespace
