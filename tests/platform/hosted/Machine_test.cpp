// Loading a machine directory: the system folders of an empty one, and machine.json
// rejections that name the file, the line and the value.
#include <gtest/gtest.h>

#include "platform/hosted/machine/Machine.h"
#include "tests/support/TestMachine.h"

namespace {

namespace fs = std::filesystem;

TEST(MachineLoad, EmptyDirectoryGetsTheSystemFoldersOfAWindowsComputer) {
  zutest::ScratchDir scratch;
  hosted::Machine::load(scratch.path());
  hosted::Machine::unload();
  EXPECT_TRUE(fs::is_directory(scratch.path() / "drives/C/Users/user/AppData/Local/Temp"));
  EXPECT_TRUE(fs::is_directory(scratch.path() / "drives/C/Windows/System32"));
  EXPECT_TRUE(fs::is_directory(scratch.path() / "drives/C/Program Files (x86)/Common Files"));
}

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

}  // namespace
