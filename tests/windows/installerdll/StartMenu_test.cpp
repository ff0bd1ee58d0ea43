// Start-menu shortcuts when a step fails: a missing string, a shortcut that cannot be
// saved, each call of the shell link that fails. The shortcuts themselves are checked by
// whole runs.
#include "windows/installerdll/StartMenu.h"

#include <gtest/gtest.h>

#include "resources/shortcut_strings.h"
#include "tests/support/InstalledMachine.h"

namespace {

const std::string kMenu = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Zuna";

// What the release left (its five shortcuts, its keys gone), and 1.8.0_40 when `remaining`.
class StartMenuTest : public zutest::InstalledMachineTest {
 protected:
  void loadWith(bool remaining) {
    installed.withoutReleaseKeys();
    if (remaining) installed.withRuntime(zutest::runtimeInstall("1.8.0_40"));
    loadInstalled();
    if (remaining) std::filesystem::remove_all(hostPath(kMenu));  // to be made again
  }
  bool exists(const std::string& name) { return std::filesystem::exists(hostPath(kMenu + "\\" + name + ".lnk")); }
  bool logged(const std::string& text) { return log().find("INFO: " + text + "\r\n") != std::string::npos; }
};

TEST_F(StartMenuTest, AMissingStringStopsTheRebuildAndAShortcutThatCannotBeSavedDoesNot) {
  loadWith(true);
  machine().faults().failNext("LoadStringW", 1814, std::to_string(IDS_SC_HELP_DESCRIPTION));
  EXPECT_EQ(AddZunaOnStartMenu(), 0);
  EXPECT_TRUE(exists("Visit zuna.example"));
  for (const char* name : {"Get Help", "Configure Zuna", "Check For Updates", "About Zuna"}) EXPECT_FALSE(exists(name)) << name;
  EXPECT_NE(log().find("ERROR: LoadStringForShortCutItems: LoadString() failed with system error 1814"), std::string::npos);
  EXPECT_TRUE(logged("Zuna shortcut Start Menu item not creatd - LoadStringForShortCutItems() failed ")) << log();
  // A shortcut that cannot be saved is logged, and the others are made.
  machine().faults().failNext("IPersistFile::Save", ERROR_ACCESS_DENIED, kMenu + "\\Get Help.lnk");
  EXPECT_EQ(AddZunaOnStartMenu(), 1);
  EXPECT_FALSE(exists("Get Help"));
  EXPECT_TRUE(exists("About Zuna"));
  EXPECT_TRUE(logged("CreateShortCutItem() - pZunaShortCutItemFile->Save call failed"));
}

TEST_F(StartMenuTest, AMissingStringStopsTheRemovalKeepingTheFolder) {
  loadWith(false);
  machine().faults().failNext("LoadStringW", 1814, std::to_string(IDS_SC_CONFIGURE_NAME));
  EXPECT_EQ(RemoveZunaFromStartMenu(0), 0);
  EXPECT_FALSE(exists("About Zuna"));
  EXPECT_FALSE(exists("Visit zuna.example"));
  EXPECT_TRUE(exists("Configure Zuna")) << "the removal stopped here";
  EXPECT_TRUE(exists("Get Help"));
  EXPECT_NE(log().find("ERROR: LoadStringForShortCutItems: LoadString() failed with "), std::string::npos);
}

TEST_F(StartMenuTest, CreateShortCutItemReportsEachStepThatFails) {
  loadWith(false);
  const std::string folder = "C:\\menu";
  std::filesystem::create_directories(hostPath(folder));
  struct Failure {
    const char* function;
    uint32_t error;
    std::string record;
  } const failures[] = {
      {"CoCreateInstance", static_cast<uint32_t>(E_OUTOFMEMORY), "CreateShortCutItem() - pZunaShortCutItem.CoCreateInstance call failed"},
      {"IShellLinkW::SetPath", ERROR_INVALID_NAME, " pZunaShortCutItem->SetPath(C:\\t.exe) call failed,  Error Code: 123\r\n"},
      {"IShellLinkW::SetArguments", ERROR_INVALID_NAME, " pZunaShortCutItem->SetArguments(-x) call failed,  Error Code: 123\r\n"},
      {"IShellLinkW::SetIconLocation", ERROR_INVALID_NAME, " pZunaShortCutItem->SetIconLocation(C:\\i.exe) call failed,  Error Code: 123\r\n"},
      {"IShellLinkW::SetDescription", ERROR_NOT_ENOUGH_MEMORY, " pZunaShortCutItem->SetDescription(the text) call failed,  Error Code: 8\r\n"},
  };
  for (const Failure& f : failures) {
    machine().faults().failNext(f.function, f.error);
    EXPECT_EQ(CreateShortCutItem(folder.c_str(), L"a", "C:\\i.exe", "C:\\t.exe", "-x", L"the text"), 0) << f.function;
    EXPECT_TRUE(logged(f.record.substr(0, f.record.find('\r')))) << log();
  }
  EXPECT_FALSE(std::filesystem::exists(hostPath(folder + "\\a.lnk")));
  EXPECT_EQ(CreateShortCutItem(folder.c_str(), L"a", "C:\\i.exe", "C:\\t.exe", nullptr, L"d"), 1);
  EXPECT_TRUE(std::filesystem::exists(hostPath(folder + "\\a.lnk")));
  EXPECT_EQ(CreateShortCutItem("C:\\no such folder", L"a", "C:\\i.exe", "C:\\t.exe", nullptr, L"d"), 0);
  EXPECT_TRUE(logged("CreateShortCutItem() - pZunaShortCutItemFile->Save call failed"));
}

}  // namespace
