#include "settings/share/ConfigBuilder.h"

#include "settings/share/KeyMappers.h"
#include "settings/share/Validators.h"

namespace settings_impl {

const char* lineStatusText(int32_t status) {
  switch (status) {
    case kKeyWithoutValue: return "Key without value";
    case kEmptyKey: return "Empty key";
    case kInvalidKey: return "Invalid key";
    case kInvalidValue: return "Invalid value";
    case kInvalidComment: return "Invalid comment";
    default: return "Unknown error";
  }
}

namespace {

// Whether the text format can write `key` so that reading it back gives the same key: not
// empty, not a comment, without a separator or a line break, without blanks at its ends
// (reading trims them) and without a NUL byte (keys travel as C strings).
bool isStorableKey(const std::string& key) {
  if (key.empty() || key[0] == '#') return false;
  for (char c : key) {
    if (c == '=' || c == ':' || c == '\r' || c == '\n' || c == '\0') return false;
  }
  auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
  return !isBlank(key.front()) && !isBlank(key.back());
}

}  // namespace

int32_t ConfigBuilder::onEntry(const IParserCursor&, const char* key, const char* value) {
  std::string name = key;
  if (keyMapper_) name = keyMapper_->map(name).first;
  // A mapping may turn a readable key into one that could be stored but never read back.
  if (!isStorableKey(name)) return kInvalidKey;
  if (!value) {
    entries_.insert_or_assign(std::move(name), nullptr);
    return kLineAccepted;
  }
  std::unique_ptr<ConfigValue> made;
  try {
    made = validator_ ? validator_->makeValue(name, value) : ConfigValue::fromText(value, kUntyped);
  } catch (const ConfigValidator::InavlidKeyError&) {
    return kInvalidKey;
  } catch (const ConfigValidator::InavlidValueError&) {
    return kInvalidValue;
  } catch (const settings::Exception&) {
    return kInvalidValue;
  }
  entries_.insert_or_assign(std::move(name), std::move(made));
  return kLineAccepted;
}

void ConfigBuilder::onError(const IParserCursor& cursor, int32_t status) {
  std::string message = std::string("\"") + lineStatusText(status) + "\" at " + positionText_(cursor);
  if (listener_) listener_->onError(cursor, message.c_str());
}

std::unique_ptr<Config> ConfigBuilder::takeConfig() {
  auto config = std::make_unique<Config>(std::move(entries_));
  entries_.clear();
  return config;
}

}  // namespace settings_impl
