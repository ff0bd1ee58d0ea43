// The context's part of the old import, and the two import entry points with the result
// codes they returned.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "tests/settings/share/reference/Config.h"
#include "tests/settings/share/reference/ConfigParser.h"

namespace settings_reference {

class IKeyMapper;

class Context : public IParserErrorListener {
 public:
  Context() : config_(makeEmptyConfig()) {}

  void onError(const IParserCursor& cursor, const char* message) override;
  void import(IConfigParser& parser, const ConfigValidator* validator, const IKeyMapper* keyMapper, bool stopOnError,
              bool allowKeysWithoutValue);

  const Config& config() const { return *config_; }
  const std::vector<uint32_t>& lastImportErrors() const { return lastImportErrors_; }

 private:
  std::unique_ptr<Config> config_;
  std::vector<uint32_t> lastImportErrors_;
};

int importFromString(Context& context, const char* text, const ConfigValidator* validator,
                     const IKeyMapper* keyMapper, int stopOnError, int allowKeysWithoutValue);
int importFromFile(Context& context, const char* path, const ConfigValidator* validator, const IKeyMapper* keyMapper,
                   int stopOnError, int allowKeysWithoutValue);

}  // namespace settings_reference
