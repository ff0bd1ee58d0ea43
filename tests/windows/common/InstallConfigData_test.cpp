// The install configuration: defaults, the merge of the runtime file, the install file
// and the arguments, argument matching, the composed command lines, the export, and the
// reports of bad input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/TestMachine.h"
#include "windows/common/InstallConfigData.h"

namespace {

using zutest::writeFile;

const char* kRuntimeFile = "C:\\ProgramData\\Vantor\\Zuna\\zuna.settings.cfg";

class InstallConfig : public zutest::MachineTest {
 protected:
  int32_t load(std::vector<std::string> args) {
    args.insert(args.begin(), "C:\\Windows\\Temp\\uninstaller.exe");
    return config().LoadConfigSettings(nullptr, toCommandLine(args));
  }
  InstallConfigData& config() {
    if (!config_) config_ = std::make_unique<InstallConfigData>();
    return *config_;
  }
  std::string working(const std::string& key) { return valueOf(config().working(), key); }
  std::string log() { return zutest::readFile(hostPath("C:\\Users\\user\\AppData\\Local\\Temp\\zusched.log")); }
  static std::string valueOf(ConfigHolder& holder, const std::string& key) {
    if (!holder.hasKey(key)) return "<absent>";
    try {
      return holder.getUtf8(key);
    } catch (const settings::Exception&) {
      return "<no value>";
    }
  }
  std::vector<nlohmann::json> messageBoxes() {
    std::vector<nlohmann::json> boxes;
    for (auto& event : zutest::readJournal(dir())) {
      if (event["event"] == "messageBox") boxes.push_back(event);
    }
    return boxes;
  }
  static std::wstring toCommandLine(const std::vector<std::string>& args) {
    std::wstring line;
    for (const auto& arg : args) {
      if (!line.empty()) line += L' ';
      line += L'"';
      for (char c : arg) line += static_cast<wchar_t>(static_cast<unsigned char>(c));
      line += L'"';
    }
    return line;
  }

  std::unique_ptr<InstallConfigData> config_;
};

TEST_F(InstallConfig, DefaultsAloneEnableAutoUpdateAndLeaveTheRunNotSilent) {
  EXPECT_TRUE(config().IsFeatureEnabled(FeatureKey::AUTO_UPDATE));
  EXPECT_FALSE(config().IsFeatureEnabled(FeatureKey::INSTALL_SILENT));
  EXPECT_FALSE(config().IsFeatureEnabled(FeatureKey::NOSTARTMENU));
  EXPECT_FALSE(config().IsSilent());

  ASSERT_EQ(load({}), 0);
  EXPECT_EQ(config().GetFeatureValue(FeatureKey::SPONSORS), 1);
  EXPECT_EQ(config().GetFeatureValue(FeatureKey::OEMUPDATE), 0);
  EXPECT_THROW(config().GetValueString(ValueKey::INSTALLDIR), settings::Exception);
  // Defaults reach neither the composed command line nor the export nor the backup.
  EXPECT_EQ(working("CMDLINE"), "<absent>");
  EXPECT_EQ(working("MSI_CMDLINE"), "<absent>");
  for (const auto& param : config().params()) {
    EXPECT_FALSE(config().exportConfig().hasKey(param.key)) << param.key;
    EXPECT_FALSE(config().backup().hasKey(param.key)) << param.key;
  }
  EXPECT_TRUE(messageBoxes().empty());
}

TEST_F(InstallConfig, SwitchesMatchWithoutCaseAndAreStoredUnderTheirOwnNames) {
  ASSERT_EQ(load({"/S", "/Q", "-DOWNLOAD", "-No_Override", "/H"}), 0);
  for (const char* key : {"/s", "/q", "-download", "-no_override", "/h"}) EXPECT_TRUE(config().HasKey(key)) << key;
  EXPECT_FALSE(config().HasKey("/S"));
  EXPECT_FALSE(config().HasKey("/Q"));
  EXPECT_TRUE(config().IsSilent());
  // The stored value loses the leading blank the composed text starts with.
  EXPECT_EQ(config().GetValueString(ValueKey::MSI_CMDLINE), "/q");
}

TEST_F(InstallConfig, EachSilentSourceMakesTheRunSilent) {
  ASSERT_EQ(load({"-download"}), 0);
  EXPECT_TRUE(config().IsSilent());
  config_.reset();
  ASSERT_EQ(load({"INSTALL_SILENT=Enable"}), 0);
  EXPECT_TRUE(config().IsSilent());
  config_.reset();
  ASSERT_EQ(load({"install_silent:1"}), 0);
  EXPECT_TRUE(config().IsSilent());
}

TEST_F(InstallConfig, UnsupportedArgumentsFailTogetherInOneBox) {
  // A switch with a value, a feature without one, an unknown name, and a line break
  // that would carry a second key in.
  EXPECT_EQ(load({"/s=1", "INSTALL_SILENT", "BOGUS=1", "AUTO_UPDATE=Enable\nREBOOT=Force", "/q"}), 313);
  EXPECT_FALSE(config().HasKey("/s"));
  EXPECT_FALSE(config().HasKey("BOGUS"));
  EXPECT_FALSE(config().HasKey("REBOOT"));
  // The good argument before the failure report stays.
  EXPECT_TRUE(config().HasKey("/q"));
  auto boxes = messageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  std::string text = boxes[0]["text"];
  EXPECT_NE(text.find("\"/s=1\";\"INSTALL_SILENT\";\"BOGUS=1\";"), std::string::npos) << text;
  EXPECT_EQ(boxes[0]["caption"], "Zuna Uninstall - Configuration Error");
  EXPECT_EQ(boxes[0]["style"], 0x10);
}

TEST_F(InstallConfig, RefusedArgumentsShowNoBoxInASilentRun) {
  EXPECT_EQ(load({"/s", "BOGUS=1"}), 313);
  EXPECT_TRUE(messageBoxes().empty());
}

TEST_F(InstallConfig, ValuesAreCheckedByTheirRules) {
  struct Case {
    const char* arg;
    int32_t code;
  };
  const Case cases[] = {
      {"AUTO_UPDATE=Disable", 0},
      {"AUTO_UPDATE=disable", 313},  // fixed values are case-sensitive
      {"WEB_ZUNA_SECURITY_LEVEL=VH", 0},
      {"WEB_ZUNA_SECURITY_LEVEL=5", 313},
      {"/lang=1033", 0},
      {"/LANG=english", 200},  // the library fails a number it cannot convert as unexpected
      {"INSTALLDIR=C:\\Zuna", 0},
      {"INSTALLDIR=relative\\dir", 313},
      {"COUNTRYOVERRIDE=DE", 0},
  };
  for (const Case& c : cases) {
    config_.reset();
    EXPECT_EQ(load({c.arg}), c.code) << c.arg;
  }
  config_.reset();
  ASSERT_EQ(load({"auto_update=Disable", "Web_Zuna_Security_Level:VH", "/LANG=1033"}), 0);
  EXPECT_EQ(config().GetFeatureValue(FeatureKey::AUTO_UPDATE), 0);
  EXPECT_FALSE(config().IsFeatureEnabled(FeatureKey::AUTO_UPDATE));
  EXPECT_EQ(config().GetOtherInteger(OtherKey::WEB_ZUNA_SECURITY_LEVEL), 4);
  EXPECT_EQ(config().GetOtherInteger(OtherKey::LANG), 1033);
}

TEST_F(InstallConfig, PassThroughArgumentsMakeTheMsiCommandLine) {
  ASSERT_EQ(load({"ADDLOCAL=ALL", "/q", "/l", "C:\\log.txt", "REBOOT=ReallySuppress"}), 0);
  EXPECT_EQ(working("MSI_CMDLINE"), "ADDLOCAL=ALL /q /l C:\\log.txt REBOOT=ReallySuppress");
  EXPECT_EQ(working("ADDLOCAL"), "ALL");
  EXPECT_EQ(working("/q"), "<no value>");
  EXPECT_EQ(working("/l"), "<absent>");

  config_.reset();
  EXPECT_EQ(load({"/q", "/l"}), 313);
}

TEST_F(InstallConfig, CmdlineListsTheGivenCommandLineKeysInTableOrder) {
  ASSERT_EQ(load({"INSTALLDIR=C:\\Zuna", "REINSTALL_NO_PROMPT=1", "AUTO_UPDATE=Disable", "COUNTRYOVERRIDE=DE",
                  "WEB_ZUNA_SECURITY_LEVEL=H"}),
            0);
  EXPECT_EQ(working("CMDLINE"),
            "AUTO_UPDATE=\"Disable\" REINSTALL_NO_PROMPT=\"1\" INSTALLDIR=\"C:\\Zuna\" WEB_ZUNA_SECURITY_LEVEL=\"H\"");
  // The export keeps only persisted keys.
  EXPECT_TRUE(config().exportConfig().hasKey("AUTO_UPDATE"));
  EXPECT_FALSE(config().exportConfig().hasKey("INSTALLDIR"));
  EXPECT_FALSE(config().exportConfig().hasKey("REINSTALL_NO_PROMPT"));
}

TEST_F(InstallConfig, InstallFileOverridesRuntimeFileAndArgumentsOverrideBoth) {
  writeFile(hostPath(kRuntimeFile), "AUTO_UPDATE=Disable\nSPONSORS=Disable\nWEB_ANALYTICS=Disable\n");
  writeFile(hostPath("C:\\cfg\\install.cfg"), "SPONSORS=Enable\nWEB_ANALYTICS=Enable\nINSTALLDIR=C:\\From File\n");
  ASSERT_EQ(load({"INSTALLCFG=C:\\cfg\\install.cfg", "WEB_ANALYTICS=Disable"}), 0);
  EXPECT_EQ(working("AUTO_UPDATE"), "Disable");
  EXPECT_EQ(working("SPONSORS"), "Enable");
  EXPECT_EQ(working("WEB_ANALYTICS"), "Disable");
  EXPECT_EQ(config().GetValueString(ValueKey::INSTALLDIR), "C:\\From File");
  EXPECT_EQ(config().GetValueString(ValueKey::INSTALLCFG), "C:\\cfg\\install.cfg");
  // The backup is the runtime file alone.
  EXPECT_EQ(valueOf(config().backup(), "SPONSORS"), "Disable");
  EXPECT_FALSE(config().backup().hasKey("INSTALLDIR"));
  EXPECT_EQ(valueOf(config().exportConfig(), "SPONSORS"), "Enable");
}

TEST_F(InstallConfig, FeatureWithoutValueInTheInstallFileMakesTheSilentQueryThrow) {
  writeFile(hostPath("C:\\cfg\\install.cfg"), "INSTALL_SILENT\n");
  ASSERT_EQ(load({"INSTALLCFG=C:\\cfg\\install.cfg"}), 0);
  try {
    config().IsSilent();
    FAIL() << "IsSilent returned";
  } catch (const settings::Exception& e) {
    EXPECT_EQ(e.code, 301);
  }
}

TEST_F(InstallConfig, KeyWithoutValueInTheRuntimeFileFailsTheBackupOnly) {
  // Accepted in `working` once the arguments are in; the backup copies the file as it is
  // stored, where a key without value is a faulty line, so the load fails there.
  writeFile(hostPath(kRuntimeFile), "AUTO_UPDATE=Disable\nSPONSORS\n");
  EXPECT_EQ(load({"/s"}), 313);
  EXPECT_EQ(working("SPONSORS"), "<no value>");
  EXPECT_FALSE(config().backup().hasKey("SPONSORS"));
  EXPECT_FALSE(config().backup().hasKey("AUTO_UPDATE"));
  EXPECT_NE(log().find("ERROR: Runtime configuration file import failed with 313"), std::string::npos) << log();
  EXPECT_NE(log().find("ERROR: Error occurred while importing runtime file for backup.Exiting installer."),
            std::string::npos);
}

TEST_F(InstallConfig, MissingRuntimeFileIsNoError) {
  ASSERT_EQ(load({"/s"}), 0);
  for (const auto& param : config().params()) EXPECT_FALSE(config().backup().hasKey(param.key)) << param.key;
}

TEST_F(InstallConfig, FaultyRuntimeFilesFailTheLoadWithTheirCodes) {
  struct Case {
    std::string content;
    int32_t code;
    std::string message;
  };
  const Case cases[] = {
      {"AUTO_UPDATE=Enable\nUNKNOWN_KEY=1\n", 313,
       "The configuration file C:\\ProgramData\\Vantor\\Zuna\\zuna.settings.cfg has an error on line 2."},
      {"AUTO_UPDATE=\xff\n", 314, "is not valid UTF-8 text"},
      {std::string(1 << 20, '#'), 315, "is too large"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    writeFile(hostPath(kRuntimeFile), c.content);
    size_t boxesBefore = messageBoxes().size();
    config_.reset();
    EXPECT_EQ(load({}), c.code);
    // Nothing of the faulty file was merged.
    EXPECT_TRUE(config().IsFeatureEnabled(FeatureKey::AUTO_UPDATE));
    auto boxes = messageBoxes();
    ASSERT_EQ(boxes.size(), boxesBefore + 1);
    std::string text = boxes.back()["text"];
    EXPECT_NE(text.find(c.message), std::string::npos) << text;
  }
}

TEST_F(InstallConfig, MissingInstallFileIsReportedWithItsPath) {
  EXPECT_EQ(load({"INSTALLCFG=C:\\absent\\install.cfg"}), 304);
  auto boxes = messageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0]["text"], "The configuration file C:\\absent\\install.cfg could not be opened.");
}

TEST_F(InstallConfig, UnknownCodesAndLogOnlyCodesShowNoBox) {
  EXPECT_TRUE(InstallConfigData::ReportConfigError(nullptr, 0, "x", 0, false));
  EXPECT_FALSE(InstallConfigData::ReportConfigError(nullptr, 999, "x", 0, false));
  EXPECT_FALSE(InstallConfigData::ReportConfigError(nullptr, 300, "x", 0, false));
  EXPECT_TRUE(messageBoxes().empty());
  // A long text is cut to the message buffer, not written past it.
  EXPECT_FALSE(InstallConfigData::ReportConfigError(nullptr, 3090, std::string(5000, 'a'), 0, false));
  auto boxes = messageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(std::string(boxes[0]["text"]).size(), 1023u);
}

class InstallConfigWithoutFolder : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }
};

TEST_F(InstallConfigWithoutFolder, ConstructionFailsWithoutCommonApplicationData) {
  writeFile(dir() / "machine.json", R"({"folders": {"commonAppData": null}})");
  load();
  try {
    InstallConfigData config;
    FAIL() << "constructed";
  } catch (const settings::Exception& e) {
    EXPECT_EQ(e.code, 200);
  }
}

}  // namespace
