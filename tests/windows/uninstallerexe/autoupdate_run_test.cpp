// The run's last step: the auto-update registration tool is started hidden and left
// to run; a tool that cannot be started is logged and the run still succeeds.
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/Runs.h"

namespace {

namespace fs = std::filesystem;
using zutest::readFile;
using zutest::writeFile;

constexpr const char* kLog = "drives/C/Users/user/AppData/Local/Temp/zusched.log";
constexpr const char* kTool = "drives/C/Program Files (x86)/Common Files/Zuna/Zuna Update/zaureg.exe";
constexpr const char* kToolPath = "C:\\Program Files (x86)\\Common Files\\Zuna\\Zuna Update\\zaureg.exe";

class AutoUpdateRun : public ::testing::Test {
 protected:
  zutest::RunResult run() { return zutest::runUninstaller({"--machine", machine_.path().string()}); }
  fs::path at(const std::string& relative) const { return machine_.path() / relative; }
  std::string log() const { return readFile(at(kLog)); }
  std::vector<nlohmann::json> startsOf() const {
    std::vector<nlohmann::json> out;
    for (auto& event : zutest::readJournal(machine_.path())) {
      if (event["event"] == "createProcess") out.push_back(event);
    }
    return out;
  }
  zutest::ScratchDir machine_;
};

TEST_F(AutoUpdateRun, TheToolIsStartedHiddenWithItsArgumentsAndNotWaitedFor) {
  // The tool takes a second, then notes its arguments where its machine is.
  writeFile(at(kTool),
            "#!/bin/sh\nsleep 1\nprintf '%s\\n' \"$@\" > \"$HOSTED_MACHINE/zaureg.tmp\"\n"
            "mv \"$HOSTED_MACHINE/zaureg.tmp\" \"$HOSTED_MACHINE/zaureg.args\"\n");
  ::chmod(at(kTool).c_str(), 0755);

  auto result = run();
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_FALSE(fs::exists(at("zaureg.args"))) << "the run ended before the tool did";

  auto starts = startsOf();
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0]["application"], kToolPath);
  EXPECT_EQ(starts[0]["commandLine"], std::string("\"") + kToolPath + "\" -u auto-update");
  EXPECT_EQ(starts[0]["hidden"], true);
  EXPECT_EQ(starts[0]["result"], 0);
  std::string text = log();
  EXPECT_NE(text.find("INFO: Executor.exec(): \"" + std::string(kToolPath) + "\" -u auto-update\r\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("zaureg call failed"), std::string::npos);
  EXPECT_EQ(text.find("WaitForSingleObject"), std::string::npos);

  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!fs::exists(at("zaureg.args")) && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(fs::exists(at("zaureg.args")));
  EXPECT_EQ(readFile(at("zaureg.args")), "-u\nauto-update\n");
}

TEST_F(AutoUpdateRun, AToolThatIsNoProgramIsLoggedAndTheRunSucceeds) {
  writeFile(at(kTool), "MZ\x90");
  auto result = run();
  EXPECT_EQ(result.status, 0) << result.output;
  auto starts = startsOf();
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0]["result"], 193);
  std::string text = log();
  EXPECT_NE(text.find("ERROR: Executor.exec(): CreateProcess failed with system error 193"), std::string::npos)
      << text;
  EXPECT_NE(text.find("(WinMain)]\r\n\tERROR: -- Exec: zaureg call failed\r\n"), std::string::npos) << text;
  auto events = zutest::readJournal(machine_.path());
  EXPECT_EQ(events.back()["exitCode"], 0);
}

TEST_F(AutoUpdateRun, AMissingToolIsNotStarted) {
  EXPECT_EQ(run().status, 0);
  EXPECT_TRUE(startsOf().empty());
  EXPECT_NE(log().find("INFO: Not running " + std::string(kToolPath) + " as it doesn't exist."), std::string::npos);
}

}  // namespace
