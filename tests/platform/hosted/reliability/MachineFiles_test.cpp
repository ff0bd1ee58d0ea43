// Machine directories a run refuses before it starts: machine.json data out of range or
// naming no possible path, machine files that are no regular files, drive folders that
// are host links. Each ends the run with 65 naming the file (and for machine.json the
// line of the offending field), never a crash, a run that blocks forever, or anything
// created outside the machine.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/hosted/machine/JsonLines.h"
#include "tests/support/Runs.h"

namespace {

namespace fs = std::filesystem;
using zutest::ScratchDir;

// A run of the uninstaller on `dir`; one still running after ten seconds is killed.
zutest::RunResult run(const fs::path& dir, const std::string& arguments = "-- /s") {
  std::string command = "timeout -s KILL 10 " + zutest::shellQuote(ZU_UNINSTALLER_PATH) + " --machine " +
                        zutest::shellQuote(dir.string()) + " " + arguments + " </dev/null 2>&1";
  zutest::RunResult result;
  FILE* pipe = popen(command.c_str(), "r");
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.output.append(buffer, n);
  int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

TEST(MachineJson, EveryRejectionEndsTheRunWith65NamingTheFileAndTheLineOfTheField) {
  const std::pair<std::string, std::string> cases[] = {
      {"{\n  \"os\": {\"version\": \"10.0\"},\n  \"process\": {\n    \"bitness\": 16\n  }\n}",
       "machine.json:4: process.bitness must be 32 or 64"},
      {"{\n  \"os\": {\n    \"architecture\": \"x86\"\n  },\n  \"process\": {\"pid\": 7,\n \"bitness\": 64}\n}",
       "machine.json:6: process.bitness 64 needs"},
      {"{\"os\":\n {\"version\":\n \"ten\"}}", "machine.json:3: os.version"},
      {"{\n\"os\": {\"architecture\": \"arm\"}}", "machine.json:2: os.architecture"},
      {"{\n\n\"process\": {\"pid\": -1}}", "machine.json:3: process.pid"},
      {"{\n  \"process\": {\"pid\": 1e999}\n}\n", "machine.json:2: "},
      {"{\n\"process\": {\n\"image\": \"relative.exe\"}}", "machine.json:3: process.image"},
      // An image with a quote or a control character would split the command line.
      {R"({"process": {"image": "C:\\Program Files\\a\" \/s.exe"}})", "machine.json:1: process.image"},
      {R"({"process": {"image": "C:\\Windows\\Temp\\un\u0000installer.exe"}})", "machine.json:1: process.image"},
      {R"({"process": {"image": "C:\\Windows\\Temp\\un\ninstaller.exe"}})", "machine.json:1: process.image"},
      {R"({"process": {"image": "C:\\Windows\\Temp\\a|b.exe"}})", "machine.json:1: process.image"},
      {R"({"process": {"currentDirectory": "C:\\x\"y"}})", "machine.json:1: process.currentDirectory"},
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
  for (const auto& [text, expected] : cases) {
    ScratchDir machine;
    zutest::writeFile(machine.path() / "machine.json", text);
    auto result = run(machine.path());
    EXPECT_EQ(result.status, 65) << text;
    EXPECT_NE(result.output.find("uninstaller: " + (machine.path() / expected).string()), std::string::npos)
        << result.output << "for: " << text;
  }
  EXPECT_NO_THROW(hosted::parseFacts(R"({"process": {"image": "C:\\Program Files (x86)\\Zuna [1]\\un-inst_1.exe"}})",
                                     "machine.json"));
}

TEST(MachineFiles, DirectoriesAndFifosInPlaceOfMachineFilesAreInvalidData) {
  for (bool fifo : {false, true}) {
    for (const char* name : {"machine.json", "registry.reg", "registry.reg.log", "journal.jsonl"}) {
      ScratchDir machine;
      if (fifo) {
        ASSERT_EQ(::mkfifo((machine.path() / name).c_str(), 0600), 0);
      } else {
        fs::create_directories(machine.path() / name / "inside");
      }
      auto result = run(machine.path());
      EXPECT_EQ(result.status, 65) << name;
      EXPECT_NE(result.output.find("uninstaller: " + (machine.path() / name).string() + ": must be a regular file"),
                std::string::npos) << result.output;
    }
  }
}

// A drive folder, or drives/ itself, that is a host link is refused, in a run and in a
// dry run. (Links inside a drive are Windows links: the demo machine has some.)
TEST(DriveLinks, ADriveFolderThatIsALinkIsRefusedAndNothingIsCreatedOutside) {
  for (const char* link : {"drives/C", "drives"}) {
    ScratchDir machine, outside;
    fs::create_directories((machine.path() / link).parent_path());
    fs::create_directory_symlink(outside.path(), machine.path() / link);
    for (const char* arguments : {"-- /s", "--dry-run -- /s"}) {
      auto result = run(machine.path(), arguments);
      EXPECT_EQ(result.status, 65) << result.output;
      EXPECT_NE(result.output.find(std::string(link) + ": "), std::string::npos) << result.output;
      EXPECT_NE(result.output.find("must be a directory"), std::string::npos) << result.output;
      EXPECT_TRUE(zutest::contentsOf(outside.path()).empty());
    }
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
