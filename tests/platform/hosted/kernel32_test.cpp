// The process's own facts, message texts, code pages, message boxes, broadcasts and
// token as Windows gives them, and the journal lines they leave.
#include <windows.h>
#include <commctrl.h>
#include <sddl.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TestMachine.h"

namespace {

namespace fs = std::filesystem;

class Kernel32Test : public zutest::MachineTest {};

// Buffers too small get what Windows gives them; successful calls leave the last error.
TEST_F(Kernel32Test, ProcessFactsComeFromTheMachineAndTruncateLikeWindows) {
  SetLastError(1234);
  char buffer[MAX_PATH];
  EXPECT_EQ(GetTempPathA(MAX_PATH, buffer), 33u);
  EXPECT_STREQ(buffer, "C:\\Users\\user\\AppData\\Local\\Temp\\");
  EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, MAX_PATH), 31u);
  EXPECT_STREQ(buffer, "C:\\Windows\\Temp\\uninstaller.exe");
  EXPECT_EQ(GetLastError(), 1234u);
  char small[8] = "abc";
  EXPECT_EQ(GetTempPathA(4, small), 34u) << "the size needed, the buffer untouched";
  EXPECT_STREQ(small, "abc");
  EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), sizeof small);
  EXPECT_EQ(std::string(small), "C:\\Wind");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
  EXPECT_TRUE(InitCommonControlsEx(&controls));
  controls.dwSize = 4;
  EXPECT_FALSE(InitCommonControlsEx(&controls));
}

TEST_F(Kernel32Test, CodePageConversionsUseWindows1252) {
  const wchar_t euroAndE[] = {0x20AC, 0xE9, 0x4E2D, 0};
  char out[8] = {};
  BOOL usedDefault = FALSE;
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, euroAndE, 3, out, sizeof out, nullptr, &usedDefault), 3);
  EXPECT_EQ(std::string(out, 3), "\x80\xE9?");
  EXPECT_TRUE(usedDefault);
  wchar_t back[4] = {};
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\x80\xE9", 2, back, 4), 2);
  EXPECT_EQ(back[0], 0x20AC);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xFF", 1, back, 4), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

// A message box's journal line starts with its event; the answers are taken in turn.
TEST_F(Kernel32Test, MessageBoxesAreJournaledAndBroadcastsGoToAllWindowsOnly) {
  hosted::Session session;
  session.answers = {"cancel"};
  load(session);
  EXPECT_EQ(MessageBoxA(nullptr, "Close?", "Files in use", MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(MessageBoxA(nullptr, "Could not initialize common controls!", "Failure", MB_ICONERROR), IDOK);
  std::ifstream in(dir() / "journal.jsonl");
  std::string line;
  std::getline(in, line);
  std::getline(in, line);
  EXPECT_EQ(line,
            R"({"event":"messageBox","caption":"Failure","text":"Could not initialize common controls!","style":16,)"
            R"("answer":"ok"})");
  EXPECT_EQ(zutest::readJournal(dir())[0]["answer"], "cancel");
  SetLastError(0);
  EXPECT_EQ(SendMessageTimeoutW(reinterpret_cast<HWND>(0x1234), WM_SETTINGCHANGE, 0, 0, SMTO_ABORTIFHUNG, 10, nullptr),
            0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

std::string readAll(const fs::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::wstring systemText(DWORD code, DWORD flags = 0, HMODULE module = nullptr) {
  LPWSTR text = nullptr;
  flags |= FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
  if (FormatMessageW(flags, module, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr) == 0) return L"";
  std::wstring out = text;
  LocalFree(text);
  return out;
}

// So that the program's "failed with" records read as they do on Windows.
TEST_F(Kernel32Test, EveryErrorCodeTheLayerSetsHasItsSystemText) {
  EXPECT_EQ(systemText(ERROR_FILE_NOT_FOUND), L"The system cannot find the file specified.\r\n");
  EXPECT_EQ(systemText(120), L"This function is not supported on this system.\r\n");
  EXPECT_EQ(systemText(112), L"There is not enough space on the disk.\r\n");
  EXPECT_EQ(systemText(0x12345678), L"");
  // A module's own table is searched instead of the system's; modules here have none.
  EXPECT_EQ(systemText(ERROR_FILE_NOT_FOUND, FORMAT_MESSAGE_FROM_HMODULE, reinterpret_cast<HMODULE>(0x1000)), L"");

  // NAME -> value of every "#define ERROR_... <number>" in the layer's headers.
  std::map<std::string, unsigned long> values;
  std::regex define(R"(#define\s+(ERROR_[A-Z0-9_]+)\s+\(?(?:\(DWORD\))?\s*(0x[0-9A-Fa-f]+|\d+)L?)");
  for (const auto& entry : fs::directory_iterator(fs::path(ZU_SOURCE_DIR) / "platform/include")) {
    std::string text = readAll(entry.path());
    for (std::sregex_iterator it(text.begin(), text.end(), define), end; it != end; ++it) {
      values[(*it)[1]] = std::stoul((*it)[2], nullptr, 0);
    }
  }
  // Every ERROR_ name the layer's sources mention.
  std::set<std::string> used;
  std::regex name(R"(\bERROR_[A-Z0-9_]+\b)");
  for (const auto& entry : fs::recursive_directory_iterator(fs::path(ZU_SOURCE_DIR) / "platform/hosted")) {
    if (entry.path().extension() != ".cpp" && entry.path().extension() != ".h") continue;
    std::string text = readAll(entry.path());
    for (std::sregex_iterator it(text.begin(), text.end(), name), end; it != end; ++it) used.insert((*it)[0]);
  }
  ASSERT_GT(used.size(), 40u);
  for (const auto& error : used) {
    auto value = values.find(error);
    ASSERT_NE(value, values.end()) << error << " is used but not defined in platform/include";
    EXPECT_NE(systemText(static_cast<DWORD>(value->second)), L"") << error << " has no system text";
  }
}

// Windows' SID layouts; the settings tests read the SIDs derived from the token's user.
TEST_F(Kernel32Test, TheTokenUserIsTheMachinesUserAndShortBuffersAreToldTheSize) {
  EXPECT_EQ(sizeof(SID), 12u);
  EXPECT_EQ(SECURITY_MAX_SID_SIZE, 68u);
  EXPECT_EQ(sizeof(TOKEN_USER), 16u);
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  DWORD needed = 0;
  EXPECT_FALSE(GetTokenInformation(token, TokenUser, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, 16u + 28u);
  std::vector<unsigned char> buffer(needed);
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, buffer.data(), needed, &needed));
  CloseHandle(token);
  PSID user = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
  EXPECT_EQ(GetLengthSid(user), 28u);
  uint32_t rid;
  std::memcpy(&rid, static_cast<unsigned char*>(user) + 24, 4);
  EXPECT_EQ(rid, 1001u);
  BYTE domain[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof domain;
  ASSERT_TRUE(GetWindowsAccountDomainSid(user, domain, &size));
  EXPECT_EQ(size, 24u);
  BYTE users[SECURITY_MAX_SID_SIZE];
  DWORD small = 8;
  EXPECT_FALSE(CreateWellKnownSid(WinAccountDomainUsersSid, domain, users, &small));
  EXPECT_EQ(small, 28u);
  // The settings tests read the domain users SID itself (S-1-5-21-...-513) and fail each call.
  BYTE world[SECURITY_MAX_SID_SIZE];
  DWORD worldSize = sizeof world;
  ASSERT_TRUE(CreateWellKnownSid(WinWorldSid, nullptr, world, &worldSize));
  EXPECT_FALSE(GetWindowsAccountDomainSid(world, domain, &size)) << "the world SID has no domain";
}

}  // namespace
