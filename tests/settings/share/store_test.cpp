// The configuration store: conversions of value texts, getters, merge, comparison, and
// the UTF-8 check every text passes through.
#include <gtest/gtest.h>

#include <ios>
#include <string>

#include "settings/share/Config.h"
#include "settings/share/PlainTextFileConfigParser.h"

using namespace settings_impl;

namespace {

std::unique_ptr<IConfig> parse(const std::string& text) {
  PlainTextFileConfigParser parser(text);
  parser.setAllowKeysWithoutValue(true);
  return parser.parse();
}

template <int32_t N, class F>
void expectCode(F&& f) {
  try {
    f();
    ADD_FAILURE() << "no exception, expected " << N;
  } catch (const settings::Exception& e) {
    EXPECT_EQ(e.code, N);
  }
}

TEST(Conversions, IntegersChooseTheirBaseByPrefixAndBooleansTakeWordsOrNumbers) {
  const std::pair<const char*, int32_t> integers[] = {
      {"0x1F", 31}, {"0X1f", 31}, {"-0x10", -16}, {"010", 8}, {"-010", -8}, {"12abc", 12},
      {" 7", 7},    {"\t\v\n7", 7}, {"08", 0},    {"0", 0},   {"-5", -5},   {"2147483647", 2147483647},
  };
  for (const auto& [text, value] : integers) EXPECT_EQ(convertToInteger(text), value) << text;
  for (const char* text : {"", "abc", "2147483648", "-2147483649", "0x", " - 1", "+"}) {
    EXPECT_THROW(convertToInteger(text), std::ios_base::failure) << text;
  }
  EXPECT_TRUE(convertToBoolean("Yes"));
  EXPECT_FALSE(convertToBoolean("False"));
  EXPECT_FALSE(convertToBoolean("0"));
  EXPECT_THROW(convertToBoolean(" yes"), std::ios_base::failure);
  EXPECT_DOUBLE_EQ(convertToDouble(" -0.25x"), -0.25);
  EXPECT_THROW(convertToDouble("x1"), std::ios_base::failure);
}

TEST(ConfigStore, GettersCheckPresenceValueAndType) {
  auto config = parse("n=42\nflag");
  expectCode<301>([&] { config->getInteger("flag"); });
  expectCode<303>([&] { config->hasValue("missing"); });
  expectCode<301>([&] { config->getType("flag"); });
  EXPECT_EQ(config->getType("n"), kUntyped);

  ConfigMap typed;
  typed["t"] = ConfigValue::fromText("42", kUtf8);
  typed["i"] = ConfigValue::fromText("0x10", kInteger);
  Config store(std::move(typed));
  expectCode<301>([&] { store.getInteger("t"); });
  expectCode<301>([&] { store.getBoolean("i"); });
  EXPECT_EQ(store.getInteger("i"), 16);
  EXPECT_STREQ(store.getUtf8("i"), "0x10");
  expectCode<302>([] { ConfigValue::fromText("\x80", kUtf8); });
  EXPECT_THROW(ConfigValue::fromText("1", 105), std::runtime_error);
}

// Another implementation of the read interface, as a merge may be given.
class ForwardingConfig : public IConfig {
 public:
  explicit ForwardingConfig(const IConfig& inner) : inner_(inner) {}
  uint32_t getType(const char* key) const override { return inner_.getType(key); }
  bool hasValue(const char* key) const override { return inner_.hasValue(key); }
  const char* getUtf8(const char* key) const override { return inner_.getUtf8(key); }
  int32_t getInteger(const char* key) const override { return inner_.getInteger(key); }
  double getDouble(const char* key) const override { return inner_.getDouble(key); }
  bool getBoolean(const char* key) const override { return inner_.getBoolean(key); }
  std::string getText(const char* key) const override { return inner_.getText(key); }
  std::vector<const char*> getKeys() const override { return inner_.getKeys(); }

 private:
  const IConfig& inner_;
};

// The merge that takes over a given-up configuration must equal the copying one, keep
// typed values with their texts, and leave the first configuration as it was.
TEST(ConfigStore, MergingIntoAGivenUpConfigurationEqualsTheCopyingMerge) {
  auto make = [](const char* text, const char* typedKey) {
    auto parsed = parse(text);
    ConfigMap entries;
    for (const char* key : parsed->getKeys()) copyEntry(*parsed, key, entries);
    entries[typedKey] = ConfigValue::fromText("0x10", kInteger);
    entries["d"] = ConfigValue::fromText("2.5", kDouble);
    entries["b"] = ConfigValue::fromText("Yes", kBoolean);
    return std::make_unique<Config>(std::move(entries));
  };
  auto a = make("shared=a\nonlyA=1\nnone\nloses", "typedA");
  auto b = make("shared=b\nonlyB\nnone=set\nloses", "typedB");
  auto expected = mergeConfigs(*a, *b);
  EXPECT_TRUE(configsEqual(*mergeConfigs(Config(), *a), *a));
  for (bool forwarded : {false, true}) {
    ForwardingConfig view(*a);
    const IConfig& first = forwarded ? static_cast<const IConfig&>(view) : *a;
    auto merged = mergeConfigs(first, make("shared=b\nonlyB\nnone=set\nloses", "typedB"));
    EXPECT_TRUE(configsEqual(*merged, *expected)) << forwarded;
    EXPECT_STREQ(merged->getUtf8("shared"), "b");
    EXPECT_FALSE(merged->hasValue("onlyB"));
    EXPECT_STREQ(merged->getUtf8("none"), "set");
    EXPECT_EQ(merged->getInteger("typedA"), 16);
    EXPECT_STREQ(merged->getUtf8("typedA"), "0x10");
    EXPECT_DOUBLE_EQ(merged->getDouble("d"), 2.5);
    EXPECT_TRUE(merged->getBoolean("b"));
    EXPECT_STREQ(merged->getUtf8("b"), "Yes");
    EXPECT_EQ(merged->getKeys().size(), 9u);
    EXPECT_STREQ(a->getUtf8("shared"), "a");  // the first configuration is unchanged
    EXPECT_EQ(a->getKeys().size(), 7u);
  }
}

TEST(ConfigStore, EqualityComparesKeysPresenceTypesAndValues) {
  EXPECT_TRUE(configsEqual(Config(), Config()));
  EXPECT_TRUE(configsEqual(*parse("a=1\nb"), *parse("b\na=1")));
  for (const char* other : {"a=2", "a", "b=1", "a=1\nb=1"}) EXPECT_FALSE(configsEqual(*parse("a=1"), *parse(other)));
  EXPECT_FALSE(configsEqual(*parse("a"), *parse("a=1")));
  auto typed = [](const char* text, uint32_t type) {
    ConfigMap entries;
    entries["a"] = ConfigValue::fromText(text, type);
    return Config(std::move(entries));
  };
  EXPECT_FALSE(configsEqual(*parse("a=1"), typed("1", kInteger)));
  EXPECT_FALSE(configsEqual(typed("1.5", kDouble), typed("2.5", kDouble)));
  EXPECT_TRUE(configsEqual(typed("2.5", kDouble), typed("2.50", kDouble)));
}

// ASCII is passed over in words; faults and sequences must be found at every offset.
TEST(Utf8Check, FaultsAreFoundWhereverTheyFallInTheText) {
  for (size_t before = 0; before < 20; ++before) {
    std::string ascii(before, 'a');
    for (const std::string bad : {"\x80", "\xFF", "\xE2" "A", "\xC3" "\xC3"}) {
      EXPECT_FALSE(isWellFormedUtf8(ascii + bad + std::string(13, 'b'))) << before;
      EXPECT_FALSE(isWellFormedUtf8(ascii + bad)) << before;
    }
    EXPECT_FALSE(isWellFormedUtf8(ascii + "\xF0\x9F\x98")) << before;  // cut off by the end
    EXPECT_TRUE(isWellFormedUtf8(ascii + "\xF0\x9F\x98\x80" + std::string(9, 'c') + "\xC3\xA9")) << before;
    EXPECT_TRUE(isWellFormedUtf8(ascii)) << before;
  }
  // Five- and six-byte forms are structurally valid.
  EXPECT_TRUE(isWellFormedUtf8("\xF8\x88\x80\x80\x80"));
  EXPECT_TRUE(isWellFormedUtf8("\xFC\x84\x80\x80\x80\x80"));
}

}  // namespace
