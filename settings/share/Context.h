// A settings context: the current configuration of one client, replaced as a whole on
// every successful change, and what the last import found wrong.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "settings/share/Config.h"
#include "settings/share/ConfigParser.h"
#include "settings/share/SystemConfig.h"

namespace settings_impl {

class IKeyMapper;

class Context : public IParserErrorListener {
 public:
  // Throws settings::Exception 200 when the common application data folder is unknown.
  Context();

  // Records the faulty line, writes the message to the standard error stream and
  // throws settings::Exception 313.
  void onError(const IParserCursor& cursor, const char* message) override;

  // Runs the parser with this context as its error listener and merges what it read.
  // Throws 313 when lines were faulty (after merging the good ones when the parser
  // does not stop on errors), and whatever reading the text throws.
  void import(IConfigParser& parser, const ConfigValidator* validator, const IKeyMapper* keyMapper, bool stopOnError,
              bool allowKeysWithoutValue);

  // Writes the configuration to the file. Throws 304 when the file cannot be opened or
  // created, 306 when it is not written completely, the path codes, and 311 when a
  // parent directory cannot be created. An existing file is left as it was on failure.
  void exportToFile(const std::string& path) const;

  const Config& config() const { return *config_; }
  void setConfig(std::unique_ptr<Config> config) { config_ = std::move(config); }
  const std::string& systemConfigFilePath() const { return systemConfigFilePath_; }
  const std::vector<uint32_t>& lastImportErrors() const { return lastImportErrors_; }

 private:
  std::unique_ptr<Config> config_;
  std::string systemConfigFilePath_;
  std::vector<uint32_t> lastImportErrors_;
};

// Writes `text` to an existing file: completely into a file beside it first, in text
// mode, which then takes the old file's place and its protection. Throws 304 or 306;
// the old file is unchanged then.
void replaceFileText(const FilePath& file, const std::string& text);

// Writes `text` into a new, protected file in binary mode. Throws 304 when it cannot be
// created and 306 when the text is not written completely (the file is removed then).
void writeNewFile(const FilePath& file, const std::string& text);

}  // namespace settings_impl
