// Log records: their format, writers that take turns, and the exception records.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>

#include <gtest/gtest.h>

#include "tests/support/TestMachine.h"
#include "windows/common/AllUtils.h"
#include "windows/common/Logger.h"

namespace {

constexpr const char* kLogPath = "C:\\Users\\user\\AppData\\Local\\Temp\\test.log";

class LoggerTest : public zutest::MachineTest {
 protected:
  std::string logText() { return zutest::readFile(hostPath(kLogPath)); }
  bool logHas(const std::string& text) { return logText().find(text) != std::string::npos; }
  Logger logger_{kLogPath, "uninstaller.exe"};
};

TEST_F(LoggerTest, ARecordNamesTheSourceFileAndLevelAndEndsItsLinesInCrLf) {
  logger_.write(LogLevel::Error, "C:\\src\\uninstaller.cpp", 9, "WinMain", "first\nsecond");
  EXPECT_TRUE(logHas(", uninstaller.cpp:9 (WinMain)]\r\n\tERROR: first\r\nsecond\r\n")) << logText();
  logger_.write(LogLevel::Info, "src/dir/mixed\\name.cpp", 1, "f", "m");
  EXPECT_TRUE(logHas("), name.cpp:1 (f)]")) << logText();
  const std::pair<int, const char*> levels[] = {{0, "TRACE"}, {1, "INFO"}, {2, "WARNING"}, {3, "ERROR"},
                                                {7, "UNKNOWN"}, {-1, "UNKNOWN"}};
  for (const auto& [value, name] : levels) {
    std::string text = logger_.formatRecord(static_cast<LogLevel>(value), "f.cpp", 1, "fn", "m");
    EXPECT_NE(text.find(std::string("\n\t") + name + ": m\n"), std::string::npos) << text;
  }
}

TEST_F(LoggerTest, ARecordIsLostWhileAnotherWriterHoldsTheFileAndNothingIsWrittenWithoutAPath) {
  int other = _sopen(kLogPath, _O_WRONLY | _O_APPEND | _O_CREAT, _SH_DENYWR, _S_IREAD | _S_IWRITE);
  ASSERT_NE(other, -1);
  SYSTEMTIME before, after;
  GetLocalTime(&before);
  logger_.write(LogLevel::Error, "f.cpp", 1, "f", "lost");
  GetLocalTime(&after);
  _close(other);
  EXPECT_EQ(logText(), "");
  // Ten attempts, a millisecond apart, on the machine's clock.
  int elapsed = (after.wSecond * 1000 + after.wMilliseconds) - (before.wSecond * 1000 + before.wMilliseconds);
  EXPECT_GE((elapsed + 60000) % 60000, 9);
  logger_.write(LogLevel::Error, "f.cpp", 1, "f", "kept");
  EXPECT_TRUE(logHas("kept"));

  Logger silent("", "x.exe");
  silent.write(LogLevel::Error, "f.cpp", 1, "f", "m");
  EXPECT_EQ(logText().find("\tERROR: m\r\n"), std::string::npos);
}

TEST_F(LoggerTest, TheProcessLoggerReportsExceptionsInZuschedLogUnderTheirPlace) {
  reportException(ZU_HERE, std::runtime_error("boom"));
  reportUnknownException(SourceLocation{"C:\\src\\windows\\uninstallerexe\\uninstaller.cpp", "WinMain", 77});
  std::string text = zutest::readFile(hostPath("C:\\Users\\user\\AppData\\Local\\Temp\\zusched.log"));
  EXPECT_NE(text.find("Logger_test.cpp:"), std::string::npos) << text;
  EXPECT_NE(text.find("\tERROR: Exception with message 'boom' caught\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("uninstaller.cpp:77 (WinMain)]\r\n\tERROR: Unknown exception caught\r\n"), std::string::npos);
}

}  // namespace
