// Whole uninstalls on machines set up for each language the program carries, and one it
// does not: a program holds the runtime's files, another runtime remains, so the run shows
// the close-programs dialog, rebuilds the shortcuts and registers the bridge again, all in
// the machine's language.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <span>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/hosted/api/Resources.h"
#include "platform/hosted/machine/ShellLink.h"
#include "platform/hosted/machine/Text.h"
#include "resources/filesinuse.h"
#include "resources/shortcut_strings.h"
#include "tests/support/InstalledMachine.h"
#include "tests/support/Runs.h"

namespace {

namespace fs = std::filesystem;
using zutest::InstalledMachine;
using zutest::RegistrySnapshot;

constexpr const char* kMenu = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Zuna";
constexpr const char* kBridgeKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Accessibility\\ATs\\"
    "Vantor_ZunaAccessBridge";

struct MachineLocale {
  std::string uiLanguage;
  unsigned codePage;
};

const MachineLocale kSetups[] = {
    {"de-DE", 1252}, {"es-ES", 1252}, {"fr-FR", 1252}, {"it-IT", 1252}, {"sv-SE", 1252}, {"zh-TW", 950},
    {"en-US", 1252}, {"ja-JP", 932},  {"ko-KR", 949},  {"pt-BR", 1252}, {"zh-CN", 936},
    {"fi-FI", 1252},  // a language the program does not carry: English
};

// The text of a string in the language the layer picks for `uiLanguage`.
std::string text(const std::string& uiLanguage, unsigned id) {
  const hosted::LanguageResources* language = hosted::chooseLanguage(hostedExecutableResources, uiLanguage);
  for (size_t i = 0; i < language->stringCount; ++i) {
    if (language->strings[i].id == id) return language->strings[i].text;
  }
  return "<no string " + std::to_string(id) + ">";
}

struct Outcome {
  int status = -1;
  std::string output;
  std::string caption;
  std::set<std::string> shortcuts;
  std::optional<std::string> bridgeName;
  std::string aboutDescription;  // what the About shortcut says of itself
};

Outcome uninstallOn(const MachineLocale& setup) {
  zutest::ScratchDir scratch;
  InstalledMachine machine(scratch.path());
  zutest::RuntimeInstall remaining;
  remaining.version = "1.8.0_25";
  remaining.home = "C:\\Program Files\\Zuna\\zre1.8.0_25";
  remaining.buildNumber = "11";
  remaining.fullVersion = "1.8.0_25-b17";
  machine.withRuntime(remaining).withMachineJson(
      R"({"locale": {"uiLanguage": ")" + setup.uiLanguage + R"(", "codePage": )" + std::to_string(setup.codePage) +
      R"(}, "processes": [{"pid": 2000, "exe": "editor.exe", "modules": ["C:\\Windows\\System32\\deployZuna1.dll"],
          "windows": [{"title": "Notes - Editor"}]}]})");
  machine.write();
  // The typical machine's shortcuts carry English names; on a machine in another
  // language the installer named them in that language, and the run rebuilds them.
  fs::remove_all(machine.hostPath(kMenu));
  Outcome outcome;
  auto result = zutest::runUninstaller({"--machine", scratch.path().string(), "--answer", "ok"});
  outcome.status = result.status;
  outcome.output = result.output;
  for (auto& event : zutest::readJournal(scratch.path())) {
    if (event["event"] == "dialog" && outcome.caption.empty()) outcome.caption = event["caption"];
  }
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(machine.hostPath(kMenu), ec)) {
    outcome.shortcuts.insert(entry.path().filename().string());
  }
  std::string about = zutest::readFile(machine.hostPath(std::string(kMenu) + "\\" +
                                                        text(setup.uiLanguage, IDS_SC_ABOUT_NAME) + ".lnk"));
  if (auto link = hosted::readShellLink(
          std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(about.data()), about.size()))) {
    outcome.aboutDescription = hosted::wideToUtf8(link->link.description);
  }
  outcome.bridgeName = RegistrySnapshot(scratch.path()).text(kBridgeKey, "ApplicationName");
  return outcome;
}

TEST(LanguageRuns, EachLanguageShowsItsOwnDialogShortcutsAndBridgeName) {
  std::set<std::string> captions;
  std::set<std::set<std::string>> shortcutSets;
  for (const MachineLocale& setup : kSetups) {
    SCOPED_TRACE(setup.uiLanguage);
    Outcome outcome = uninstallOn(setup);
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_EQ(outcome.caption, text(setup.uiLanguage, IDS_FIU_CONFIRM_PROGRAMS_CAPTION));
    std::set<std::string> expected;
    for (unsigned id : {IDS_SC_VISIT_NAME, IDS_SC_HELP_NAME, IDS_SC_CONFIGURE_NAME, IDS_SC_UPDATE_NAME,
                        IDS_SC_ABOUT_NAME}) {
      expected.insert(text(setup.uiLanguage, id) + ".lnk");
    }
    EXPECT_EQ(outcome.shortcuts, expected);
    EXPECT_EQ(outcome.bridgeName, text(setup.uiLanguage, IDS_ZAB_APPLICATION_NAME));
    EXPECT_EQ(outcome.aboutDescription, text(setup.uiLanguage, IDS_SC_ABOUT_DESCRIPTION));
    captions.insert(outcome.caption);
    shortcutSets.insert(outcome.shortcuts);
    if (setup.uiLanguage == "en-US" || setup.uiLanguage == "fi-FI") {
      EXPECT_EQ(outcome.caption, "Zuna Setup - Close Programs");
      EXPECT_TRUE(outcome.shortcuts.count("About Zuna.lnk"));
      EXPECT_EQ(outcome.bridgeName, "Enable Zuna Access Bridge");
    }
  }
  EXPECT_EQ(captions.size(), 11u);
  EXPECT_EQ(shortcutSets.size(), 11u);
}

}  // namespace
