// The run's last step: the auto-update registration tool is started hidden and left
// to run; a tool that cannot be started is logged and the run still succeeds.
#include <sys/stat.h>

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
  // Runs the uninstaller and gives the one process it started.
  nlohmann::json run() {
    auto result = zutest::runUninstaller({"--machine", machine_.path().string()});
    EXPECT_EQ(result.status, 0) << result.output;
    std::vector<nlohmann::json> starts;
    for (auto& event : zutest::readJournal(machine_.path())) {
      if (event["event"] == "createProcess") starts.push_back(event);
    }
    EXPECT_EQ(starts.size(), 1u);
    return starts.empty() ? nlohmann::json() : starts[0];
  }
  fs::path at(const std::string& relative) const { return machine_.path() / relative; }
  zutest::ScratchDir machine_;
};

TEST_F(AutoUpdateRun, TheToolIsStartedHiddenWithItsArgumentsAndNotWaitedFor) {
  // The tool takes a second before it leaves its mark; the run does not wait for it.
  writeFile(at(kTool), "#!/bin/sh\nsleep 1\ntouch \"$HOSTED_MACHINE/zaureg.done\"\n");
  ::chmod(at(kTool).c_str(), 0755);
  auto start = run();
  EXPECT_FALSE(fs::exists(at("zaureg.done"))) << "the run ended before the tool did";
  EXPECT_EQ(start["application"], kToolPath);
  EXPECT_EQ(start["commandLine"], std::string("\"") + kToolPath + "\" -u auto-update");
  EXPECT_EQ(start["hidden"], true);
  EXPECT_EQ(start["result"], 0);
  std::string text = readFile(at(kLog));
  EXPECT_EQ(text.find("zaureg call failed"), std::string::npos) << text;
  EXPECT_EQ(text.find("WaitForSingleObject"), std::string::npos);
}

TEST_F(AutoUpdateRun, AToolThatIsNoProgramIsLoggedAndTheRunSucceeds) {
  writeFile(at(kTool), "MZ\x90");
  EXPECT_EQ(run()["result"], 193);
  std::string text = readFile(at(kLog));
  EXPECT_NE(text.find("ERROR: Executor.exec(): CreateProcess failed with system error 193"), std::string::npos)
      << text;
  EXPECT_NE(text.find("(WinMain)]\r\n\tERROR: -- Exec: zaureg call failed\r\n"), std::string::npos) << text;
  EXPECT_EQ(zutest::readJournal(machine_.path()).back()["exitCode"], 0);
}

}  // namespace
