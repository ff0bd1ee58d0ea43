// Runs of the uninstaller executable on machine directories, checked from outside: the
// log and journal, the host's own failures, and the main sequence's own steps: finding
// the runtime home, removing the family's cached base image, and the auto-update tool.
#include <sys/stat.h>

#include <regex>

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
constexpr const char* kTool = "drives/C/Program Files (x86)/Common Files/Zuna/Zuna Update/zaureg.exe";
constexpr const char* kToolPath = "C:\\Program Files (x86)\\Common Files\\Zuna\\Zuna Update\\zaureg.exe";

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
  // The processes the runs started.
  std::vector<nlohmann::json> starts() const {
    std::vector<nlohmann::json> out;
    for (auto& event : zutest::readJournal(machine_.path())) {
      if (event["event"] == "createProcess") out.push_back(event);
    }
    return out;
  }
  fs::path at(const std::string& relative) const { return machine_.path() / relative; }
  zutest::ScratchDir machine_;
};

TEST(UninstallerRun, ARunLogsInCrLfRecordsAndJournalsItsQuotedCommandLine) {
  zutest::ScratchDir machine;
  writeFile(machine.path() / "machine.json", R"({"process": {"image": "C:\\Temp Dir\\uninstaller.exe"}})");
  auto run = zutest::runUninstaller({"--machine", machine.path().string(), "--", "/s", "INSTALLCFG=C:\\my cfg.txt", "a\"b"});
  EXPECT_EQ(run.status, 0) << run.output;
  std::string log = readFile(machine.path() / kLog);
  static const std::regex entry(
      R"(\r\n\[\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\.\d{3}, uninstaller\.exe \(PID: 4242, TID: \d+\), )"
      R"(uninstaller\.cpp:\d+ \(WinMain\)\]\r\n\tTRACE: Entered uninstaller\.exe WinMain\.\r\n)");
  EXPECT_TRUE(std::regex_search(log, entry)) << log;
  // A scope's closing record has line 0 and names where the scope began.
  static const std::regex closing(
      R"(InstallConfigData\.cpp:0 \(InstallConfigData::InstallConfigData\)\]\r\n\tTRACE: Exiting )"
      R"(InstallConfigData::InstallConfigData \(entered at InstallConfigData\.cpp:\d+\)\r\n)");
  EXPECT_TRUE(std::regex_search(log, closing));
  for (size_t i = 0; (i = log.find('\n', i)) != std::string::npos; ++i) ASSERT_EQ(log[i - 1], '\r');
  auto events = zutest::readJournal(machine.path());
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events.front()["commandLine"],
            "\"C:\\Temp Dir\\uninstaller.exe\" /s \"INSTALLCFG=C:\\my cfg.txt\" \"a\\\"b\"");
  EXPECT_EQ(events.back()["event"], "run");
  EXPECT_EQ(events.back()["exitCode"], 0);
}

TEST(UninstallerRun, HostFailuresExitWithTheirStatusAndChangeNothing) {
  zutest::ScratchDir machine;
  auto wrongOption = zutest::runUninstaller({"--machine", machine.path().string(), "--colour"});
  EXPECT_EQ(wrongOption.status, 64);
  EXPECT_NE(wrongOption.output.find("unknown option '--colour'"), std::string::npos) << wrongOption.output;
  EXPECT_EQ(zutest::runUninstaller({}).status, 64);
  EXPECT_EQ(zutest::runUninstaller({"--machine", machine.path().string(), "--answer", "maybe"}).status, 64);

  writeFile(machine.path() / "drives/C/keep.txt", "keep");
  writeFile(machine.path() / "machine.json", "{\n  \"os\": {\n    \"version\": \"10.0\",\n  }\n}\n");
  auto before = zutest::contentsOf(machine.path());
  auto invalid = zutest::runUninstaller({"--machine", machine.path().string()});
  EXPECT_EQ(invalid.status, 65);
  EXPECT_NE(invalid.output.find("machine.json:4:"), std::string::npos) << invalid.output;
  EXPECT_EQ(zutest::contentsOf(machine.path()), before);
  auto missing = zutest::runUninstaller({"--machine", (machine.path() / "absent").string()});
  EXPECT_EQ(missing.status, 65);
  EXPECT_NE(missing.output.find("absent"), std::string::npos);
  EXPECT_FALSE(fs::exists(machine.path() / "absent"));
}

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
  EXPECT_NE(run().find("(WinMain)]\r\n\tINFO: Not running " + std::string(kToolPath) + " as it doesn't exist.\r\n"),
            std::string::npos);
  EXPECT_NE(run(k32BitSystem).find("INFO: Not running C:\\Program Files\\Common Files\\Zuna\\Zuna Update\\zaureg.exe "
                                   "as it doesn't exist.\r\n"),
            std::string::npos);
  EXPECT_TRUE(starts().empty());
}

TEST_F(MainSequenceRun, TheAutoUpdateToolIsStartedHiddenWithItsArgumentsAndNotWaitedFor) {
  // The tool takes seconds before it leaves its mark; the run does not wait for it.
  writeFile(at(kTool), "#!/bin/sh\nsleep 3\ntouch \"$HOSTED_MACHINE/zaureg.done\"\n");
  ::chmod(at(kTool).c_str(), 0755);
  std::string log = run();
  EXPECT_FALSE(fs::exists(at("zaureg.done"))) << "the run ended before the tool did";
  auto started = starts();
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0]["application"], kToolPath);
  EXPECT_EQ(started[0]["commandLine"], std::string("\"") + kToolPath + "\" -u auto-update");
  EXPECT_EQ(started[0]["hidden"], true);
  EXPECT_EQ(started[0]["result"], 0);
  EXPECT_EQ(log.find("zaureg call failed"), std::string::npos) << log;
  EXPECT_EQ(log.find("WaitForSingleObject"), std::string::npos);
}

TEST_F(MainSequenceRun, AnAutoUpdateToolThatIsNoProgramIsLoggedAndTheRunSucceeds) {
  writeFile(at(kTool), "MZ\x90");
  std::string log = run();
  ASSERT_EQ(starts().size(), 1u);
  EXPECT_EQ(starts()[0]["result"], 193);
  EXPECT_NE(log.find("ERROR: Executor.exec(): CreateProcess failed with system error 193"), std::string::npos) << log;
  EXPECT_NE(log.find("(WinMain)]\r\n\tERROR: -- Exec: zaureg call failed\r\n"), std::string::npos) << log;
  EXPECT_EQ(zutest::readJournal(machine_.path()).back()["exitCode"], 0);
}

TEST_F(MainSequenceRun, AReadOnlyLogIsLeftAsItIs) {
  writeFile(at(kLog), "an earlier run\r\n");
  fs::permissions(at(kLog), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  auto result = zutest::runUninstaller({"--machine", machine_.path().string()});
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(readFile(at(kLog)), "an earlier run\r\n");
}

}  // namespace
