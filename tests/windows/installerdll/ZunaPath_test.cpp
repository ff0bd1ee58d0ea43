// The command-path links where a whole run does not show them: the junction with copies
// that Windows before Vista gets, and the failures of protecting the folder and of the
// broadcast.
#include "windows/installerdll/ZunaPath.h"

#include <gtest/gtest.h>

#include "common/share/Errors.h"
#include "tests/support/InstalledMachine.h"
#include "windows/common/FileUtils.h"
#include "windows/common/SysInfo.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kLinks = "C:\\ProgramData\\Vantor\\Zuna\\zunapath";
const std::string kHome40 = "C:\\Program Files\\Zuna\\zre1.8.0_40";

// The release being removed beside 1.8.0_40, which the links are made for.
class ZunaPathTest : public zutest::InstalledMachineTest {
 protected:
  void loadOn(const std::string& osVersion) {
    installed.withRuntime(zutest::runtimeInstall("1.8.0_40", "", "1.8.0_40-b13"))
        .withPath("C:\\Windows")
        .withMachineJson(R"({"os":{"version":")" + osVersion + R"("}})");
    loadInstalled();
    SysInfo::initialize();  // the Windows generation is kept for the process; this machine's may differ
  }
};

TEST_F(ZunaPathTest, BeforeVistaSetUpCopiesTheLaunchersBehindAProtectedJunction) {
  loadOn("5.1");
  // The target is named by the clock, skipping names taken already.
  DWORD ticks = GetTickCount();
  for (DWORD i = 0; i < 3; ++i) fs::create_directories(hostPath(std::string(kLinks) + "_target_" + std::to_string(ticks + i)));
  SetUpZunapath();
  ASSERT_TRUE(FileUtils::isLink(kLinks));
  std::string target = FileUtils::getLinkTarget(kLinks), prefix = std::string(kLinks) + "_target_";
  ASSERT_EQ(target.rfind(prefix, 0), 0u) << target;
  EXPECT_GE(std::stoul(target.substr(prefix.size())), ticks + 3ul);
  EXPECT_LT(std::stoul(target.substr(prefix.size())), ticks + 1000ul);
  for (const char* launcher : {"zuna.exe", "zunaw.exe", "zunaws.exe"}) {
    EXPECT_EQ(zutest::readFile(hostPath(target + "\\" + launcher)), std::string(launcher) + " of 1.8.0_40");
  }
  auto security = zutest::readJournal(dir(), "setSecurity");
  ASSERT_EQ(security.size(), 2u);
  EXPECT_EQ(security[0]["path"], kLinks);
  EXPECT_EQ(security[1]["path"], target);
  EXPECT_EQ(security[1]["sddl"], "D:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;WD)");
  EXPECT_NE(log().find("zunapath targetDir: " + target), std::string::npos);

  // Set up again: the old junction and its copies go first.
  SetUpZunapath();
  std::string second = FileUtils::getLinkTarget(kLinks);
  EXPECT_FALSE(fs::exists(hostPath(target)) && target != second);
  DeleteSymlinksAndzunapathDir();
  EXPECT_FALSE(fs::exists(fs::symlink_status(hostPath(kLinks))));
  EXPECT_FALSE(fs::exists(hostPath(second)));
}

TEST_F(ZunaPathTest, AFolderThatCannotBeProtectedGetsNoLinksAndAFailedBroadcastIsIgnored) {
  loadOn("10.0");
  for (const char* function : {"ConvertStringSecurityDescriptorToSecurityDescriptor", "SetFileSecurityA"}) {
    machine().faults().failNext(function, ERROR_ACCESS_DENIED);
    try {
      SetUpZunapath();
      ADD_FAILURE() << function;
    } catch (const SysError& e) {
      EXPECT_NE(std::string(e.what()).find("[5]"), std::string::npos) << e.what();
    }
    EXPECT_EQ(fs::read_symlink(hostPath(std::string(kLinks) + "\\zuna.exe")).string().find("1.8.0_40"), std::string::npos);
  }
  EXPECT_TRUE(zutest::readJournal(dir(), "setSecurity").empty());
  EXPECT_THROW(setFilePersissions("C:\\Missing"), SysError);
  // A failed broadcast is logged and ignored.
  machine().faults().failNext("SendMessageTimeoutW", ERROR_TIMEOUT);
  EXPECT_NO_THROW(AddZunapathToPath());
  EXPECT_NE(log().find("SendMessageTimeout failed with system error 1460"), std::string::npos) << log();
}

}  // namespace
