// What the host gives the program: machine.json, whose rejections name the file, the
// line and the value; and command lines as Windows splits them, with quoting that
// survives the split.
#include <gtest/gtest.h>

#include "platform/hosted/api/CommandLine.h"
#include "platform/hosted/machine/Machine.h"
#include "tests/support/TestMachine.h"

namespace {

using hosted::quoteArgument;
using hosted::splitCommandLine;

TEST(MachineLoad, InvalidDataIsADataErrorNamingTheFileAndLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"{\n  \"os\": {\n    \"version\": 10\n  }\n}", "machine.json:3: os.version must be a string"},
      {"{\n  \"os\": {\n  }\n  \"user\": {}\n}", "machine.json:4: "},
      {"[]", "machine.json:1: the top level must be an object"},
      {R"({"process": {"bitness": 16}})", "process.bitness must be 32 or 64"},
      {R"({"os": {"architecture": "x86"}, "process": {"bitness": 64}})", "needs a 64-bit"},
      {R"({"process": {"pid": -1}})", "process.pid"},
      {R"({"folders": {"temp": "relative\\path"}})", "folders.temp"},
      {R"({"os": {"version": "ten"}})", "os.version"},
      {R"({"processes": {}})", "machine.json:1:"},
      {R"({"processes": [ {"exe": "a.exe"} ]})", "machine.json:1: "},
      {R"({"processes": [ {"pid": 0, "exe": "a.exe"} ]})", "machine.json:1: "},
      {R"({"processes": [ {"pid": 5} ]})", "machine.json:1: "},
      {R"({"processes": [ {"pid": 5, "exe": "a.exe", "onClose": "maybe"} ]})", "machine.json:1: "},
      {R"({"processes": [ {"pid": 5, "image": "relative\\a.exe"} ]})", "machine.json:1: "},
      {R"({"processes": [ {"pid": 5, "exe": "a.exe", "modules": ["x.dll"]} ]})", "machine.json:1: "},
      {R"({"processes": [ {"pid": 5, "exe": "a.exe", "windows": [ {"visible": "yes"} ]} ]})", "machine.json:1: "},
      {R"({"processes": [ {"pid": 5, "exe": "a.exe"}, {"pid": 5, "exe": "b.exe"} ]})", "machine.json:1: "},
  };
  for (const auto& [text, expected] : cases) {
    zutest::ScratchDir scratch;
    zutest::writeFile(scratch.path() / "machine.json", text);
    try {
      hosted::Machine::load(scratch.path());
      ADD_FAILURE() << "accepted: " << text;
    } catch (const hosted::HostFailure& failure) {
      EXPECT_EQ(failure.status, hosted::kExitDataError) << text;
      EXPECT_NE(failure.message.find(expected), std::string::npos) << failure.message;
    }
    hosted::Machine::unload();
  }
}

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

}  // namespace
