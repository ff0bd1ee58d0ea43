#include "settings/share/Config.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace settings_impl {

namespace {

// The text with leading blanks removed and in lower case, and the stream flags that
// select its base. The flags replace all others, so the stream skips no further blanks.
std::string prepareNumber(const std::string& text, std::ios_base::fmtflags* base) {
  size_t start = text.find_first_not_of(" \t\n\v");
  std::string s = start == std::string::npos ? std::string() : text.substr(start);
  std::transform(s.begin(), s.end(), s.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; });
  auto startsWith = [&s](const char* prefix) { return s.rfind(prefix, 0) == 0; };
  if (startsWith("0x") || startsWith("-0x")) *base = std::ios_base::hex;
  else if (startsWith("0") || startsWith("-0")) *base = std::ios_base::oct;
  else *base = std::ios_base::dec;
  return s;
}

[[noreturn]] void unexpectedType() { throw std::runtime_error("unexpected"); }

void requireUtf8(const std::string& text) {
  if (!isWellFormedUtf8(text)) throw ExceptionCode<302>();
}

}  // namespace

int32_t convertToInteger(const std::string& text) {
  std::ios_base::fmtflags base;
  std::istringstream in(prepareNumber(text, &base));
  in.exceptions(std::ios_base::failbit | std::ios_base::badbit);
  in.flags(base);
  int32_t value;
  in >> value;
  return value;
}

double convertToDouble(const std::string& text) {
  std::ios_base::fmtflags base;
  std::istringstream in(prepareNumber(text, &base));
  in.exceptions(std::ios_base::failbit | std::ios_base::badbit);
  in.flags(base);
  double value;
  in >> value;
  return value;
}

bool convertToBoolean(const std::string& text) {
  std::string lower = text;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; });
  if (lower == "yes" || lower == "true") return true;
  if (lower == "no" || lower == "false") return false;
  return convertToInteger(text) != 0;
}

std::unique_ptr<ConfigValue> ConfigValue::fromText(std::string text, uint32_t type) {
  requireUtf8(text);
  std::unique_ptr<ConfigValue> value(new ConfigValue(type, std::move(text)));
  switch (type) {
    case kUntyped:
    case kUtf8: break;
    case kInteger: value->integer_ = convertToInteger(value->text_); break;
    case kBoolean: value->boolean_ = convertToBoolean(value->text_); break;
    case kDouble: value->double_ = convertToDouble(value->text_); break;
    default: unexpectedType();
  }
  return value;
}

std::unique_ptr<ConfigValue> ConfigValue::fromInteger(int32_t integer, const std::optional<std::string>& text) {
  if (text) requireUtf8(*text);
  std::unique_ptr<ConfigValue> value(new ConfigValue(kInteger, text ? *text : std::to_string(integer)));
  value->integer_ = integer;
  return value;
}

std::unique_ptr<ConfigValue> ConfigValue::fromBoolean(bool boolean, const std::optional<std::string>& text) {
  if (text) requireUtf8(*text);
  std::unique_ptr<ConfigValue> value(new ConfigValue(kBoolean, text ? *text : (boolean ? "true" : "false")));
  value->boolean_ = boolean;
  return value;
}

std::unique_ptr<ConfigValue> ConfigValue::fromDouble(double real, const std::optional<std::string>& text) {
  if (text) requireUtf8(*text);
  std::string made;
  if (!text) {
    std::ostringstream out;
    out << real;
    made = out.str();
  }
  std::unique_ptr<ConfigValue> value(new ConfigValue(kDouble, text ? *text : made));
  value->double_ = real;
  return value;
}

const ConfigValue* Config::valueOf(const char* key) const {
  auto it = entries_.find(key);
  if (it == entries_.end()) throw ExceptionCode<303>();
  if (!it->second) throw ExceptionCode<301>();
  return it->second.get();
}

uint32_t Config::getType(const char* key) const { return valueOf(key)->type(); }

bool Config::hasValue(const char* key) const {
  auto it = entries_.find(key);
  if (it == entries_.end()) throw ExceptionCode<303>();
  return it->second != nullptr;
}

const char* Config::getUtf8(const char* key) const { return valueOf(key)->text().c_str(); }

int32_t Config::getInteger(const char* key) const {
  const ConfigValue* value = valueOf(key);
  if (value->type() == kUntyped) return convertToInteger(value->text());
  if (value->type() == kInteger) return value->integer();
  throw ExceptionCode<301>();
}

double Config::getDouble(const char* key) const {
  const ConfigValue* value = valueOf(key);
  if (value->type() == kUntyped) return convertToDouble(value->text());
  if (value->type() == kDouble) return value->real();
  throw ExceptionCode<301>();
}

bool Config::getBoolean(const char* key) const {
  const ConfigValue* value = valueOf(key);
  if (value->type() == kUntyped) return convertToBoolean(value->text());
  if (value->type() == kBoolean) return value->boolean();
  throw ExceptionCode<301>();
}

std::string Config::getText(const char* key) const { return valueOf(key)->text(); }

std::vector<const char*> Config::getKeys() const {
  std::vector<const char*> keys;
  keys.reserve(entries_.size());
  for (const auto& entry : entries_) keys.push_back(entry.first.c_str());
  return keys;
}

void copyEntry(const IConfig& source, const char* key, ConfigMap& target) {
  std::unique_ptr<ConfigValue> value;
  if (source.hasValue(key)) {
    std::string text = source.getText(key);
    switch (uint32_t type = source.getType(key)) {
      case kUntyped:
      case kUtf8: value = ConfigValue::fromText(std::move(text), type); break;
      case kInteger: value = ConfigValue::fromInteger(source.getInteger(key), text); break;
      case kBoolean: value = ConfigValue::fromBoolean(source.getBoolean(key), text); break;
      case kDouble: value = ConfigValue::fromDouble(source.getDouble(key), text); break;
      default: unexpectedType();
    }
  }
  target[key] = std::move(value);
}

std::unique_ptr<Config> makeEmptyConfig() { return std::make_unique<Config>(); }

std::unique_ptr<Config> mergeConfigs(const IConfig& a, const IConfig& b) {
  ConfigMap entries;
  for (const char* key : a.getKeys()) copyEntry(a, key, entries);
  for (const char* key : b.getKeys()) copyEntry(b, key, entries);
  return std::make_unique<Config>(std::move(entries));
}

std::unique_ptr<Config> mergeConfigs(const IConfig& a, std::unique_ptr<Config> b) {
  ConfigMap entries = std::move(b->entries_);
  b.reset();
  if (const auto* config = dynamic_cast<const Config*>(&a)) {
    // A stored value never changes, so a copy of it is what re-creating it would make.
    for (const auto& [key, value] : config->entries_) {
      auto [at, added] = entries.try_emplace(key);
      if (added && value) at->second = std::make_unique<ConfigValue>(*value);
    }
  } else {
    for (const char* key : a.getKeys()) {
      if (entries.find(key) == entries.end()) copyEntry(a, key, entries);
    }
  }
  return std::make_unique<Config>(std::move(entries));
}

std::unique_ptr<Config> removeKeys(const IConfig& a, const std::vector<std::string>& keys, bool mustExist) {
  std::vector<const char*> present = a.getKeys();
  std::vector<std::string> sortedPresent(present.begin(), present.end());
  if (mustExist) {
    for (const std::string& key : keys) {
      if (!std::binary_search(sortedPresent.begin(), sortedPresent.end(), key)) throw ExceptionCode<303>();
    }
  }
  ConfigMap entries;
  for (const char* key : present) {
    if (std::find(keys.begin(), keys.end(), key) == keys.end()) copyEntry(a, key, entries);
  }
  return std::make_unique<Config>(std::move(entries));
}

bool configsEqual(const IConfig& a, const IConfig& b) {
  if (&a == &b) return true;
  auto sortedKeys = [](const IConfig& config) {
    std::vector<const char*> raw = config.getKeys();
    std::vector<std::string> keys(raw.begin(), raw.end());
    std::sort(keys.begin(), keys.end());
    return keys;
  };
  std::vector<std::string> keysA = sortedKeys(a);
  std::vector<std::string> keysB = sortedKeys(b);
  if (keysA != keysB) return false;
  try {
    for (const std::string& name : keysA) {
      const char* key = name.c_str();
      bool valueA = a.hasValue(key);
      if (valueA != b.hasValue(key)) return false;
      if (!valueA) continue;
      uint32_t type = a.getType(key);
      if (type != b.getType(key)) return false;
      switch (type) {
        case kUntyped:
        case kUtf8:
          if (std::string(a.getUtf8(key)) != b.getUtf8(key)) return false;
          break;
        case kInteger:
          if (a.getInteger(key) != b.getInteger(key)) return false;
          break;
        case kBoolean:
          if (a.getBoolean(key) != b.getBoolean(key)) return false;
          break;
        case kDouble: {
          double x = a.getDouble(key), y = b.getDouble(key);
          if (std::isnan(x) || std::isnan(y) || x < y || y < x) return false;
          break;
        }
        default: unexpectedType();
      }
    }
  } catch (const ExceptionCode<303>&) {
    return false;
  }
  return true;
}

}  // namespace settings_impl
