// Loading a machine directory: defaults, validation, and that a refused directory
// is left exactly as it was.
#include <gtest/gtest.h>

#include "platform/hosted/machine/Machine.h"
#include "tests/support/Runs.h"

namespace {

namespace fs = std::filesystem;
using hosted::HostFailure;
using zutest::contentsOf;
using zutest::ScratchDir;
using zutest::writeFile;

HostFailure loadFailure(const fs::path& dir) {
  try {
    hosted::Machine::load(dir);
  } catch (const HostFailure& failure) {
    hosted::Machine::unload();
    return failure;
  }
  hosted::Machine::unload();
  ADD_FAILURE() << "the machine loaded";
  return {};
}

TEST(MachineFacts, DefaultsDescribeA64BitWindows10Computer) {
  hosted::Facts facts = hosted::parseFacts("{}", "machine.json");
  EXPECT_EQ(facts.osMajor, 10);
  EXPECT_EQ(facts.osMinor, 0);
  EXPECT_EQ(facts.architecture, "x64");
  EXPECT_EQ(facts.bitness, 64);
  EXPECT_EQ(facts.pid, 4242u);
  EXPECT_EQ(facts.image, "C:\\Windows\\Temp\\uninstaller.exe");
  EXPECT_EQ(facts.currentDirectory, "C:\\Windows\\system32");
  EXPECT_EQ(facts.folder("temp"), "C:\\Users\\user\\AppData\\Local\\Temp");
  EXPECT_EQ(facts.folder("programFilesCommonX86"), "C:\\Program Files (x86)\\Common Files");
  EXPECT_FALSE(facts.isWow64());
}

TEST(MachineFacts, NullFolderHasNoPathAndX86HasNoWow64Folder) {
  hosted::Facts facts =
      hosted::parseFacts(R"({"os": {"architecture": "x86"}, "process": {"bitness": 32},
                             "folders": {"commonAppData": null}})",
                         "machine.json");
  EXPECT_EQ(facts.folder("commonAppData"), std::nullopt);
  EXPECT_EQ(facts.folder("systemWow64"), std::nullopt);
  EXPECT_FALSE(facts.isWow64());
}

TEST(MachineFacts, InvalidDataNamesTheFileAndLine) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"{\n  \"os\": {\n    \"version\": 10\n  }\n}", "machine.json:3: os.version must be a string"},
      {"{\n  \"os\": {\n  }\n  \"user\": {}\n}", "machine.json:4: "},
      {"[]", "machine.json:1: the top level must be an object"},
      {R"({"process": {"bitness": 16}})", "process.bitness must be 32 or 64"},
      {R"({"os": {"architecture": "x86"}, "process": {"bitness": 64}})", "needs a 64-bit"},
      {R"({"process": {"pid": -1}})", "process.pid"},
      {R"({"folders": {"temp": "relative\\path"}})", "folders.temp"},
      {R"({"os": {"version": "ten"}})", "os.version"},
  };
  for (const auto& c : cases) {
    try {
      hosted::parseFacts(c.text, "machine.json");
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const HostFailure& failure) {
      EXPECT_EQ(failure.status, 65);
      EXPECT_NE(failure.message.find(c.expected), std::string::npos) << failure.message;
    }
  }
}

TEST(MachineLoad, RefusedDirectoryIsLeftUnchanged) {
  ScratchDir scratch;
  writeFile(scratch.path() / "machine.json", "{ \"os\": ");
  writeFile(scratch.path() / "drives/C/keep.txt", "x");
  auto before = contentsOf(scratch.path());
  HostFailure failure = loadFailure(scratch.path());
  EXPECT_EQ(failure.status, 65);
  EXPECT_NE(failure.message.find("machine.json:1:"), std::string::npos) << failure.message;
  EXPECT_EQ(contentsOf(scratch.path()), before);
}

TEST(MachineLoad, MissingDirectoryIsADataError) {
  ScratchDir scratch;
  HostFailure failure = loadFailure(scratch.path() / "absent");
  EXPECT_EQ(failure.status, 65);
  EXPECT_FALSE(fs::exists(scratch.path() / "absent"));
}

TEST(MachineLoad, EmptyDirectoryGetsTheSystemFoldersOfAWindowsComputer) {
  ScratchDir scratch;
  hosted::Machine::load(scratch.path());
  hosted::Machine::unload();
  EXPECT_TRUE(fs::is_directory(scratch.path() / "drives/C/Users/user/AppData/Local/Temp"));
  EXPECT_TRUE(fs::is_directory(scratch.path() / "drives/C/Windows/System32"));
  EXPECT_TRUE(fs::is_directory(scratch.path() / "drives/C/Program Files (x86)/Common Files"));
}

}  // namespace
