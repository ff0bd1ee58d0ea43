// The main sequence's own steps, run on machine directories: finding the runtime home,
// removing the family's cached base image, and the auto-update tool's path.
#include <gtest/gtest.h>

#include "tests/support/Runs.h"

namespace {

namespace fs = std::filesystem;
using zutest::readFile;
using zutest::runUninstaller;
using zutest::writeFile;

constexpr const char* kLog = "drives/C/Users/user/AppData/Local/Temp/zusched.log";

std::string registryWith(const std::string& keys) { return "Windows Registry Editor Version 5.00\r\n\r\n" + keys; }

// The release's own keys, under the given SOFTWARE root ("SOFTWARE" or
// "SOFTWARE\\Wow6432Node"), with its home.
std::string releaseKeys(const std::string& software, const std::string& home) {
  std::string escaped;
  for (char c : home) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
  std::string base = "[HKEY_LOCAL_MACHINE\\" + software + "\\Corvane\\Zuna Runtime Environment";
  return base + "]\r\n\"CurrentVersion\"=\"1.8\"\r\n\r\n" + base + "\\1.8]\r\n\"ZunaHome\"=\"" + escaped +
         "\"\r\n\r\n" + base + "\\1.8.0_31]\r\n\"ZunaHome\"=\"" + escaped + "\"\r\n\r\n";
}

class MainSequenceRun : public ::testing::Test {
 protected:
  zutest::RunResult run(std::vector<std::string> args = {}) {
    args.insert(args.begin(), {"--machine", machine_.path().string()});
    return runUninstaller(args);
  }
  fs::path at(const std::string& relative) const { return machine_.path() / relative; }
  std::string log() const { return readFile(at(kLog)); }
  zutest::ScratchDir machine_;
};

TEST_F(MainSequenceRun, WithoutTheRuntimeKeyTheHomeIsUnknownAndTheRunGoesOn) {
  auto result = run();
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_NE(log().find("(WinMain)]\r\n\tERROR: Cannot determine ZunaHome.\r\n"), std::string::npos) << log();
}

TEST_F(MainSequenceRun, TheHomeIsFoundInTheViewTheProcessSees) {
  writeFile(at("registry.reg"), registryWith(releaseKeys("SOFTWARE", "C:\\Program Files\\Zuna\\zre1.8.0_31")));
  writeFile(at("drives/C/Program Files/Zuna/zre1.8.0_31/bin/zuna.exe"), "launcher");
  EXPECT_EQ(run().status, 0);
  EXPECT_EQ(log().find("Cannot determine ZunaHome."), std::string::npos) << log();

  // A 32-bit uninstaller sees the 32-bit view, where this release is not registered.
  writeFile(at("machine.json"), R"({"process": {"bitness": 32}})");
  fs::remove(at(kLog));
  EXPECT_EQ(run().status, 0);
  EXPECT_NE(log().find("ERROR: Cannot determine ZunaHome."), std::string::npos) << log();
}

TEST_F(MainSequenceRun, BaseImageGoesWhenNoRuntimeOfTheFamilyIsLeft) {
  writeFile(at("drives/C/ProgramData/Vantor/Zuna/installcache_x64/baseimagefam8"), "image");
  writeFile(at("drives/C/ProgramData/Vantor/Zuna/installcache/baseimagefam8"), "32-bit image");
  EXPECT_EQ(run().status, 0);
  EXPECT_FALSE(fs::exists(at("drives/C/ProgramData/Vantor/Zuna/installcache_x64")));
  // Only the cache of the environment's own bitness is touched.
  EXPECT_TRUE(fs::exists(at("drives/C/ProgramData/Vantor/Zuna/installcache/baseimagefam8")));
}

TEST_F(MainSequenceRun, A32BitEnvironmentUsesThe32BitCacheAndKeepsAFolderWithOtherFiles) {
  writeFile(at("machine.json"), R"({"process": {"bitness": 32}})");
  writeFile(at("drives/C/ProgramData/Vantor/Zuna/installcache/baseimagefam8"), "image");
  writeFile(at("drives/C/ProgramData/Vantor/Zuna/installcache/patch.msp"), "patch");
  EXPECT_EQ(run().status, 0);
  EXPECT_FALSE(fs::exists(at("drives/C/ProgramData/Vantor/Zuna/installcache/baseimagefam8")));
  EXPECT_TRUE(fs::exists(at("drives/C/ProgramData/Vantor/Zuna/installcache/patch.msp")));
}

TEST_F(MainSequenceRun, BaseImageStaysWhileTheFamilyIsRegistered) {
  writeFile(at("registry.reg"),
            registryWith("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment\\1.8]\r\n"
                         "\"ZunaHome\"=\"C:\\\\zre8\"\r\n\r\n"));
  writeFile(at("drives/C/ProgramData/Vantor/Zuna/installcache_x64/baseimagefam8"), "image");
  EXPECT_EQ(run().status, 0);
  EXPECT_TRUE(fs::exists(at("drives/C/ProgramData/Vantor/Zuna/installcache_x64/baseimagefam8")));
}

TEST_F(MainSequenceRun, MissingToolIsNamedUnderTheRightCommonFilesFolder) {
  EXPECT_EQ(run().status, 0);
  EXPECT_NE(log().find("(WinMain)]\r\n\tINFO: Not running C:\\Program Files (x86)\\Common Files\\Zuna\\Zuna "
                       "Update\\zaureg.exe as it doesn't exist.\r\n"),
            std::string::npos)
      << log();

  writeFile(at("machine.json"), R"({"os": {"architecture": "x86"}, "process": {"bitness": 32}})");
  fs::remove(at(kLog));
  EXPECT_EQ(run().status, 0);
  EXPECT_NE(log().find("INFO: Not running C:\\Program Files\\Common Files\\Zuna\\Zuna Update\\zaureg.exe as it "
                       "doesn't exist.\r\n"),
            std::string::npos)
      << log();
}

TEST_F(MainSequenceRun, FailedFolderQueryEndsTheRunWithTheExceptionStatus) {
  writeFile(at("machine.json"), R"({"folders": {"programFilesCommonX86": null}})");
  auto result = run();
  EXPECT_EQ(result.status, 610017 & 0xFF) << result.output;
  auto events = zutest::readJournal(machine_.path());
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back()["exitCode"], 610017);
  std::string text = log();
  EXPECT_NE(text.find("ERROR: GetProgramFilesCommonX86Dir failed with COM error 0x80004005"), std::string::npos)
      << text;
  EXPECT_NE(text.find("(WinMain)]\r\n\tERROR: Exception with message "
                      "'SHGetFolderPath(CSIDL_PROGRAM_FILES_COMMONX86) failed' caught\r\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("Not running"), std::string::npos);
}

TEST_F(MainSequenceRun, ReportNamesRegistryAndFileChangesAndDryRunKeepsTheMachine) {
  writeFile(at("drives/C/ProgramData/Vantor/Zuna/installcache_x64/baseimagefam8"), "image");
  auto before = zutest::contentsOf(machine_.path());
  auto dry = run({"--dry-run"});
  EXPECT_EQ(dry.status, 0);
  EXPECT_EQ(zutest::contentsOf(machine_.path()), before);
  EXPECT_NE(dry.output.find("C:\\ProgramData\\Vantor\\Zuna\\installcache_x64\\baseimagefam8"), std::string::npos)
      << dry.output;

  auto real = run({"--report"});
  EXPECT_EQ(real.status, 0);
  EXPECT_NE(real.output.find("C:\\ProgramData\\Vantor\\Zuna\\installcache_x64\\baseimagefam8"), std::string::npos);
  EXPECT_FALSE(fs::exists(at("drives/C/ProgramData/Vantor/Zuna/installcache_x64")));
}

TEST_F(MainSequenceRun, AReadOnlyLogIsLeftAsItIs) {
  writeFile(at(kLog), "an earlier run\r\n");
  fs::permissions(at(kLog), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  auto result = run();
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(log(), "an earlier run\r\n");
}

}  // namespace
