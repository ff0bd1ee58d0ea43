// machine.json data that the layer refuses: every rejection names the file and the line
// of the offending field, and no accepted value can change how the run sees itself.
#include <gtest/gtest.h>

#include "platform/hosted/machine/JsonLines.h"
#include "platform/hosted/machine/Machine.h"
#include "tests/support/Runs.h"

namespace {

using hosted::HostFailure;

std::string rejection(const std::string& text) {
  try {
    hosted::parseFacts(text, "machine.json");
    hosted::ProcessTable::parse(text, "machine.json");
  } catch (const HostFailure& failure) {
    EXPECT_EQ(failure.status, 65);
    return failure.message;
  }
  ADD_FAILURE() << "accepted: " << text;
  return {};
}

TEST(MachineJson, ImageWithAQuoteOrAControlCharacterIsInvalid) {
  for (const char* image : {R"(C:\\Program Files\\a\" \/s.exe)", R"(C:\\Windows\\Temp\\un\u0000installer.exe)",
                            R"(C:\\Windows\\Temp\\un\ninstaller.exe)", R"(C:\\Windows\\Temp\\a|b.exe)"}) {
    std::string message = rejection(std::string(R"({"process": {"image": ")") + image + "\"}}");
    EXPECT_NE(message.find("process.image"), std::string::npos) << message;
  }
  std::string message = rejection(R"({"process": {"currentDirectory": "C:\\x\"y"}})");
  EXPECT_NE(message.find("process.currentDirectory"), std::string::npos) << message;
  EXPECT_NO_THROW(hosted::parseFacts(R"({"process": {"image": "C:\\Program Files (x86)\\Zuna [1]\\un-inst_1.exe"}})",
                                     "machine.json"));
}

TEST(MachineJson, ImageWithAQuoteEndsTheRunWith65BeforeItStarts) {
  zutest::ScratchDir machine;
  zutest::writeFile(machine.path() / "machine.json", R"({"process": {"image": "C:\\Temp\\a\" b.exe"}})");
  auto run = zutest::runUninstaller({"--machine", machine.path().string(), "--", "/s"});
  EXPECT_EQ(run.status, 65) << run.output;
  EXPECT_NE(run.output.find("process.image"), std::string::npos) << run.output;
}

TEST(MachineJson, EveryRejectionNamesTheFileAndTheLineOfTheField) {
  struct Case {
    const char* text;
    const char* expected;  // the start of the message
  };
  const Case cases[] = {
      {"{\n  \"os\": {\"version\": \"10.0\"},\n  \"process\": {\n    \"bitness\": 16\n  }\n}",
       "machine.json:4: process.bitness must be 32 or 64"},
      {"{\n  \"os\": {\n    \"architecture\": \"x86\"\n  },\n  \"process\": {\"pid\": 7,\n \"bitness\": 64}\n}",
       "machine.json:6: process.bitness 64 needs"},
      {"{\"os\":\n {\"version\":\n \"ten\"}}", "machine.json:3: os.version"},
      {"{\n\"os\": {\"architecture\": \"arm\"}}", "machine.json:2: os.architecture"},
      {"{\n\n\"process\": {\"pid\": -1}}", "machine.json:3: process.pid"},
      {"{\n\"process\": {\n\"image\": \"relative.exe\"}}", "machine.json:3: process.image"},
      {"{\n\"user\": {\n\"sid\":\n\"S-2\"}}", "machine.json:4: user.sid"},
      {"{\"folders\": {\n\"temp\": \"C:\\\\t\",\n\"system\": 5}}", "machine.json:3: folders.system"},
      {"{\"environment\": {\n\"A\": \"x\",\n\"B\": []}}", "machine.json:3: environment.B"},
      {"{\n\"locale\": []}", "machine.json:2: locale must be an object"},
      {"\n[]", "machine.json:2: the top level must be an object"},
      {"{\"processes\": [\n {\"pid\": 1, \"exe\": \"a.exe\"},\n {\"exe\": \"b.exe\"}\n]}",
       "machine.json:3: processes[1]: pid is required"},
      {"{\"processes\": [\n {\"pid\": 1, \"exe\": \"a.exe\",\n  \"onClose\": \"never\"}]}",
       "machine.json:3: processes[0]: onClose must be"},
      {"{\"processes\": [\n {\"pid\": 1, \"exe\": \"a.exe\"},\n {\"pid\": 1,\n \"exe\": \"b.exe\"}]}",
       "machine.json:3: processes[1]: pid 1 is listed twice"},
      {"{\"processes\": [{\"pid\": 1, \"exe\": \"a.exe\",\n \"windows\": [{\"title\": \"t\"},\n {\"visible\": 1}]}]}",
       "machine.json:3: processes[0]: visible must be true or false"},
      {"{\n\"processes\": {}}", "machine.json:2: processes must be an array"},
  };
  for (const auto& c : cases) {
    std::string message = rejection(c.text);
    EXPECT_EQ(message.rfind(c.expected, 0), 0u) << message << "\nfor: " << c.text;
  }
}

TEST(JsonLine, FindsValuesPastStringsArraysAndRepeatedNames) {
  const std::string text =
      "{\"a\": \"[{\\\"}\",\n"
      " \"b\": [1, [2, 3],\n {\"c\": 4}],\n"
      " \"a\":\n 5}";
  EXPECT_EQ(hosted::jsonLine(text, {}), 1u);
  EXPECT_EQ(hosted::jsonLine(text, {"b"}), 2u);
  EXPECT_EQ(hosted::jsonLine(text, {"b", "2", "c"}), 3u);
  EXPECT_EQ(hosted::jsonLine(text, {"a"}), 5u);  // the later of the two
  EXPECT_EQ(hosted::jsonLine(text, {"b", "7"}), 2u);
  EXPECT_EQ(hosted::jsonLine(text, {"missing", "x"}), 1u);
  // Deep nesting is scanned, not recursed into.
  std::string deep = "{\"x\": " + std::string(100000, '[') + std::string(100000, ']') + ",\n\"y\": 1}";
  EXPECT_EQ(hosted::jsonLine(deep, {"y"}), 2u);
}

}  // namespace
