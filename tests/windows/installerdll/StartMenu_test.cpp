// Start-menu shortcuts: rebuilt for the runtime and kit that remain, deleted with their
// folder when no runtime of 1.7.0_40 or later does.
#include "windows/installerdll/StartMenu.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <span>

#include <gtest/gtest.h>

#include "platform/hosted/machine/ShellLink.h"
#include "resources/shortcut_strings.h"
#include "tests/support/TestMachine.h"
#include "windows/installerdll/utils.h"

namespace {

constexpr const char* kLogPath = "C:\\Users\\user\\AppData\\Local\\Temp\\zusched.log";
const std::string kPrograms = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs";
const std::string kZunaFolder = kPrograms + "\\Zuna";
const std::string kKitFolder = kPrograms + "\\Zuna Development Kit";
const char* const kRuntimeNames[] = {"Visit zuna.example", "Get Help", "Configure Zuna", "Check For Updates",
                                     "About Zuna"};

class StartMenuTest : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }
  void loadMachine(const std::string& keys, const std::string& machineJson = "") {
    if (!machineJson.empty()) zutest::writeFile(dir() / "machine.json", machineJson);
    zutest::writeFile(dir() / "registry.reg", "Windows Registry Editor Version 5.00\n\n" + keys);
    std::filesystem::create_directories(hostPath(kPrograms));
    load();
  }
  static std::string version(const char* product, const std::string& name, const std::string& home,
                             bool wow = false) {
    return std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\") + (wow ? "Wow6432Node\\" : "") + "Corvane\\" + product +
           "\\" + name + "]\n\"ZunaHome\"=\"" + home + "\"\n\"MicroVersion\"=\"0\"\n\n";
  }
  static std::string zre(const std::string& name, const std::string& home, bool wow = false) {
    return version("Zuna Runtime Environment", name, home, wow);
  }
  static std::string zdk(const std::string& name, const std::string& home) {
    return version("Zuna Development Kit", name, home);
  }
  // Shortcuts as an earlier install left them.
  void installShortcuts(const std::string& folder, std::initializer_list<const char*> names) {
    for (const char* name : names) zutest::writeFile(hostPath(folder + "\\" + name + ".lnk"), "old link");
  }
  void installRuntimeShortcuts() {
    installShortcuts(kZunaFolder, {kRuntimeNames[0], kRuntimeNames[1], kRuntimeNames[2], kRuntimeNames[3],
                                   kRuntimeNames[4]});
  }
  bool exists(const std::string& path) { return std::filesystem::exists(hostPath(path)); }
  hosted::ShellLink link(const std::string& folder, const std::string& name) {
    std::string text = zutest::readFile(hostPath(folder + "\\" + name + ".lnk"));
    auto read = hosted::readShellLink(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    EXPECT_TRUE(read) << name;
    return read ? read->link : hosted::ShellLink{};
  }
  std::string log() { return zutest::readFile(hostPath(kLogPath)); }
  bool logged(const std::string& text) { return log().find("INFO: " + text + "\r\n") != std::string::npos; }
  // The five runtime shortcuts point into `home`.
  void expectRuntimeShortcuts(const std::wstring& home) {
    const std::wstring icon = home + L"\\bin\\zuna.exe";
    const std::wstring panel = home + L"\\bin\\zunacpl.exe";
    struct Expected {
      const char* name;
      std::wstring target, arguments, description;
    } const expected[] = {
        {"Visit zuna.example", L"https://www.zuna.example/", L"", L"Learn more about Zuna."},
        {"Get Help", L"https://www.zuna.example/help/", L"",
         L"Find solutions to issues related to installing and running Zuna."},
        {"Configure Zuna", panel, L"", L"View or change Zuna settings."},
        {"Check For Updates", panel, L"-tab update", L"See if new Zuna updates are available."},
        {"About Zuna", panel, L"-tab about", L"View Zuna version information."},
    };
    for (const Expected& e : expected) {
      hosted::ShellLink made = link(kZunaFolder, e.name);
      EXPECT_EQ(made.target, e.target) << e.name;
      EXPECT_EQ(made.arguments, e.arguments) << e.name;
      EXPECT_EQ(made.iconLocation, icon) << e.name;
      EXPECT_EQ(made.iconIndex, 0) << e.name;
      EXPECT_EQ(made.description, e.description) << e.name;
    }
  }
};

TEST_F(StartMenuTest, ARemainingRuntimeGetsItsFiveShortcutsBack) {
  loadMachine(zre("1.8.0_25", "C:\\\\Program Files\\\\Zuna\\\\zre1.8.0_25") +
              zre("1.8", "C:\\\\Program Files\\\\Zuna\\\\zre1.8.0_25"));
  installRuntimeShortcuts();
  EXPECT_EQ(RemoveZunaFromStartMenu(0), 1);
  expectRuntimeShortcuts(L"C:\\Program Files\\Zuna\\zre1.8.0_25");
  EXPECT_FALSE(exists(kKitFolder)) << "no kit, no kit folder";
  EXPECT_TRUE(logged("AddZunaOnStartMenu - Zuna and/or 'Zuna Development Kit' directory already exists, proceed to "
                     "update shortcut items."))
      << log();
}

TEST_F(StartMenuTest, WithNothingLeftTheShortcutsAndTheirFolderGo) {
  loadMachine("");
  installRuntimeShortcuts();
  EXPECT_EQ(RemoveZunaFromStartMenu(0), 1);
  for (const char* name : kRuntimeNames) EXPECT_FALSE(exists(kZunaFolder + "\\" + name + ".lnk")) << name;
  EXPECT_FALSE(exists(kZunaFolder));
  EXPECT_TRUE(exists(kPrograms));
}

TEST_F(StartMenuTest, AUsersOwnFileKeepsTheFolder) {
  loadMachine("");
  installRuntimeShortcuts();
  zutest::writeFile(hostPath(kZunaFolder + "\\notes.txt"), "mine");
  EXPECT_EQ(RemoveZunaFromStartMenu(0), 0);
  for (const char* name : kRuntimeNames) EXPECT_FALSE(exists(kZunaFolder + "\\" + name + ".lnk")) << name;
  EXPECT_EQ(zutest::readFile(hostPath(kZunaFolder + "\\notes.txt")), "mine");
  EXPECT_TRUE(logged("RemoveZunaZDKFiles() -  RemoveDirectory api failed call failed, " + kZunaFolder +
                     " not removed from Start Menu"))
      << log();
}

// In a Japanese interface on code page 1252 the names are found by their own text; the
// log, in the code page, names the missing one readably.
TEST_F(StartMenuTest, AShortcutAlreadyGoneIsLoggedAndTheRestStillGo) {
  loadMachine("", "{\"locale\":{\"uiLanguage\":\"ja-JP\",\"codePage\":1252}}");
  installShortcuts(kZunaFolder, {"Zuna について", "ヘルプを表示"});
  EXPECT_EQ(RemoveZunaFromStartMenu(0), 1);
  EXPECT_FALSE(exists(kZunaFolder));
  EXPECT_TRUE(logged("RemoveZunaFromStartMenu() - DeleteFile(" + kZunaFolder +
                     "\\Zuna <U+306E><U+8A2D><U+5B9A>.lnk) call failed "))
      << log();
}

TEST_F(StartMenuTest, AKitBesideARuntimeGetsItsOwnFolderAndTwoShortcuts) {
  loadMachine(zre("1.8.0_40", "C:\\\\zre") + zdk("1.8.0_31", "C:\\\\Program Files\\\\Zuna\\\\zdk1.8.0_31"));
  EXPECT_EQ(AddZunaOnStartMenu(), 1);
  expectRuntimeShortcuts(L"C:\\zre");
  hosted::ShellLink docs = link(kKitFolder, "Reference Documentation");
  EXPECT_EQ(docs.target, L"https://docs.zuna.example/api/");
  EXPECT_EQ(docs.iconLocation, L"C:\\zre\\bin\\zuna.exe");
  EXPECT_EQ(docs.description, L"View developer resources including online API documentation.");
  EXPECT_EQ(docs.arguments, L"");
  hosted::ShellLink deck = link(kKitFolder, "Zuna Flight Deck");
  EXPECT_EQ(deck.target, L"C:\\Program Files\\Zuna\\zdk1.8.0_31\\bin\\zmc.exe");
  EXPECT_EQ(deck.iconLocation, L"C:\\Program Files\\Zuna\\zdk1.8.0_31\\bin\\zmc.exe");
  EXPECT_EQ(deck.description, L"Launch the Zuna Flight Deck profiling and diagnostics tools suite.");
}

TEST_F(StartMenuTest, AKitWithoutARuntimeMakesOnlyTheKitFolder) {
  loadMachine(zdk("1.8.0_31", "C:\\\\zdk"));
  EXPECT_EQ(AddZunaOnStartMenu(), 1);
  EXPECT_FALSE(exists(kZunaFolder));
  EXPECT_EQ(link(kKitFolder, "Reference Documentation").iconLocation, L"C:\\zdk\\bin\\zmc.exe")
      << "the kit's own icon stands in for the missing runtime's";
  EXPECT_EQ(link(kKitFolder, "Zuna Flight Deck").target, L"C:\\zdk\\bin\\zmc.exe");
}

TEST_F(StartMenuTest, ARuntimeBelow1_7_0_40IsDeletedNotRebuilt) {
  loadMachine(zre("1.7.0_25", "C:\\\\zre7"));
  installRuntimeShortcuts();
  EXPECT_EQ(RemoveZunaFromStartMenu(0), 1);
  EXPECT_FALSE(exists(kZunaFolder));
}

TEST_F(StartMenuTest, ARuntimeOnlyInThe32BitViewIsRebuiltIntoItsHome) {
  loadMachine(zre("1.8.0_40", "C:\\\\Program Files (x86)\\\\Zuna\\\\zre1.8.0_40\\\\", true));
  installRuntimeShortcuts();
  EXPECT_EQ(RemoveZunaFromStartMenu(0), 1);
  expectRuntimeShortcuts(L"C:\\Program Files (x86)\\Zuna\\zre1.8.0_40");
}

TEST_F(StartMenuTest, AMissingStringStopsTheRebuildKeepingWhatWasMade) {
  loadMachine(zre("1.8.0_40", "C:\\\\zre"));
  machine().faults().failNext("LoadStringW", 1814, std::to_string(IDS_SC_HELP_DESCRIPTION));
  EXPECT_EQ(AddZunaOnStartMenu(), 0);
  EXPECT_TRUE(exists(kZunaFolder + "\\Visit zuna.example.lnk"));
  for (const char* name : {"Get Help", "Configure Zuna", "Check For Updates", "About Zuna"}) {
    EXPECT_FALSE(exists(kZunaFolder + "\\" + name + ".lnk")) << name;
  }
  std::string text = log();
  EXPECT_NE(text.find("ERROR: LoadStringForShortCutItems: LoadString() failed with system error 1814"),
            std::string::npos)
      << text;
  EXPECT_TRUE(logged("Zuna shortcut Start Menu item not creatd - LoadStringForShortCutItems() failed "));
}

TEST_F(StartMenuTest, AMissingStringStopsTheRemovalKeepingTheFolder) {
  loadMachine("");
  installRuntimeShortcuts();
  machine().faults().failNext("LoadStringW", 1814, std::to_string(IDS_SC_CONFIGURE_NAME));
  EXPECT_EQ(RemoveZunaFromStartMenu(0), 0);
  EXPECT_FALSE(exists(kZunaFolder + "\\About Zuna.lnk"));
  EXPECT_FALSE(exists(kZunaFolder + "\\Visit zuna.example.lnk"));
  EXPECT_TRUE(exists(kZunaFolder + "\\Configure Zuna.lnk")) << "the removal stopped here";
  EXPECT_TRUE(exists(kZunaFolder + "\\Get Help.lnk"));
  EXPECT_NE(log().find("ERROR: LoadStringForShortCutItems: LoadString() failed with "), std::string::npos);
}

TEST_F(StartMenuTest, NothingInstalledMakesNothing) {
  loadMachine("");
  EXPECT_EQ(AddZunaOnStartMenu(), 0);
  EXPECT_FALSE(exists(kZunaFolder));
  EXPECT_TRUE(logged("There is NO ZRE or ZDK on the system"));
}

TEST_F(StartMenuTest, WithoutAProgramsMenuNothingHappens) {
  loadMachine(zre("1.8.0_40", "C:\\\\zre"), "{\"folders\":{\"commonPrograms\":null}}");
  EXPECT_EQ(AddZunaOnStartMenu(), 0);
  EXPECT_TRUE(logged("AddZunaOnStartMenu - SHGetFolderPath  call() failed"));
  EXPECT_EQ(RemoveZunaFromStartMenu(0), 0);
  EXPECT_EQ(RemoveZunaFromStartMenu(2), 0) << "no such product";
}

TEST_F(StartMenuTest, AShortcutThatCannotBeSavedIsLoggedAndTheOthersAreMade) {
  loadMachine(zre("1.8.0_40", "C:\\\\zre"));
  machine().faults().failNext("IPersistFile::Save", ERROR_ACCESS_DENIED, kZunaFolder + "\\Get Help.lnk");
  EXPECT_EQ(AddZunaOnStartMenu(), 1);
  EXPECT_FALSE(exists(kZunaFolder + "\\Get Help.lnk"));
  EXPECT_TRUE(exists(kZunaFolder + "\\About Zuna.lnk"));
  EXPECT_TRUE(logged("CreateShortCutItem() - pZunaShortCutItemFile->Save call failed"));
}

TEST_F(StartMenuTest, CreateShortCutItemReportsEachStepThatFails) {
  loadMachine("");
  const std::string folder = "C:\\menu";
  std::filesystem::create_directories(hostPath(folder));
  machine().faults().failNext("CoCreateInstance", static_cast<uint32_t>(E_OUTOFMEMORY));
  EXPECT_EQ(CreateShortCutItem(folder.c_str(), L"a", "C:\\i.exe", "C:\\t.exe", nullptr, L"d"), 0);
  EXPECT_TRUE(logged("CreateShortCutItem() - pZunaShortCutItem.CoCreateInstance call failed"));

  machine().faults().failNext("IShellLinkW::SetPath", ERROR_INVALID_NAME);
  EXPECT_EQ(CreateShortCutItem(folder.c_str(), L"a", "C:\\i.exe", "C:\\t.exe", nullptr, L"d"), 0);
  EXPECT_NE(log().find("INFO:  pZunaShortCutItem->SetPath(C:\\t.exe) call failed,  Error Code: 123\r\n"),
            std::string::npos)
      << log();
  machine().faults().failNext("IShellLinkW::SetDescription", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(CreateShortCutItem(folder.c_str(), L"a", "C:\\i.exe", "C:\\t.exe", "-x", L"the text"), 0);
  EXPECT_NE(log().find(" pZunaShortCutItem->SetDescription(the text) call failed,  Error Code: 8\r\n"),
            std::string::npos);
  EXPECT_FALSE(exists(folder + "\\a.lnk"));

  EXPECT_EQ(CreateShortCutItem(folder.c_str(), L"a", "C:\\i.exe", "C:\\t.exe", "-x", L"the text"), 1);
  hosted::ShellLink made = link(folder, "a");
  EXPECT_EQ(made.target, L"C:\\t.exe");
  EXPECT_EQ(made.arguments, L"-x");
  EXPECT_EQ(CreateShortCutItem("C:\\no such folder", L"a", "C:\\i.exe", "C:\\t.exe", nullptr, L"d"), 0);
  EXPECT_TRUE(logged("CreateShortCutItem() - pZunaShortCutItemFile->Save call failed"));
}

// What lnkinfo (Debian's liblnk-utils) says about a shortcut file on the machine.
std::string lnkinfo(const std::filesystem::path& file) {
  std::string command = "lnkinfo '" + file.string() + "' 2>&1";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string output;
  std::array<char, 512> chunk;
  while (pipe && fgets(chunk.data(), chunk.size(), pipe.get())) output += chunk.data();
  return output;
}

// A Japanese user interface on a Western (1252) system: names and descriptions are
// the resources' own text, which the code page cannot hold, and other tools read them.
TEST_F(StartMenuTest, TheShortcutsReadAsWindowsShortcutsInAnyScript) {
  if (std::system("command -v lnkinfo >/dev/null 2>&1") != 0) GTEST_SKIP() << "lnkinfo is not installed";
  loadMachine(zre("1.8.0_40", "C:\\\\Program Files\\\\Zuna\\\\zre1.8.0_40"),
              "{\"locale\":{\"uiLanguage\":\"ja-JP\",\"codePage\":1252}}");
  ASSERT_EQ(AddZunaOnStartMenu(), 1);
  std::string updates = lnkinfo(hostPath(kZunaFolder + "\\アップデートの確認.lnk"));
  EXPECT_NE(updates.find("Local path\t\t\t: C:\\Program Files\\Zuna\\zre1.8.0_40\\bin\\zunacpl.exe\n"),
            std::string::npos)
      << updates;
  EXPECT_NE(updates.find("Command line arguments\t\t: -tab update\n"), std::string::npos) << updates;
  EXPECT_NE(updates.find("Icon location\t\t\t: C:\\Program Files\\Zuna\\zre1.8.0_40\\bin\\zuna.exe\n"),
            std::string::npos)
      << updates;
  EXPECT_NE(updates.find("Description\t\t\t: Zuna の新しいアップデートがあるかどうかを確認します。\n"),
            std::string::npos)
      << updates;
  std::string help = lnkinfo(hostPath(kZunaFolder + "\\ヘルプを表示.lnk"));
  EXPECT_NE(help.find(": https://www.zuna.example/help/\n"), std::string::npos) << help;
  // All five were made.
  size_t made = std::distance(std::filesystem::directory_iterator(hostPath(kZunaFolder)),
                              std::filesystem::directory_iterator());
  EXPECT_EQ(made, 5u);
}

TEST_F(StartMenuTest, KitShortcutsGoWithTheKitSelector) {
  loadMachine("");
  installShortcuts(kKitFolder, {"Reference Documentation", "Zuna Flight Deck"});
  EXPECT_EQ(RemoveZunaFromStartMenu(1), 1);
  EXPECT_FALSE(exists(kKitFolder));
}

}  // namespace
