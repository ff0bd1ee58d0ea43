// Error texts: the message join, system and COM descriptions, and located errors.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/share/Errors.h"
#include "tests/support/TestMachine.h"

namespace {

TEST(JoinMessages, SeparatesByTheFirstTextsLastCharacter) {
  struct Case {
    const char* first;
    const char* second;
    const char* joined;
  };
  const Case cases[] = {
      {"open failed", "System error [2]", "open failed. System error [2]"},
      {"open failed:", "System error [2]", "open failed: System error [2]"},
      {"open failed.", "x", "open failed. x"},
      {"Really?", "x", "Really? x"},
      {"a;", "b", "a; b"},
      {"a,", "b", "a, b"},
      {"a!", "b", "a! b"},
      {"open failed   ", "  \t ", "open failed"},
      {"", "  System error [5]  ", "System error [5]"},
      {"  ", "x", "x"},
      {"", "", ""},
      {"trailing \t\n", " second ", "trailing. second"},
  };
  for (const auto& c : cases) EXPECT_EQ(joinMessages(c.first, c.second), c.joined) << c.first << "|" << c.second;
}

TEST(SysErrorText, EndsInTheCodeInBrackets) {
  EXPECT_EQ(sysErrorText("deleteOnReboot(C:\\x) failed", 5), "deleteOnReboot(C:\\x) failed. System error [5]");
  EXPECT_EQ(sysErrorText("x", 4294967295u), "x. System error [4294967295]");
}

class ErrorDescriptionTest : public zutest::MachineTest {};

TEST_F(ErrorDescriptionTest, SystemErrorTextLosesTheTrailingPeriodAndLineBreak) {
  EXPECT_EQ(systemErrorText(2), "system error 2 (The system cannot find the file specified)");
  EXPECT_EQ(systemErrorText(0x7654321), "system error 124076833 (No description available)");
  EXPECT_EQ(systemErrorText(2, reinterpret_cast<HMODULE>(0x1000)), "system error 2 (No description available)");
}

TEST_F(ErrorDescriptionTest, ComErrorTextDescribesWin32CodesByTheirOwnNumber) {
  EXPECT_EQ(comErrorText(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)),
            "COM error 0x80070002 (The system cannot find the file specified)");
  EXPECT_EQ(comErrorText(E_FAIL), "COM error 0x80004005 (Unspecified error)");
  EXPECT_EQ(comErrorText(0x12345), "COM error 0x00012345 (No description available)");
}

TEST_F(ErrorDescriptionTest, ThrownSystemErrorCarriesLocationMessageAndCode) {
  SetLastError(ERROR_ACCESS_DENIED);
  try {
    throwSysError(SourceLocation{"C:\\src\\windows\\common\\FileUtils.cpp", "FileUtils::deleteOnReboot", 120},
                  "deleteOnReboot(C:\\x) failed");
    FAIL() << "nothing thrown";
  } catch (const SysError& e) {
    EXPECT_STREQ(e.what(),
                 "FileUtils.cpp(120) at FileUtils::deleteOnReboot(): deleteOnReboot(C:\\x) failed. System error [5]");
  }
}

TEST(ZdsError, CanBeCaughtAsItsBaseAndKeepsASourceWithoutSeparators) {
  try {
    throw ZdsError<std::invalid_argument>(std::invalid_argument("bad"), SourceLocation{"tstrings.cpp", "f", 7});
  } catch (const std::logic_error& e) {
    EXPECT_STREQ(e.what(), "tstrings.cpp(7) at f(): bad");
  }
}

}  // namespace
