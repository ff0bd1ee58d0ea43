// The configuration of the run, merged from four sources in a fixed order: built-in
// defaults, the machine-wide runtime configuration file, the install configuration
// file named by INSTALLCFG and the command-line arguments; a later source overrides
// an earlier one key by key.
//
// Three configurations are kept: `working` (everything, with defaults), `backup` (the
// runtime configuration file as it was) and `export` (the sources without defaults,
// reduced to the keys that are persisted). Storage, parsing, validation and key-name
// mapping are the settings library's; this class decides what goes where, in which
// order, and how failures are reported to the user.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "settings/share/settings.h"

// Feature keys: on/off values ("Enable", "Disable", "1", "0").
enum class FeatureKey {
  INSTALL_SILENT,
  STATIC,
  AUTO_UPDATE,
  SPONSORS,
  WEB_ZUNA,
  WEB_ANALYTICS,
  OEMUPDATE,
  DYNAMICBASELINEOFF,
  NO_VERIFY,
  REPAIRMODE,
  LAUNCHEDFROMZDK,
  FAMILYUPGRADE,
  RUNONCE,
  PIP,
  REINSTALL_NO_PROMPT,
  NOSTARTMENU,
  TEST_FINAL_DIALOG,
  TEST_PROGRESS_DIALOG,
  TEST_WELCOME_DIALOG,
  TEST_CHANGE_DIALOG,
  TEST_SETUPERROR_DIALOG,
  TEST_ERRORHELP_DIALOG,
  TEST_RETRYSPLASH_DIALOG,
};

// Value keys: texts. The names of those with a leading slash are "/INSTALLDIRPUBZRE",
// "/installurl" and "/installmethod".
enum class ValueKey {
  INSTALLDIR,
  INSTALLCFG,
  INSTALLDIRPUBZRE,
  COUNTRYOVERRIDE,
  INSTALLURL,
  INSTALLMETHOD,
  SPONSORPREF,
  ADDLOCAL,
  REBOOT,
  USAGETRACKER_CFG,
  DEPLOYMENT_RULE_SET,
  MSI_CMDLINE,
  CMDLINE,
};

// Other keys: integers. LANG is "/lang".
enum class OtherKey {
  WEB_ZUNA_SECURITY_LEVEL,
  LANG,
  TEST_CONFIG_FILE_ERRORS,
};

const char* KeyName(FeatureKey key);
const char* KeyName(ValueKey key);
const char* KeyName(OtherKey key);

// The result code reported for command-line arguments that were refused.
constexpr int32_t kRejectedArgumentsCode = 3090;

// Owns a validator or key mapper handle of the settings library.
template <class Handle>
class SettingsHandleHolder {
 public:
  SettingsHandleHolder(Handle* handle, void (*destroy)(Handle*)) : handle_(handle), destroy_(destroy) {}
  ~SettingsHandleHolder() {
    if (handle_) destroy_(handle_);
  }
  SettingsHandleHolder(const SettingsHandleHolder&) = delete;
  SettingsHandleHolder& operator=(const SettingsHandleHolder&) = delete;
  Handle* get() const { return handle_; }

 private:
  Handle* handle_;
  void (*destroy_)(Handle*);
};

using ValidatorHolder = SettingsHandleHolder<settings_validator>;
using KeyMapperHolder = SettingsHandleHolder<settings_key_mapper>;

// One context of the settings library with the shared validator and key mapper and
// the flags of every import into it. Every operation that fails throws
// settings::Exception with the library's result code, except importStringIgnoringResult.
class ConfigHolder {
 public:
  // Creates the context; throws settings::Exception 200 when the common application
  // data folder cannot be found, and 200 when memory is short.
  explicit ConfigHolder(const settings_api& api);
  ~ConfigHolder();
  ConfigHolder(const ConfigHolder&) = delete;
  ConfigHolder& operator=(const ConfigHolder&) = delete;

  void setRules(const std::shared_ptr<ValidatorHolder>& validator, const std::shared_ptr<KeyMapperHolder>& keyMapper);

  // The import functions return the library's result code rather than throwing, as
  // their callers report each code to the user.
  int importFile(const std::string& path);
  int importString(const std::string& text);
  void importStringIgnoringResult(const std::string& text);

  std::string systemConfigFilePath() const;
  // The first faulty line (1-based) of the last import, or 0 when there is none.
  uint32_t firstFaultyLine() const;

  bool hasKey(const std::string& key) const;
  // Throws settings::Exception 303 when absent, 301 when without a value.
  std::string getUtf8(const std::string& key) const;
  int32_t getInteger(const std::string& key) const;
  // Throws like getUtf8; a key without value reads true.
  bool getBoolean(const std::string& key) const;
  void eraseKeyIgnoringResult(const std::string& key);

  bool allowKeysWithoutValue = false;
  bool stopOnError = true;

 private:
  settings_api api_;
  settings_context* context_;
  std::shared_ptr<ValidatorHolder> validator_;
  std::shared_ptr<KeyMapperHolder> keyMapper_;
};

class InstallConfigData {
 public:
  struct Param {
    std::string key;
    bool exported;
    bool onCmdline;
    bool passToMsi;
    // Whether the parameter is used without a value ("/s", "/q", ...).
    bool isSwitch;
  };

  // Builds the parameter table, the three contexts and the shared validator and key
  // mapper. Throws settings::Exception when the library refuses a rule, or when a
  // context cannot be created (no common application data folder: code 200).
  InstallConfigData();
  InstallConfigData(const InstallConfigData&) = delete;
  InstallConfigData& operator=(const InstallConfigData&) = delete;

  // The process's configuration, built on first use; a failed construction throws
  // and is tried again on the next call.
  static InstallConfigData& Instance();

  // Splits `commandLine` (the whole process command line, program path first),
  // converts it to UTF-8 and loads every source. Returns 0, or the result code of
  // the failed step (200 when the command line cannot be split, 313 for refused
  // arguments). Failures have been logged and, unless the run is silent, shown.
  // Throws when the defaults cannot be imported.
  int32_t LoadConfigSettings(HINSTANCE instance, const std::wstring& commandLine);
  // The same with arguments already in UTF-8; the first is the program path.
  int32_t _LoadConfigSettings(HINSTANCE instance, const std::vector<std::string>& args);

  // All queries import the defaults first if that has not happened yet.
  bool HasKey(const std::string& key);
  bool HasFeatureKey(FeatureKey key) { return HasKey(KeyName(key)); }
  bool HasValueKey(ValueKey key) { return HasKey(KeyName(key)); }
  bool HasOtherKey(OtherKey key) { return HasKey(KeyName(key)); }
  // "/s" or "-download" given, or INSTALL_SILENT enabled. Throws settings::Exception
  // 301 when INSTALL_SILENT is present without a value.
  bool IsSilent();
  // False when absent; throws settings::Exception 301 when present without a value.
  bool IsFeatureEnabled(FeatureKey key);
  // Throw settings::Exception when absent (303) or of another type (301).
  int32_t GetFeatureValue(FeatureKey key);
  std::string GetValueString(ValueKey key);  // in the ANSI code page
  int32_t GetOtherInteger(OtherKey key);

  // Logs the message for `code` with `text` and, unless silent, shows it in an error
  // box. `line` is the 1-based faulty line for 313 (0: unknown). Returns code == 0.
  static bool ReportConfigError(HINSTANCE instance, int32_t code, const std::string& text, uint32_t line,
                                bool silent);

  const std::vector<Param>& params() const { return params_; }
  ConfigHolder& working() { return *working_; }
  ConfigHolder& exportConfig() { return *export_; }
  ConfigHolder& backup() { return *backup_; }

  // The built-in defaults, one KEY=value line each.
  static const char* DefaultsText();

 private:
  void InitConfig();
  int32_t FullImport(HINSTANCE instance, ConfigHolder& config, const std::string& installCfgPath,
                     const std::vector<std::string>& args, bool silent);
  int32_t ImportRuntimeConfigFile(HINSTANCE instance, ConfigHolder& config, bool silent);
  int32_t ImportInstallConfigFile(HINSTANCE instance, ConfigHolder& config, const std::string& path, bool silent);
  int32_t ImportArgsConfigSettings(HINSTANCE instance, ConfigHolder& config, const std::vector<std::string>& args,
                                   bool silent);
  const Param* FindParam(const std::string& arg) const;
  std::string BuildCmdline(const ConfigHolder& config) const;
  std::string ConfigTable(const ConfigHolder& config, const std::string& title) const;

  std::vector<Param> params_;
  std::unique_ptr<ConfigHolder> working_;
  std::unique_ptr<ConfigHolder> export_;
  std::unique_ptr<ConfigHolder> backup_;
  bool defaultsLoaded_ = false;
};
