// Command lines as Windows splits them, and quoting that survives the split.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include "platform/hosted/api/CommandLine.h"
#include "tests/support/TestMachine.h"

namespace {

using hosted::quoteArgument;
using hosted::splitCommandLine;

TEST(CommandLineSplit, FollowsWindowsRulesForQuotesAndBackslashes) {
  struct Case {
    const wchar_t* line;
    std::vector<std::wstring> args;
  };
  const Case cases[] = {
      {L"\"C:\\Program Files\\u.exe\" /s", {L"C:\\Program Files\\u.exe", L"/s"}},
      {L"u.exe  a\tb ", {L"u.exe", L"a", L"b"}},
      {L"u.exe \"a b\" c", {L"u.exe", L"a b", L"c"}},
      {L"u.exe a\\\\b", {L"u.exe", L"a\\\\b"}},          // backslashes alone are literal
      {L"u.exe a\\\"b", {L"u.exe", L"a\"b"}},            // odd count escapes the quote
      {L"u.exe \"a\\\\\" b", {L"u.exe", L"a\\", L"b"}},  // even count halves, quote closes
      {L"u.exe \"\"", {L"u.exe", L""}},
      {L"u.exe x=\"C:\\my dir\"", {L"u.exe", L"x=C:\\my dir"}},
      {L"\"C:\\a\\\" b", {L"C:\\a\\", L"b"}},  // the program name takes no escapes
  };
  for (const auto& c : cases) {
    EXPECT_EQ(splitCommandLine(c.line), c.args) << std::wstring(c.line).size();
  }
}

TEST(CommandLineQuote, EveryArgumentSplitsBackAsGiven) {
  const std::vector<std::wstring> args = {
      L"/s",  L"INSTALLCFG=C:\\my cfg.txt", L"", L"a\"b", L"trailing\\", L"sp ace\\", L"\\\\server\\share",
      L"\"", L"tab\there", L"x\\\"y",
  };
  std::wstring line = L"\"C:\\Windows\\Temp\\uninstaller.exe\"";
  for (const auto& a : args) line += L" " + quoteArgument(a);
  auto split = splitCommandLine(line);
  ASSERT_EQ(split.size(), args.size() + 1);
  EXPECT_EQ(split[0], L"C:\\Windows\\Temp\\uninstaller.exe");
  for (size_t i = 0; i < args.size(); ++i) EXPECT_EQ(split[i + 1], args[i]);
  // Plain arguments stay unquoted.
  EXPECT_EQ(quoteArgument(L"INSTALLCFG=C:\\x"), L"INSTALLCFG=C:\\x");
  EXPECT_EQ(quoteArgument(L"a b"), L"\"a b\"");
}

class CommandLineToArgvWTest : public zutest::MachineTest {};

TEST_F(CommandLineToArgvWTest, ReturnsOneBlockFreedByLocalFree) {
  int count = -1;
  LPWSTR* argv = CommandLineToArgvW(L"\"C:\\u.exe\" /s \"A B\"", &count);
  ASSERT_NE(argv, nullptr);
  ASSERT_EQ(count, 3);
  EXPECT_EQ(std::wstring(argv[0]), L"C:\\u.exe");
  EXPECT_EQ(std::wstring(argv[2]), L"A B");
  EXPECT_EQ(LocalFree(argv), nullptr);
}

}  // namespace
