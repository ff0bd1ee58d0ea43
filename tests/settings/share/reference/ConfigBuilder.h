// Collects a parser's entries into a configuration, through the optional key mapper
// and validator.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "tests/settings/share/reference/Config.h"
#include "tests/settings/share/reference/ConfigParser.h"

namespace settings_reference {

class ConfigBuilder : public IConfigParserCallback {
 public:
  // The position text of a cursor, e.g. "line 3; char 1".
  using PositionText = std::function<std::string(const IParserCursor&)>;

  ConfigBuilder(PositionText positionText, const ConfigValidator* validator, const IKeyMapper* keyMapper,
                IParserErrorListener* listener)
      : positionText_(std::move(positionText)), validator_(validator), keyMapper_(keyMapper), listener_(listener) {}

  bool onComment(const IParserCursor&, const char*) override { return true; }
  // Maps the key, then stores it without a value (no validation), or with the value
  // the validator makes (untyped text without a validator). A later entry for a key
  // replaces an earlier one. An unknown key gives 303 and a refused value 304; a
  // number that does not convert leaves with the conversion's exception.
  int32_t onEntry(const IParserCursor& cursor, const char* key, const char* value) override;
  // Reports "<text>" at <position> to the listener.
  void onError(const IParserCursor& cursor, int32_t status) override;

  // The entries so far; the builder is empty afterwards.
  std::unique_ptr<Config> takeConfig();

 private:
  PositionText positionText_;
  const ConfigValidator* validator_;
  const IKeyMapper* keyMapper_;
  IParserErrorListener* listener_;
  ConfigMap entries_;
};

}  // namespace settings_reference
