// Feeds arbitrary bytes to the configuration text reader and to the path argument
// test. Neither may crash or read out of bounds, whatever the input; the library's
// own failures (settings::Exception) and conversion failures are expected outcomes.
#include <cstddef>
#include <cstdint>
#include <ios>
#include <string>

#include "settings/share/ConfigParser.h"
#include "settings/share/PlainTextFileConfigParser.h"
#include "settings/share/SystemConfig.h"
#include "settings/share/Validators.h"

using namespace settings_impl;

namespace {

class Counting : public IParserErrorListener {
 public:
  void onError(const IParserCursor&, const char* message) override { total += message[0]; }
  unsigned total = 0;
};

const ConfigValidator& validator() {
  static auto built = [] {
    ValidatorBuilder builder;
    builder.setType("i", kInteger);
    builder.setType("b", kBoolean);
    builder.setType("d", kDouble);
    builder.setDirname("dir", false);
    builder.addFixedValue("f", {"Enable", 1, 0});
    builder.allowUnknownKeys(true);
    return builder.createValidator();
  }();
  return *built;
}

void parseText(const std::string& text, bool stopOnError, bool allowKeysWithoutValue, bool validate) {
  Counting listener;
  PlainTextFileConfigParser parser(text);
  parser.setErrorListener(&listener);
  parser.setStopOnError(stopOnError);
  parser.setAllowKeysWithoutValue(allowKeysWithoutValue);
  if (validate) parser.setValidator(&validator());
  try {
    auto config = parser.parse();
    if (!config) return;
    PlainTextEntrySerializer serializer;
    serializeConfig(*config, serializer, false);
    // What was written reads back as the same configuration.
    PlainTextFileConfigParser again(serializer.text());
    again.setAllowKeysWithoutValue(true);
    auto reread = again.parse();
    // NUL bytes end keys and values where they are handed on, so only texts without
    // them are expected to come back exactly.
    bool plain = text.find('\0') == std::string::npos;
    if (!validate && plain && (!reread || !configsEqual(*config, *reread))) __builtin_trap();
  } catch (const settings::Exception&) {
  } catch (const std::ios_base::failure&) {
  }
}

void testPath(const std::string& path) {
  try {
    std::string tested = testPathArgument(path);
    if (splitPath(tested).absolute) canonicalize(tested);
  } catch (const settings::Exception&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  uint8_t mode = data[0];
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  if (mode & 0x80) {
    testPath(text);
  } else {
    parseText(text, mode & 1, mode & 2, mode & 4);
  }
  return 0;
}
