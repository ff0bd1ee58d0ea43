// The main sequence's own steps, run on machine directories: finding the runtime home,
// removing the family's cached base image, and the auto-update tool's path.
#include <gtest/gtest.h>

#include "tests/support/Runs.h"

namespace {

namespace fs = std::filesystem;
using zutest::readFile;
using zutest::writeFile;

constexpr const char* kLog = "drives/C/Users/user/AppData/Local/Temp/zusched.log";
constexpr const char* kCache = "drives/C/ProgramData/Vantor/Zuna/";
constexpr const char* kFamilyKey =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment\\1.8]\r\n\"ZunaHome\"=\"C:\\\\zre8\"\r\n\r\n";
constexpr const char* k32BitProcess = R"({"process": {"bitness": 32}})";
constexpr const char* k32BitSystem = R"({"os": {"architecture": "x86"}, "process": {"bitness": 32}})";

class MainSequenceRun : public ::testing::Test {
 protected:
  // A fresh log, a run, and the log it wrote.
  std::string run(const std::string& machineJson = "{}") {
    writeFile(at("machine.json"), machineJson);
    fs::remove(at(kLog));
    auto result = zutest::runUninstaller({"--machine", machine_.path().string()});
    EXPECT_EQ(result.status, 0) << result.output;
    return readFile(at(kLog));
  }
  void registry(const std::string& keys) {
    writeFile(at("registry.reg"), "Windows Registry Editor Version 5.00\r\n\r\n" + keys);
  }
  fs::path at(const std::string& relative) const { return machine_.path() / relative; }
  zutest::ScratchDir machine_;
};

TEST_F(MainSequenceRun, TheHomeIsFoundInTheViewTheProcessSees) {
  const std::string missing = "(WinMain)]\r\n\tERROR: Cannot determine ZunaHome.\r\n";
  EXPECT_NE(run().find(missing), std::string::npos);
  const std::string base = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment";
  const std::string home = "\"ZunaHome\"=\"C:\\\\Program Files\\\\Zuna\\\\zre1.8.0_31\"\r\n\r\n";
  registry(base + "]\r\n\"CurrentVersion\"=\"1.8\"\r\n\r\n" + base + "\\1.8]\r\n" + home + base + "\\1.8.0_31]\r\n" + home);
  writeFile(at("drives/C/Program Files/Zuna/zre1.8.0_31/bin/zuna.exe"), "launcher");
  EXPECT_EQ(run().find(missing), std::string::npos);
  // A 32-bit uninstaller sees the 32-bit view, where this release is not registered.
  EXPECT_NE(run(k32BitProcess).find(missing), std::string::npos);
}

TEST_F(MainSequenceRun, TheBaseImageGoesFromTheOwnBitnessCacheWhenNoRuntimeOfTheFamilyIsLeft) {
  struct Case {
    const char* machineJson;
    const char* registry;
    std::vector<std::string> gone, kept;  // under the cache folder
  };
  const Case cases[] = {
      {"{}", "", {"installcache_x64"}, {"installcache/baseimagefam8"}},
      {k32BitProcess, "", {"installcache/baseimagefam8"}, {"installcache/patch.msp", "installcache_x64/baseimagefam8"}},
      {"{}", kFamilyKey, {}, {"installcache_x64/baseimagefam8"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.machineJson + std::string(c.registry));
    registry(c.registry);
    for (const char* file : {"installcache_x64/baseimagefam8", "installcache/baseimagefam8", "installcache/patch.msp"}) {
      writeFile(at(kCache + std::string(file)), "image");
    }
    run(c.machineJson);
    for (const auto& file : c.gone) EXPECT_FALSE(fs::exists(at(kCache + file))) << file;
    for (const auto& file : c.kept) EXPECT_TRUE(fs::exists(at(kCache + file))) << file;
  }
}

TEST_F(MainSequenceRun, AMissingAutoUpdateToolIsNamedUnderTheSystemsCommonFilesFolderAndNotStarted) {
  EXPECT_NE(run().find("(WinMain)]\r\n\tINFO: Not running C:\\Program Files (x86)\\Common Files\\Zuna\\Zuna "
                       "Update\\zaureg.exe as it doesn't exist.\r\n"),
            std::string::npos);
  EXPECT_NE(run(k32BitSystem).find("INFO: Not running C:\\Program Files\\Common Files\\Zuna\\Zuna Update\\zaureg.exe "
                                   "as it doesn't exist.\r\n"),
            std::string::npos);
  for (const auto& event : zutest::readJournal(machine_.path())) EXPECT_NE(event["event"], "createProcess");
}

TEST_F(MainSequenceRun, AReadOnlyLogIsLeftAsItIs) {
  writeFile(at(kLog), "an earlier run\r\n");
  fs::permissions(at(kLog), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  auto result = zutest::runUninstaller({"--machine", machine_.path().string()});
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(readFile(at(kLog)), "an earlier run\r\n");
}

}  // namespace
