// The environment broadcast and temporary file names, as Windows gives them.
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <regex>

#include <gtest/gtest.h>

#include "tests/support/TestMachine.h"

namespace {

class BroadcastTest : public zutest::MachineTest {};

TEST_F(BroadcastTest, SettingChangeToAllWindowsSucceedsAndIsJournaled) {
  DWORD_PTR result = 0xdeadbeef;
  EXPECT_NE(SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"),
                                SMTO_ABORTIFHUNG, 5000, &result),
            0);
  EXPECT_EQ(result, 0u);
  EXPECT_EQ(SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr), 1);
  auto journal = zutest::readJournal(dir());
  ASSERT_EQ(journal.size(), 2u);
  EXPECT_EQ(journal[0]["event"], "broadcast");
  EXPECT_EQ(journal[0]["message"], 0x1A);
  EXPECT_EQ(journal[0]["text"], "Environment");
  EXPECT_TRUE(journal[1]["text"].is_null()) << "no string in lParam";
}

TEST_F(BroadcastTest, AWindowOfItsOwnOrAnInjectedFailureFails) {
  SetLastError(0);
  EXPECT_EQ(SendMessageTimeoutW(reinterpret_cast<HWND>(0x1234), WM_SETTINGCHANGE, 0, 0, SMTO_ABORTIFHUNG, 10, nullptr),
            0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  machine().faults().failNext("SendMessageTimeoutW", ERROR_TIMEOUT);
  EXPECT_EQ(SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, 0, SMTO_ABORTIFHUNG, 10, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
  EXPECT_TRUE(zutest::readJournal(dir()).empty()) << "nothing was sent";
}

class TempFileNameTest : public zutest::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    ASSERT_TRUE(CreateDirectoryA("C:\\Work", nullptr));
  }
};

TEST_F(TempFileNameTest, ZeroCreatesAnEmptyFileUnderAFreeName) {
  char name[MAX_PATH] = "sentinel";
  UINT first = GetTempFileNameA("C:\\Work", "RENAME", 0, name);
  ASSERT_NE(first, 0u);
  std::string path = name;
  EXPECT_TRUE(std::regex_match(path, std::regex(R"(C:\\Work\\REN[0-9A-F]{1,4}\.tmp)"))) << path;
  ASSERT_TRUE(std::filesystem::is_regular_file(hostPath(path)));
  EXPECT_EQ(std::filesystem::file_size(hostPath(path)), 0u);

  // The same moment gives the next number: the first name is taken now.
  char second[MAX_PATH];
  UINT next = GetTempFileNameA("C:\\Work\\", "REN", 0, second);
  ASSERT_NE(next, 0u);
  EXPECT_NE(std::string(second), path);
  EXPECT_EQ(std::string(second).rfind("C:\\Work\\REN", 0), 0u) << "one separator only: " << second;
}

TEST_F(TempFileNameTest, AGivenNumberOnlyFormsTheName) {
  char name[MAX_PATH];
  EXPECT_EQ(GetTempFileNameA("C:\\Work", "ab", 0x1A2B, name), 0x1A2Bu);
  EXPECT_STREQ(name, "C:\\Work\\ab1A2B.tmp");
  EXPECT_FALSE(std::filesystem::exists(hostPath(name)));
  EXPECT_EQ(GetTempFileNameA("C:\\Work", "", 0x10001, name), 0x10001u) << "the number is returned as given";
  EXPECT_STREQ(name, "C:\\Work\\1.tmp") << "only its low 16 bits name the file";
}

TEST_F(TempFileNameTest, FailuresLeaveNothingBehind) {
  char name[MAX_PATH] = "sentinel";
  SetLastError(0);
  EXPECT_EQ(GetTempFileNameA("C:\\Missing", "REN", 0, name), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
  EXPECT_EQ(GetTempFileNameA(std::string(MAX_PATH - 13, 'a').c_str(), "REN", 0, name), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
  machine().faults().failNext("GetTempFileNameA", ERROR_ACCESS_DENIED, "C:\\Work");
  EXPECT_EQ(GetTempFileNameA("C:\\Work", "REN", 0, name), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_STREQ(name, "sentinel");
  EXPECT_TRUE(std::filesystem::is_empty(hostPath("C:\\Work")));
}

}  // namespace
