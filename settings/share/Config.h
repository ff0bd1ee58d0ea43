// Configurations: immutable, sorted sets of keys, each with an optional typed value.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "settings/share/ExceptionCode.h"

namespace settings_impl {

enum ConfigValueType : uint32_t {
  kUntyped = 100,  // stored when no validator applies; converted on demand
  kUtf8 = 101,
  kInteger = 102,
  kBoolean = 103,
  kDouble = 104,
};

// One stored value: its type, its typed value (integer, boolean, double types only)
// and always the text it came from.
class ConfigValue {
 public:
  // Throws ExceptionCode<302> when the text is not well-formed UTF-8, the conversion's
  // exception when the text does not convert to `type`, and std::runtime_error
  // "unexpected" for a type outside 100..104.
  static std::unique_ptr<ConfigValue> fromText(std::string text, uint32_t type);
  // From a typed value; without a text, the text is made from the value ("true",
  // "42", "0.5"). Throws ExceptionCode<302> for a text that is not UTF-8.
  static std::unique_ptr<ConfigValue> fromInteger(int32_t value, const std::optional<std::string>& text);
  static std::unique_ptr<ConfigValue> fromBoolean(bool value, const std::optional<std::string>& text);
  static std::unique_ptr<ConfigValue> fromDouble(double value, const std::optional<std::string>& text);

  uint32_t type() const { return type_; }
  const std::string& text() const { return text_; }
  int32_t integer() const { return integer_; }
  bool boolean() const { return boolean_; }
  double real() const { return double_; }

 private:
  ConfigValue(uint32_t type, std::string text) : type_(type), text_(std::move(text)) {}
  uint32_t type_;
  int32_t integer_ = 0;
  bool boolean_ = false;
  double double_ = 0;
  std::string text_;
};

// Conversions of value text. A text that does not start with a number, or one out of
// the 32-bit range, throws std::ios_base::failure (not a settings::Exception).
// Integers: leading " \t\n\v" skipped; "0x"/"-0x" hexadecimal, "0"/"-0" octal, else
// decimal; characters after the number are ignored ("12abc" is 12, "08" is 0).
int32_t convertToInteger(const std::string& text);
double convertToDouble(const std::string& text);
// "yes"/"true" and "no"/"false" in any letter case; else an integer, true when not 0.
bool convertToBoolean(const std::string& text);

// Read access to a configuration. A key not in it throws ExceptionCode<303>; a key
// without value asked for a value throws ExceptionCode<301>.
class IConfig {
 public:
  virtual ~IConfig() = default;
  virtual uint32_t getType(const char* key) const = 0;
  virtual bool hasValue(const char* key) const = 0;
  // Valid while the configuration lives, whatever the type.
  virtual const char* getUtf8(const char* key) const = 0;
  // Untyped values are converted on each call; other types than the getter's own
  // throw ExceptionCode<301>.
  virtual int32_t getInteger(const char* key) const = 0;
  virtual double getDouble(const char* key) const = 0;
  virtual bool getBoolean(const char* key) const = 0;
  virtual std::string getText(const char* key) const = 0;
  // In ascending byte order.
  virtual std::vector<const char*> getKeys() const = 0;
};

// Keys compare byte-wise as unsigned bytes, which std::string's ordering does.
using ConfigMap = std::map<std::string, std::unique_ptr<ConfigValue>>;

class Config : public IConfig {
 public:
  Config() = default;
  explicit Config(ConfigMap entries) : entries_(std::move(entries)) {}

  uint32_t getType(const char* key) const override;
  bool hasValue(const char* key) const override;
  const char* getUtf8(const char* key) const override;
  int32_t getInteger(const char* key) const override;
  double getDouble(const char* key) const override;
  bool getBoolean(const char* key) const override;
  std::string getText(const char* key) const override;
  std::vector<const char*> getKeys() const override;

  bool empty() const { return entries_.empty(); }

 private:
  friend std::unique_ptr<Config> mergeConfigs(const IConfig& a, std::unique_ptr<Config> b);
  const ConfigValue* valueOf(const char* key) const;  // throws 303, 301
  ConfigMap entries_;
};

// Each returns a new configuration and leaves its inputs unchanged.
std::unique_ptr<Config> makeEmptyConfig();
// Entries of `b` win over entries of `a` with the same key, also a key without value.
std::unique_ptr<Config> mergeConfigs(const IConfig& a, const IConfig& b);
// The same merge when `b` (not null) is no longer needed: its entries are moved into the
// result rather than made again, and only the entries of `a` that `b` lacks are copied.
std::unique_ptr<Config> mergeConfigs(const IConfig& a, std::unique_ptr<Config> b);
// With mustExist, a listed key that `a` lacks throws ExceptionCode<303>.
std::unique_ptr<Config> removeKeys(const IConfig& a, const std::vector<std::string>& keys, bool mustExist);
// Same keys, and for each the same presence of a value, the same type and the same
// typed value (texts for types 100 and 101). NaN never equals anything.
bool configsEqual(const IConfig& a, const IConfig& b);

// Re-creates the entry of `key` from `source` into `target` (no value stays no value).
void copyEntry(const IConfig& source, const char* key, ConfigMap& target);

}  // namespace settings_impl
