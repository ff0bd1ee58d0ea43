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

TEST_F(InstallConfig, SwitchesMatchWithoutCaseAndEachSilentSourceMakesTheRunSilent) {
  ASSERT_EQ(load({"/S", "/Q", "-DOWNLOAD", "-No_Override", "/H"}), 0);
  for (const char* key : {"/s", "/q", "-download", "-no_override", "/h"}) EXPECT_TRUE(config().HasKey(key)) << key;
  EXPECT_FALSE(config().HasKey("/S"));
  EXPECT_FALSE(config().HasKey("/Q"));
  EXPECT_TRUE(config().IsSilent());
  // The stored value loses the leading blank the composed text starts with.
  EXPECT_EQ(config().GetValueString(ValueKey::MSI_CMDLINE), "/q");
  for (const char* silent : {"-download", "INSTALL_SILENT=Enable", "install_silent:1"}) {
    config_.reset();
    ASSERT_EQ(load({silent}), 0);
    EXPECT_TRUE(config().IsSilent()) << silent;
  }
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

}  // namespace
