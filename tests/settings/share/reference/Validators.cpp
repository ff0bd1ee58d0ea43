#include "tests/settings/share/reference/Validators.h"

#include "tests/settings/share/reference/KeyMappers.h"
#include "settings/share/SystemConfig.h"

namespace settings_reference {

using settings_impl::splitPath;
using settings_impl::testPathArgument;

std::unique_ptr<ConfigValue> ConfigValidator::makeValue(const std::string& key, const char* text) const {
  auto it = validators_.find(key);
  if (it != validators_.end()) return it->second->validate(text);
  if (!allowUnknownKeys_) throw InavlidKeyError();
  return ConfigValue::fromText(text, kUntyped);
}

std::unique_ptr<ConfigValue> TypeValidator::validate(const char* text) const {
  if (!text) {
    if (type_ == kBoolean) return nullptr;
    throw ConfigValidator::InavlidValueError();
  }
  return ConfigValue::fromText(text, type_);
}

std::unique_ptr<ConfigValue> DirnameValidator::validate(const char* text) const {
  if (!text) throw ConfigValidator::InavlidValueError();
  try {
    if (!acceptAny_) {
      std::string tested = testPathArgument(text);
      if (!splitPath(tested).absolute) throw ConfigValidator::InavlidValueError();
    }
    return ConfigValue::fromText(text, kUtf8);
  } catch (const settings::Exception&) {
    throw ConfigValidator::InavlidValueError();
  }
}

std::unique_ptr<ConfigValue> FixedValueValidator::validate(const char* text) const {
  if (!text) throw ConfigValidator::InavlidValueError();
  std::string given = text;
  std::string givenLower = lowerAscii(given);
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    bool matches = (it->flags & 1) ? it->text == given : lowerAscii(it->text) == givenLower;
    if (!matches) continue;
    return ConfigValue::fromInteger(static_cast<int32_t>(it->value), (it->flags & 2) ? it->text : given);
  }
  throw ConfigValidator::InavlidValueError();
}

void ValidatorBuilder::setType(const std::string& key, uint32_t type) {
  dirnameRules_.erase(key);
  fixedValueRules_.erase(key);
  typeRules_[key] = type;
}

void ValidatorBuilder::setDirname(const std::string& key, bool acceptAny) {
  typeRules_.erase(key);
  fixedValueRules_.erase(key);
  dirnameRules_[key] = acceptAny;
}

void ValidatorBuilder::addFixedValue(const std::string& key, const FixedValueEntry& entry) {
  typeRules_.erase(key);
  dirnameRules_.erase(key);
  std::vector<FixedValueEntry>& list = fixedValueRules_[key];
  for (FixedValueEntry& existing : list) {
    if (existing.text == entry.text) {
      existing.value = entry.value;
      existing.flags = entry.flags;
      return;
    }
  }
  list.push_back(entry);
}

std::unique_ptr<ConfigValidator> ValidatorBuilder::createValidator() const {
  std::map<std::string, std::unique_ptr<IConfigValueValidator>> validators;
  for (const auto& [key, type] : typeRules_) validators[key] = std::make_unique<TypeValidator>(type);
  for (const auto& [key, acceptAny] : dirnameRules_) validators[key] = std::make_unique<DirnameValidator>(acceptAny);
  for (const auto& [key, entries] : fixedValueRules_) validators[key] = std::make_unique<FixedValueValidator>(entries);
  return std::make_unique<ConfigValidator>(std::move(validators), allowUnknownKeys_);
}

}  // namespace settings_reference
