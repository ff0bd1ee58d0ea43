// Validators: which keys a configuration accepts and what their values must be.
// Clients declare one rule per key on a ValidatorBuilder, then build a ConfigValidator.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/settings/share/reference/Config.h"

namespace settings_reference {

// One allowed text of a fixed-value rule.
struct FixedValueEntry {
  std::string text;
  uint32_t value;
  uint32_t flags;  // bit 0: match case-sensitively; bit 1: store `text`, not the text as written
};

class IConfigValueValidator {
 public:
  virtual ~IConfigValueValidator() = default;
  // A new value for the text (null for "no text"), or null; throws
  // ConfigValidator::InavlidValueError for a refused text.
  virtual std::unique_ptr<ConfigValue> validate(const char* text) const = 0;
};

class ConfigValidator {
 public:
  struct Error : std::runtime_error {
    Error() : std::runtime_error("") {}
  };
  struct InavlidValueError : Error {};
  struct InavlidKeyError : Error {};

  ConfigValidator(std::map<std::string, std::unique_ptr<IConfigValueValidator>> validators, bool allowUnknownKeys)
      : validators_(std::move(validators)), allowUnknownKeys_(allowUnknownKeys) {}

  // The value its rule makes from the text; a key without rule gives untyped text when
  // unknown keys are allowed, else InavlidKeyError.
  std::unique_ptr<ConfigValue> makeValue(const std::string& key, const char* text) const;

 private:
  std::map<std::string, std::unique_ptr<IConfigValueValidator>> validators_;
  bool allowUnknownKeys_;
};

// Integer, boolean, double or UTF-8 text. No text is refused, except for booleans,
// which then give no value.
class TypeValidator : public IConfigValueValidator {
 public:
  explicit TypeValidator(uint32_t type) : type_(type) {}
  std::unique_ptr<ConfigValue> validate(const char* text) const override;

 private:
  uint32_t type_;
};

// An absolute directory path ("C:\dir", "d:/x") that passes the path argument test;
// with acceptAny, any text.
class DirnameValidator : public IConfigValueValidator {
 public:
  explicit DirnameValidator(bool acceptAny) : acceptAny_(acceptAny) {}
  std::unique_ptr<ConfigValue> validate(const char* text) const override;

 private:
  bool acceptAny_;
};

// One of a list of texts, each standing for a number; the last matching entry wins.
class FixedValueValidator : public IConfigValueValidator {
 public:
  explicit FixedValueValidator(std::vector<FixedValueEntry> entries) : entries_(std::move(entries)) {}
  std::unique_ptr<ConfigValue> validate(const char* text) const override;

 private:
  std::vector<FixedValueEntry> entries_;
};

// Declaring a rule for a key replaces any rule of another kind for it.
class ValidatorBuilder {
 public:
  void setType(const std::string& key, uint32_t type);
  void setDirname(const std::string& key, bool acceptAny);
  // An entry with the same text (byte-wise) is updated in place; others are appended.
  void addFixedValue(const std::string& key, const FixedValueEntry& entry);
  void allowUnknownKeys(bool allow) { allowUnknownKeys_ = allow; }
  // The builder stays as it is and may be used again.
  std::unique_ptr<ConfigValidator> createValidator() const;

 private:
  std::map<std::string, uint32_t> typeRules_;
  std::map<std::string, bool> dirnameRules_;
  std::map<std::string, std::vector<FixedValueEntry>> fixedValueRules_;
  bool allowUnknownKeys_ = false;
};

}  // namespace settings_reference
