#include "tests/settings/share/reference/Import.h"

#include <iostream>
#include <string>

#include "settings/share/SystemConfig.h"
#include "tests/settings/share/reference/PlainTextFileConfigParser.h"

namespace settings_reference {

namespace {

template <class Body>
int guarded(Body&& body) {
  try {
    body();
    return settings::kOk;
  } catch (const settings::Exception& e) {
    return e.code;
  } catch (const std::exception&) {
    return settings::kUnexpected;
  } catch (...) {
    return settings::kUnexpected;
  }
}

}  // namespace

void Context::onError(const IParserCursor& cursor, const char* message) {
  lastImportErrors_.push_back(static_cast<const Cursor&>(cursor).line);
  std::cerr << "Error reading config file: " << message << '\n';
  std::cerr.flush();
  throw settings::Exception(313);
}

void Context::import(IConfigParser& parser, const ConfigValidator* validator, const IKeyMapper* keyMapper,
                     bool stopOnError, bool allowKeysWithoutValue) {
  parser.setErrorListener(this);
  parser.setValidator(validator);
  parser.setKeyMapper(keyMapper);
  parser.setStopOnError(stopOnError);
  parser.setAllowKeysWithoutValue(allowKeysWithoutValue);
  lastImportErrors_.clear();
  std::unique_ptr<IConfig> parsed = parser.parse();
  if (!parsed) throw settings::Exception(313);
  config_ = mergeConfigs(*config_, *parsed);
  if (!lastImportErrors_.empty()) throw settings::Exception(313);
}

int importFromString(Context& context, const char* text, const ConfigValidator* validator,
                     const IKeyMapper* keyMapper, int stopOnError, int allowKeysWithoutValue) {
  if (!text) return settings::kNullArgument;
  return guarded([&] {
    PlainTextFileConfigParser parser{std::string(text)};
    context.import(parser, validator, keyMapper, stopOnError != 0, allowKeysWithoutValue != 0);
  });
}

int importFromFile(Context& context, const char* path, const ConfigValidator* validator, const IKeyMapper* keyMapper,
                   int stopOnError, int allowKeysWithoutValue) {
  if (!path) return settings::kNullArgument;
  return guarded([&] {
    PlainTextFileConfigParser parser(settings_impl::canonicalize(settings_impl::testPathArgument(path)));
    context.import(parser, validator, keyMapper, stopOnError != 0, allowKeysWithoutValue != 0);
  });
}

}  // namespace settings_reference
