#include "windows/common/InstallConfigData.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <initializer_list>
#include <iterator>

#include "common/share/Errors.h"
#include "common/share/tstrings.h"
#include "resources/config_strings.h"
#include "windows/common/AllUtils.h"
#include "windows/common/Logger.h"

namespace {

const char* const kFeatureKeys[] = {
    "INSTALL_SILENT",      "STATIC",           "AUTO_UPDATE",          "SPONSORS",
    "WEB_ZUNA",            "WEB_ANALYTICS",    "OEMUPDATE",            "DYNAMICBASELINEOFF",
    "NO_VERIFY",           "REPAIRMODE",       "LAUNCHEDFROMZDK",      "FAMILYUPGRADE",
    "RUNONCE",             "PIP",              "REINSTALL_NO_PROMPT",  "NOSTARTMENU",
    "TEST_FINAL_DIALOG",   "TEST_PROGRESS_DIALOG", "TEST_WELCOME_DIALOG", "TEST_CHANGE_DIALOG",
    "TEST_SETUPERROR_DIALOG", "TEST_ERRORHELP_DIALOG", "TEST_RETRYSPLASH_DIALOG",
};

const char* const kValueKeys[] = {
    "INSTALLDIR", "INSTALLCFG", "/INSTALLDIRPUBZRE", "COUNTRYOVERRIDE",  "/installurl",         "/installmethod",
    "SPONSORPREF", "ADDLOCAL",  "REBOOT",            "USAGETRACKER_CFG", "DEPLOYMENT_RULE_SET", "MSI_CMDLINE",
    "CMDLINE",
};

const char* const kOtherKeys[] = {"WEB_ZUNA_SECURITY_LEVEL", "/lang", "TEST_CONFIG_FILE_ERRORS"};

// Value keys whose values are directory names.
const char* const kDirectoryKeys[] = {"INSTALLDIR", "INSTALLCFG", "/INSTALLDIRPUBZRE", "USAGETRACKER_CFG",
                                      "DEPLOYMENT_RULE_SET"};

constexpr uint32_t kCaseSensitive = 1;

const settings_fixed_value kFeatureValues[] = {
    {"Enable", 1, kCaseSensitive},
    {"Disable", 0, kCaseSensitive},
    {"1", 1, kCaseSensitive},
    {"0", 0, kCaseSensitive},
};

const settings_fixed_value kSecurityLevels[] = {
    {"1", 1, kCaseSensitive}, {"2", 2, kCaseSensitive}, {"3", 3, kCaseSensitive},  {"4", 4, kCaseSensitive},
    {"L", 1, kCaseSensitive}, {"M", 2, kCaseSensitive}, {"H", 3, kCaseSensitive}, {"VH", 4, kCaseSensitive},
};

const char kDefaults[] =
    "INSTALL_SILENT=Disable\n"
    "STATIC=Disable\n"
    "AUTO_UPDATE=Enable\n"
    "WEB_ANALYTICS=Enable\n"
    "SPONSORS=Enable\n"
    "OEMUPDATE=Disable\n";

constexpr int kCaptionBufferSize = 256;
constexpr int kMessageBufferSize = 1024;

// A message format with its %s filled from `inserts` in order and %% made %.
std::wstring fillInserts(const WCHAR* format, std::initializer_list<std::wstring> inserts) {
  std::wstring out;
  auto next = inserts.begin();
  for (const WCHAR* c = format; *c; ++c) {
    if (c[0] == L'%' && c[1] == L's') {
      if (next != inserts.end()) out += *next++;
      ++c;
    } else if (c[0] == L'%' && c[1] == L'%') {
      out += L'%';
      ++c;
    } else {
      out += *c;
    }
  }
  return out;
}

void check(int code) {
  if (code != settings::kOk) throw settings::Exception(code);
}

std::string asciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// Frees the array CommandLineToArgvW returns.
class ArgvHolder {
 public:
  explicit ArgvHolder(LPWSTR* argv) : argv_(argv) {}
  ~ArgvHolder() {
    if (argv_) LocalFree(argv_);
  }
  ArgvHolder(const ArgvHolder&) = delete;
  ArgvHolder& operator=(const ArgvHolder&) = delete;
  LPWSTR* get() const { return argv_; }

 private:
  LPWSTR* argv_;
};

// Builders of the settings library, destroyed on every path of the constructor.
template <class Builder>
class BuilderHolder {
 public:
  BuilderHolder(Builder* builder, void (*destroy)(Builder*)) : builder_(builder), destroy_(destroy) {
    if (!builder_) throw settings::Exception(settings::kUnexpected);
  }
  ~BuilderHolder() { destroy_(builder_); }
  BuilderHolder(const BuilderHolder&) = delete;
  BuilderHolder& operator=(const BuilderHolder&) = delete;
  Builder* get() const { return builder_; }

 private:
  Builder* builder_;
  void (*destroy_)(Builder*);
};

// The message resource for each result code; 0 for codes without a message.
UINT messageIdFor(int32_t code) {
  switch (code) {
    case 200: return IDS_CONFIG_UNEXPECTED;
    case 300: return IDS_CONFIG_MISSING_ARGUMENT;
    case 304: return IDS_CONFIG_CANNOT_OPEN;
    case 305: return IDS_CONFIG_NOT_FOUND;
    case 306: return IDS_CONFIG_INCOMPLETE_WRITE;
    case 307: return IDS_CONFIG_READ_ERROR;
    case 308: return IDS_CONFIG_CANNOT_CLOSE;
    case 309: return IDS_CONFIG_CANNOT_DELETE;
    case 310: return IDS_CONFIG_PATH_TOO_LONG;
    case 311: return IDS_CONFIG_PATH_NOT_ACCEPTABLE;
    case 312: return IDS_CONFIG_PATH_NOT_UTF8;
    case 313: return IDS_CONFIG_FAULTY_LINE;
    case 314: return IDS_CONFIG_NOT_UTF8_TEXT;
    case 315: return IDS_CONFIG_FILE_TOO_LARGE;
    case kRejectedArgumentsCode: return IDS_CONFIG_BAD_ARGUMENTS;
    default: return 0;
  }
}

// Codes whose message is only logged: nothing the user could act on.
bool isLogOnly(int32_t code) { return code == 300 || code == 308 || code == 309; }

}  // namespace

const char* KeyName(FeatureKey key) { return kFeatureKeys[static_cast<size_t>(key)]; }
const char* KeyName(ValueKey key) { return kValueKeys[static_cast<size_t>(key)]; }
const char* KeyName(OtherKey key) { return kOtherKeys[static_cast<size_t>(key)]; }

// ---------------------------------------------------------------------------------

ConfigHolder::ConfigHolder(const settings_api& api) : api_(api), context_(api.context_create()) {
  if (!context_) throw settings::Exception(settings::kUnexpected);
}

ConfigHolder::~ConfigHolder() { api_.context_destroy(context_); }

void ConfigHolder::setRules(const std::shared_ptr<ValidatorHolder>& validator,
                            const std::shared_ptr<KeyMapperHolder>& keyMapper) {
  validator_ = validator;
  keyMapper_ = keyMapper;
}

int ConfigHolder::importFile(const std::string& path) {
  return api_.context_import_from_file(context_, path.c_str(), validator_ ? validator_->get() : nullptr,
                                       keyMapper_ ? keyMapper_->get() : nullptr, stopOnError, allowKeysWithoutValue);
}

int ConfigHolder::importString(const std::string& text) {
  return api_.context_import_from_string(context_, text.c_str(), validator_ ? validator_->get() : nullptr,
                                         keyMapper_ ? keyMapper_->get() : nullptr, stopOnError,
                                         allowKeysWithoutValue);
}

void ConfigHolder::importStringIgnoringResult(const std::string& text) { (void)importString(text); }

std::string ConfigHolder::systemConfigFilePath() const {
  const char* path = nullptr;
  check(api_.context_get_system_config_file_path(context_, &path));
  return path;
}

uint32_t ConfigHolder::firstFaultyLine() const {
  const uint32_t* lines = nullptr;
  uint32_t count = 0;
  if (api_.context_get_last_import_errors(context_, &lines, &count) != settings::kOk || count == 0 || !lines) return 0;
  return lines[0] + 1;
}

bool ConfigHolder::hasKey(const std::string& key) const {
  const char* text = nullptr;
  if (api_.context_get_utf8_value(context_, key.c_str(), &text) == settings::kOk) return true;
  uint32_t value = 0;
  return api_.context_get_boolean_value(context_, key.c_str(), &value) == settings::kOk;
}

std::string ConfigHolder::getUtf8(const std::string& key) const {
  const char* text = nullptr;
  check(api_.context_get_utf8_value(context_, key.c_str(), &text));
  return text;
}

int32_t ConfigHolder::getInteger(const std::string& key) const {
  int32_t value = 0;
  check(api_.context_get_integer_value(context_, key.c_str(), &value));
  return value;
}

bool ConfigHolder::getBoolean(const std::string& key) const {
  uint32_t value = 0;
  check(api_.context_get_boolean_value(context_, key.c_str(), &value));
  return value != 0;
}

void ConfigHolder::eraseKeyIgnoringResult(const std::string& key) { (void)api_.context_erase_key(context_, key.c_str()); }

// ---------------------------------------------------------------------------------

InstallConfigData::InstallConfigData() {
  ZU_LOG_SCOPE(LogLevel::Trace, "InstallConfigData::InstallConfigData");

  auto add = [this](const char* key, bool exported, bool onCmdline, bool passToMsi, bool isSwitch = false) {
    params_.push_back(Param{key, exported, onCmdline, passToMsi, isSwitch});
  };
  add("INSTALL_SILENT", true, true, false);
  add("STATIC", false, true, false);
  add("AUTO_UPDATE", true, true, false);
  add("SPONSORS", true, true, false);
  add("WEB_ZUNA", false, true, false);
  add("WEB_ANALYTICS", true, true, false);
  add("OEMUPDATE", false, true, false);
  add("DYNAMICBASELINEOFF", false, false, false);
  add("NO_VERIFY", false, false, false);
  add("REPAIRMODE", false, true, false);
  add("LAUNCHEDFROMZDK", false, false, false);
  add("FAMILYUPGRADE", false, false, false);
  add("RUNONCE", false, false, false);
  add("PIP", false, true, false);
  add("REINSTALL_NO_PROMPT", false, true, false);
  add("TEST_FINAL_DIALOG", false, false, false);
  add("TEST_PROGRESS_DIALOG", false, false, false);
  add("TEST_WELCOME_DIALOG", false, false, false);
  add("TEST_CHANGE_DIALOG", false, false, false);
  add("TEST_SETUPERROR_DIALOG", false, false, false);
  add("TEST_ERRORHELP_DIALOG", false, false, false);
  add("TEST_RETRYSPLASH_DIALOG", false, false, false);
  add("NOSTARTMENU", false, true, false);
  add("INSTALLDIR", false, true, false);
  add("/INSTALLDIRPUBZRE", false, true, false);
  add("INSTALLCFG", false, true, false);
  add("COUNTRYOVERRIDE", false, false, false);
  add("/installurl", false, false, false);
  add("/installmethod", false, true, false);
  add("SPONSORPREF", false, false, false);
  add("ADDLOCAL", false, false, true);
  add("REBOOT", false, false, true);
  add("USAGETRACKER_CFG", false, true, false);
  add("DEPLOYMENT_RULE_SET", false, true, false);
  add("MSI_CMDLINE", false, false, false);
  add("CMDLINE", false, false, false);
  add("WEB_ZUNA_SECURITY_LEVEL", false, true, false);
  add("/lang", false, false, false);
  add("TEST_CONFIG_FILE_ERRORS", false, false, false);
  add("/s", false, false, false, true);
  add("/h", false, false, false, true);
  add("-download", false, false, false, true);
  add("-no_override", false, false, false, true);
  add("/q", false, false, true, true);
  add("/l", false, false, true, true);

  settings_api api{};
  settings_get_api(&api);
  working_ = std::make_unique<ConfigHolder>(api);
  export_ = std::make_unique<ConfigHolder>(api);
  backup_ = std::make_unique<ConfigHolder>(api);

  BuilderHolder<settings_validator_builder> validatorBuilder(api.validator_builder_create(),
                                                             api.validator_builder_destroy);
  BuilderHolder<settings_key_mapper_builder> mapperBuilder(api.key_mapper_builder_create(),
                                                           api.key_mapper_builder_destroy);
  auto mapToItself = [&](const char* key) { check(api.key_mapper_builder_map(mapperBuilder.get(), key, key, 0)); };

  for (const char* key : kFeatureKeys) {
    check(api.validator_builder_set_fixed_value_validator(validatorBuilder.get(), key, kFeatureValues,
                                                          static_cast<uint32_t>(std::size(kFeatureValues))));
    mapToItself(key);
  }
  for (const char* key : kOtherKeys) {
    check(api.validator_builder_set_integer_validator(validatorBuilder.get(), key));
    mapToItself(key);
  }
  check(api.validator_builder_set_fixed_value_validator(validatorBuilder.get(), "WEB_ZUNA_SECURITY_LEVEL",
                                                        kSecurityLevels,
                                                        static_cast<uint32_t>(std::size(kSecurityLevels))));
  for (const char* key : kValueKeys) {
    check(api.validator_builder_set_utf8_validator(validatorBuilder.get(), key));
    mapToItself(key);
  }
  for (const char* key : kDirectoryKeys) {
    check(api.validator_builder_set_dirname_validator(validatorBuilder.get(), key, 0));
  }
  check(api.validator_builder_allow_unknown_keys(validatorBuilder.get(), 0));

  settings_validator* validator = nullptr;
  check(api.validator_builder_create_validator(validatorBuilder.get(), &validator));
  auto validatorHolder = std::make_shared<ValidatorHolder>(validator, api.validator_destroy);
  settings_key_mapper* keyMapper = nullptr;
  check(api.key_mapper_builder_create_key_mapper(mapperBuilder.get(), &keyMapper));
  auto keyMapperHolder = std::make_shared<KeyMapperHolder>(keyMapper, api.key_mapper_destroy);

  working_->setRules(validatorHolder, keyMapperHolder);
  export_->setRules(validatorHolder, keyMapperHolder);
  backup_->setRules(validatorHolder, keyMapperHolder);
}

InstallConfigData& InstallConfigData::Instance() {
  // A function-local static is retried when its construction throws, so a run that
  // could not build the configuration reports the failure each time it asks.
  static InstallConfigData config;
  return config;
}

const char* InstallConfigData::DefaultsText() { return kDefaults; }

void InstallConfigData::InitConfig() {
  if (defaultsLoaded_) return;
  check(working_->importString(kDefaults));
  defaultsLoaded_ = true;
  ZU_LOG_STREAM(LogLevel::Info, "Default config settings are: \n" << kDefaults);
}

// ---------------------------------------------------------------------------------
// Queries

bool InstallConfigData::HasKey(const std::string& key) {
  InitConfig();
  return working_->hasKey(key);
}

bool InstallConfigData::IsSilent() {
  return HasKey("/s") || HasKey("-download") || IsFeatureEnabled(FeatureKey::INSTALL_SILENT);
}

bool InstallConfigData::IsFeatureEnabled(FeatureKey key) {
  if (!HasKey(KeyName(key))) return false;
  return working_->getInteger(KeyName(key)) != 0;
}

int32_t InstallConfigData::GetFeatureValue(FeatureKey key) {
  InitConfig();
  return working_->getInteger(KeyName(key));
}

std::string InstallConfigData::GetValueString(ValueKey key) {
  InitConfig();
  return tstrings::utf8ToACP(working_->getUtf8(KeyName(key)));
}

int32_t InstallConfigData::GetOtherInteger(OtherKey key) {
  InitConfig();
  return working_->getInteger(KeyName(key));
}

// ---------------------------------------------------------------------------------
// Loading

int32_t InstallConfigData::LoadConfigSettings(HINSTANCE instance, const std::wstring& commandLine) {
  std::vector<std::string> args;
  if (!commandLine.empty()) {
    int count = 0;
    ArgvHolder argv(CommandLineToArgvW(commandLine.c_str(), &count));
    if (!argv.get()) {
      ZU_LOG_STREAM(LogLevel::Error,
                    tstrings::format("%s failed with %s", "CommandLineToArgvW", systemErrorText(GetLastError()).c_str()));
      return settings::kUnexpected;
    }
    args.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) args.push_back(tstrings::toUtf8(argv.get()[i]));
  }
  return _LoadConfigSettings(instance, args);
}

int32_t InstallConfigData::_LoadConfigSettings(HINSTANCE instance, const std::vector<std::string>& args) {
  logit("-->Loading Important args...");
  InitConfig();
  int32_t status = ImportArgsConfigSettings(instance, *working_, args, false);
  if (status != 0) {
    LOG_ERROR("Error occurred while importing important args. Exiting installer.");
    return status;
  }
  logit(ConfigTable(*working_, "Important args config (TMP)"));

  std::string installCfgPath;
  if (working_->hasKey(KeyName(ValueKey::INSTALLCFG))) {
    installCfgPath = working_->getUtf8(KeyName(ValueKey::INSTALLCFG));
    logit("Path to the install configuration file is set to " + installCfgPath);
  }

  logit("-->Loading Config...");
  bool silent = IsSilent();
  status = FullImport(instance, *working_, installCfgPath, args, silent);
  if (status != 0) {
    LOG_ERROR("Error occurred while importing configuration settings. Exiting installer.");
    return status;
  }

  // The export takes the same sources as `working` and must accept what `working`
  // accepted, keys without value included: a keyless feature key of the install file then
  // reaches the silent-mode query, which refuses it. The backup is a copy of the runtime
  // file as it is stored, where a key without value is a faulty line.
  export_->allowKeysWithoutValue = working_->allowKeysWithoutValue;

  logit("-->Saving backup...");
  status = ImportRuntimeConfigFile(instance, *backup_, true);
  if (status != 0) {
    LOG_ERROR("Error occurred while importing runtime file for backup.Exiting installer.");
    return status;
  }
  logit(ConfigTable(*backup_, "Config to backup"));

  logit("-->Loading export config...");
  status = FullImport(instance, *export_, installCfgPath, args, true);
  if (status != 0) {
    LOG_ERROR("Error occurred while importing configuration files without defaults. Exiting installer.");
    return status;
  }

  logit("-->Adding CMDLINE to config...");
  std::string cmdline = BuildCmdline(*export_);
  if (!cmdline.empty()) working_->importStringIgnoringResult(std::string(KeyName(ValueKey::CMDLINE)) + "=" + cmdline);

  logit("-->Normalizing Export...");
  for (const Param& param : params_) {
    if (!param.exported) export_->eraseKeyIgnoringResult(param.key);
  }

  logit(ConfigTable(*export_, "Config to export"));
  logit(ConfigTable(*working_, "!!!!Working config!!!!"));
  return 0;
}

int32_t InstallConfigData::FullImport(HINSTANCE instance, ConfigHolder& config, const std::string& installCfgPath,
                                      const std::vector<std::string>& args, bool silent) {
  int32_t status = ImportRuntimeConfigFile(instance, config, silent);
  if (status != 0) return status;
  if (!installCfgPath.empty()) {
    status = ImportInstallConfigFile(instance, config, installCfgPath, silent);
    if (status != 0) return status;
  }
  // No parameter carries a check of its own beyond the validator's rules, so what
  // was imported is accepted as it stands.
  return ImportArgsConfigSettings(instance, config, args, silent);
}

int32_t InstallConfigData::ImportRuntimeConfigFile(HINSTANCE instance, ConfigHolder& config, bool silent) {
  logit("...Importing runtime configuration file...");
  std::string path = config.systemConfigFilePath();
  logit(tstrings::format("Runtime config file path is %s", path.c_str()));
  int32_t code = config.importFile(path);
  if (code == settings::kCannotOpenFile) {
    logit("Runtime configuration file doesn't exist. It will be created later by settings_api.");
    return 0;
  }
  if (code != 0) {
    ReportConfigError(instance, code, path, config.firstFaultyLine(), silent);
    ZU_LOG_STREAM(LogLevel::Error, tstrings::format("Runtime configuration file import failed with %d", code));
  }
  return code;
}

int32_t InstallConfigData::ImportInstallConfigFile(HINSTANCE instance, ConfigHolder& config, const std::string& path,
                                                   bool silent) {
  logit("...Importing Install Configuration file");
  int32_t code = config.importFile(path);
  if (code == settings::kNullArgument) {
    LOG_WARNING("Install Configuration file path is empty. Ignore it and continue installation.");
    return 0;
  }
  if (code != 0) {
    ReportConfigError(instance, code, path, config.firstFaultyLine(), silent);
    ZU_LOG_STREAM(LogLevel::Error, tstrings::format("Install Configuration file import failed with %d", code));
  }
  return code;
}

const InstallConfigData::Param* InstallConfigData::FindParam(const std::string& arg) const {
  // One argument is one key: a line break would smuggle further keys into the
  // configuration and into MSI_CMDLINE.
  if (arg.find_first_of("\r\n") != std::string::npos) return nullptr;
  size_t separator = arg.find_first_of("=:");
  bool hasValue = separator != std::string::npos;
  std::string keyPart = asciiLower(hasValue ? arg.substr(0, separator) : arg);
  for (const Param& param : params_) {
    if (param.isSwitch == hasValue) continue;
    if (asciiLower(param.key) == keyPart) return &param;
  }
  return nullptr;
}

int32_t InstallConfigData::ImportArgsConfigSettings(HINSTANCE instance, ConfigHolder& config,
                                                    const std::vector<std::string>& args, bool silent) {
  ZU_LOG_SCOPE(LogLevel::Trace, "InstallConfigData::ImportArgsConfigSettings");
  logit("...Importing command line arguments");
  config.allowKeysWithoutValue = true;

  int32_t status = 0;
  std::string errors;
  std::string msiCmdline;
  auto reject = [&](const std::string& arg, int32_t code) {
    status = code;
    errors += "\"" + arg + "\";";
  };

  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const Param* param = FindParam(arg);
    if (!param) {
      ZU_LOG_STREAM(LogLevel::Error, tstrings::format("arg %s is not supported", arg.c_str()));
      reject(arg, settings::kFaultyLines);
      continue;
    }
    // A switch is stored under its own name, however the user wrote it; its rule-less
    // key would otherwise keep the user's spelling and never be found.
    const std::string& text = param->isSwitch ? param->key : arg;
    if (param->passToMsi) msiCmdline += " " + text;
    if (param->key == "/l") {
      if (i + 1 >= args.size() || args[i + 1].find_first_of("\r\n") != std::string::npos) {
        ZU_LOG_STREAM(LogLevel::Error, tstrings::format("arg %s is incorrect", arg.c_str()));
        reject(arg, settings::kFaultyLines);
      } else {
        msiCmdline += " " + args[++i];
      }
      continue;
    }
    int32_t code = config.importString(text);
    if (code != 0 || !working_->hasKey(param->key)) {
      int32_t failure = code != 0 ? code : settings::kFaultyLines;
      ZU_LOG_STREAM(LogLevel::Error, tstrings::format("Loading arg %s failed with %d", arg.c_str(), failure));
      reject(arg, failure);
    }
  }

  if (!msiCmdline.empty()) {
    logit("...adding MSICMDLINE to settingsConfig");
    check(config.importString(std::string(KeyName(ValueKey::MSI_CMDLINE)) + "=" + msiCmdline));
  }

  if (status != 0) ReportConfigError(instance, kRejectedArgumentsCode, errors, 0, silent || IsSilent());
  return status;
}

std::string InstallConfigData::BuildCmdline(const ConfigHolder& config) const {
  std::string text;
  for (const Param& param : params_) {
    if (!param.onCmdline || !config.hasKey(param.key)) continue;
    try {
      text += " " + param.key + "=\"" + config.getUtf8(param.key) + "\"";
    } catch (const settings::Exception&) {
      // A key without value has no text to pass on.
    }
  }
  return text;
}

std::string InstallConfigData::ConfigTable(const ConfigHolder& config, const std::string& title) const {
  std::string table = "|------" + title + "--------|\n\n";
  for (const Param& param : params_) {
    if (!config.hasKey(param.key)) continue;
    std::string value;
    try {
      value = config.getUtf8(param.key);
    } catch (const settings::Exception&) {
      value = config.getBoolean(param.key) ? "1" : "0";
    }
    table += param.key + " = " + value + "\n";
  }
  return table + "|-------------------------------------|\n";
}

// ---------------------------------------------------------------------------------
// Error reporting

bool InstallConfigData::ReportConfigError(HINSTANCE instance, int32_t code, const std::string& text, uint32_t line,
                                          bool silent) {
  if (code == 0) return true;
  UINT messageId = messageIdFor(code);
  if (messageId == 0) {
    logit(tstrings::format("Unknown Error code %d", code));
    return false;
  }
  // Loaded and filled in UTF-16, so that the box reads right in a language whose
  // script the code page lacks; the log gets the same text in the code page.
  WCHAR caption[kCaptionBufferSize] = {};
  WCHAR format[kMessageBufferSize] = {};
  LoadStringW(instance, IDS_CONFIG_ERROR_CAPTION, caption, kCaptionBufferSize);
  LoadStringW(instance, messageId, format, kMessageBufferSize);
  std::string lineText = line != 0 ? std::to_string(line) : "<line number>";
  // The formats are our own resources, with at most two %s inserts. The inserted text
  // (a path, the refused arguments) is UTF-8.
  std::wstring message = fillInserts(format, {tstrings::fromUtf8(text), tstrings::fromUtf8(lineText)});
  if (message.size() > static_cast<size_t>(kMessageBufferSize - 1)) message.resize(kMessageBufferSize - 1);
  logit(tstrings::toAnsiText(message));
  if (!silent && !isLogOnly(code)) MessageBoxW(nullptr, message.c_str(), caption, MB_ICONERROR);
  return false;
}
