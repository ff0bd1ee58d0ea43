// The process's own facts, time, message texts and message boxes as Windows gives them.
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <fstream>

#include <gtest/gtest.h>

#include "tests/support/TestMachine.h"

namespace {

class Kernel32Test : public zutest::MachineTest {
 protected:
  std::vector<nlohmann::json> journal() { return zutest::readJournal(dir()); }
};

TEST_F(Kernel32Test, ModuleFileNameIsTheImageAndTruncatesLikeWindows) {
  char buffer[64];
  std::memset(buffer, 'x', sizeof buffer);
  DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer), "C:\\Windows\\Temp\\uninstaller.exe");
  EXPECT_EQ(length, std::strlen(buffer));

  char small[8];
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), sizeof small);
  EXPECT_EQ(std::string(small), "C:\\Wind");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST_F(Kernel32Test, TempPathEndsInABackslashAndReportsTheSizeItNeeds) {
  char buffer[MAX_PATH];
  DWORD length = GetTempPathA(MAX_PATH, buffer);
  EXPECT_EQ(std::string(buffer), "C:\\Users\\user\\AppData\\Local\\Temp\\");
  EXPECT_EQ(length, std::strlen(buffer));
  char small[4] = "abc";
  EXPECT_EQ(GetTempPathA(sizeof small, small), length + 1);
  EXPECT_STREQ(small, "abc");
}

TEST_F(Kernel32Test, SleepAdvancesTheMachineClockNotTheHost) {
  auto hostBefore = std::chrono::steady_clock::now();
  SYSTEMTIME before;
  GetLocalTime(&before);
  Sleep(3600 * 1000);
  SYSTEMTIME after;
  GetLocalTime(&after);
  EXPECT_LT(std::chrono::steady_clock::now() - hostBefore, std::chrono::seconds(5));
  int hours = (after.wHour - before.wHour + 24) % 24;
  EXPECT_EQ(hours, 1);
}

TEST_F(Kernel32Test, IdsComeFromTheMachine) {
  EXPECT_EQ(GetCurrentProcessId(), 4242u);
  EXPECT_NE(GetCurrentThreadId(), 0u);
}

TEST_F(Kernel32Test, FormatMessageGivesSystemTextsWithTheirLineEnd) {
  LPWSTR text = nullptr;
  DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
  DWORD length = FormatMessageW(flags, nullptr, ERROR_FILE_NOT_FOUND, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  ASSERT_NE(length, 0u);
  EXPECT_EQ(std::wstring(text), L"The system cannot find the file specified.\r\n");
  LocalFree(text);
  EXPECT_EQ(FormatMessageW(flags, nullptr, 0x12345678, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr), 0u);
  // A module's own table is searched instead of the system's; modules here have none.
  EXPECT_EQ(FormatMessageW(flags | FORMAT_MESSAGE_FROM_HMODULE, reinterpret_cast<HMODULE>(0x1000),
                           ERROR_FILE_NOT_FOUND, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr),
            0u);
}

TEST_F(Kernel32Test, SuccessfulCallsLeaveTheLastErrorAlone) {
  SetLastError(1234);
  char buffer[MAX_PATH];
  GetTempPathA(MAX_PATH, buffer);
  GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  EXPECT_EQ(GetLastError(), 1234u);
}

TEST_F(Kernel32Test, DebugPrivilegeIsGrantedAndChangesNothing) {
  HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, GetCurrentProcessId());
  ASSERT_NE(process, nullptr);
  LUID luid{};
  ASSERT_TRUE(LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &luid));
  EXPECT_EQ(luid.LowPart, 20u);
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(process, TOKEN_ADJUST_PRIVILEGES, &token));
  TOKEN_PRIVILEGES privileges{1, {{luid, SE_PRIVILEGE_ENABLED}}};
  EXPECT_TRUE(AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr));
  EXPECT_TRUE(CloseHandle(token));
  EXPECT_TRUE(CloseHandle(process));
  EXPECT_FALSE(CloseHandle(token));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(machine().handles().openCount(), 0u);
  EXPECT_FALSE(LookupPrivilegeValueA(nullptr, "SeNoSuchPrivilege", &luid));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SUCH_PRIVILEGE));
}

TEST_F(Kernel32Test, CommonControlsNeedTheRightStructureSize) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
  EXPECT_TRUE(InitCommonControlsEx(&controls));
  controls.dwSize = 4;
  EXPECT_FALSE(InitCommonControlsEx(&controls));
}

TEST_F(Kernel32Test, MessageBoxesAreJournaledWithTheirAnswers) {
  hosted::Session session;
  session.answers = {"cancel", "ok"};
  load(session);
  EXPECT_EQ(MessageBoxA(nullptr, "Could not initialize common controls!", "Failure", MB_ICONERROR), IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, "Close?", "Files in use", MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(MessageBoxA(nullptr, "Close?", "Files in use", MB_OKCANCEL), IDOK);
  auto events = journal();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].dump(),
            R"({"answer":"ok","caption":"Failure","event":"messageBox","style":16,"text":"Could not initialize common controls!"})");
  EXPECT_EQ(events[1]["answer"], "cancel");
  EXPECT_EQ(events[2]["answer"], "ok");
  EXPECT_EQ(events[2]["style"], 1);
}

TEST_F(Kernel32Test, JournalLinesStartWithTheEvent) {
  MessageBoxA(nullptr, "t", "c", MB_OK);
  std::ifstream in(dir() / "journal.jsonl");
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line.rfind("{\"event\":\"messageBox\"", 0), 0u) << line;
}

TEST_F(Kernel32Test, CodePageConversionsUseWindows1252) {
  const wchar_t euroAndE[] = {0x20AC, 0xE9, 0x4E2D, 0};
  char out[8] = {};
  BOOL usedDefault = FALSE;
  int n = WideCharToMultiByte(CP_ACP, 0, euroAndE, 3, out, sizeof out, nullptr, &usedDefault);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(std::string(out, 3), "\x80\xE9?");
  EXPECT_TRUE(usedDefault);
  wchar_t back[4] = {};
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\x80\xE9", 2, back, 4), 2);
  EXPECT_EQ(back[0], 0x20AC);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xFF", 1, back, 4), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

}  // namespace
