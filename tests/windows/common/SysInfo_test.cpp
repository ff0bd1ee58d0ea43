#include "windows/common/SysInfo.h"

#include <windows.h>

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/TestMachine.h"

namespace {

TEST(SysInfoGeneration, ClassifiesMajorMinorVersions) {
  const int cases[][3] = {{5, 0, 0}, {5, 1, 1}, {5, 2, 1}, {6, 0, 2}, {6, 1, 3}, {6, 2, 4}, {6, 3, 5}, {10, 0, 5}, {0, 0, 0}};
  for (const auto& c : cases) EXPECT_EQ(SysInfo::classifyOsVersion(c[0], c[1]), c[2]) << c[0] << "." << c[1];
}

class SysInfoTest : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }
  void loadWith(const std::string& json) {
    zutest::writeFile(dir() / "machine.json", json);
    load();
    SysInfo::initialize();
  }
};

TEST_F(SysInfoTest, SixPointTwoIsWindows8AndAFailedQueryIsGenerationZero) {
  loadWith(R"({"os": {"version": "6.2"}})");
  EXPECT_EQ(SysInfo::osVersion(), 4);
  machine().faults().failNext("GetVersionExA", ERROR_INVALID_PARAMETER);
  SysInfo::initialize();
  EXPECT_EQ(SysInfo::osVersion(), 0);
  EXPECT_NE(log().find("SysInfo::initialize(GetVersionEx) failed with system error 87"), std::string::npos);
}

TEST_F(SysInfoTest, ArchitectureAndBitnessDecideTheEnvironmentRegistryViewAndWow64Folder) {
  loadWith("{}");
  EXPECT_TRUE(SysInfo::isX64OS());
  EXPECT_FALSE(SysInfo::is32BitEnvironment());
  EXPECT_EQ(SysInfo::registryAccess(false), 0x20119u);
  EXPECT_EQ(SysInfo::registryAccess(true), 0x20106u);
  machine().faults().failNext("IsWow64Process", ERROR_ACCESS_DENIED);
  EXPECT_THROW(SysInfo::isWow64Process(), std::runtime_error);

  hosted::Machine::unload();
  loadWith(R"({"process": {"bitness": 32}})");
  EXPECT_TRUE(SysInfo::isWow64Process());
  EXPECT_TRUE(SysInfo::is32BitEnvironment());
  EXPECT_EQ(SysInfo::registryAccess(false), 0x20219u);
  EXPECT_EQ(SysInfo::registryAccess(true), 0x20206u);

  // Itanium is no x64, and a system before XP lacks the WOW64 query.
  hosted::Machine::unload();
  loadWith(R"({"os": {"version": "5.0", "architecture": "ia64"}})");
  EXPECT_FALSE(SysInfo::isX64OS());
  EXPECT_FALSE(SysInfo::isWow64Process());
  EXPECT_TRUE(SysInfo::is32BitEnvironment());
  // A 32-bit system has no WOW64 folder.
  hosted::Machine::unload();
  loadWith(R"({"os": {"architecture": "x86"}, "process": {"bitness": 32}})");
  EXPECT_THROW(SysInfo::getSystemWow64Dir(), std::runtime_error);
  EXPECT_NE(log().find("GetSystemWow64Directory failed with system error 120"), std::string::npos);
}

// The patch caches by bitness show in the runs that empty them.
TEST_F(SysInfoTest, FoldersComeWithoutTrailingSeparators) {
  loadWith(R"({"folders": {"commonAppData": "C:\\ProgramData\\"}})");
  EXPECT_EQ(SysInfo::getCommonAppDataDir(), "C:\\ProgramData");
  EXPECT_EQ(SysInfo::getPatchCache(64), "C:\\ProgramData\\Vantor\\Zuna\\installcache_x64");
}

TEST_F(SysInfoTest, AProgramPathLongerThanMaxPathIsReturnedWhole) {
  std::string image = "C:\\" + std::string(300, 'p') + "\\uninstaller.exe";
  loadWith(R"({"process": {"image": ")" + std::string("C:\\\\") + std::string(300, 'p') + R"(\\uninstaller.exe"}})");
  EXPECT_EQ(SysInfo::getProcessModulePath(), image);
}

}  // namespace
