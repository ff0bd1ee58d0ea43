// The configuration store: typed conversions, getters, merge, removal, comparison.
#include <gtest/gtest.h>

#include <cmath>
#include <ios>
#include <limits>
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

TEST(Conversions, IntegersChooseTheirBaseByPrefix) {
  const std::pair<const char*, int32_t> cases[] = {
      {"0x1F", 31}, {"0X1f", 31}, {"-0x10", -16}, {"010", 8}, {"-010", -8}, {"12abc", 12},
      {" 7", 7},    {"\t\v\n7", 7}, {"08", 0},    {"0", 0},   {"-5", -5},   {"2147483647", 2147483647},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(convertToInteger(text), value) << text;
}

TEST(Conversions, TextsThatAreNotNumbersFailWithAStreamFailure) {
  for (const char* text : {"", "abc", "2147483648", "-2147483649", "0x", " - 1", "+"}) {
    EXPECT_THROW(convertToInteger(text), std::ios_base::failure) << text;
  }
  EXPECT_THROW(convertToDouble("x1"), std::ios_base::failure);
}

TEST(Conversions, BooleansAcceptWordsInAnyCaseAndNumbers) {
  EXPECT_TRUE(convertToBoolean("Yes"));
  EXPECT_TRUE(convertToBoolean("TRUE"));
  EXPECT_FALSE(convertToBoolean("no"));
  EXPECT_FALSE(convertToBoolean("False"));
  EXPECT_TRUE(convertToBoolean("2"));
  EXPECT_FALSE(convertToBoolean("0"));
  EXPECT_THROW(convertToBoolean("maybe"), std::ios_base::failure);
  EXPECT_THROW(convertToBoolean(" yes"), std::ios_base::failure);
}

TEST(Conversions, DoublesUseTheStreamSyntax) {
  EXPECT_DOUBLE_EQ(convertToDouble("1.5e2"), 150.0);
  EXPECT_DOUBLE_EQ(convertToDouble(" -0.25x"), -0.25);
}

TEST(ConfigStore, KeysAreListedInByteOrder) {
  auto config = parse("b=1\nB=2\na=3\nab=4");
  std::vector<std::string> keys;
  for (const char* key : config->getKeys()) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"B", "a", "ab", "b"}));
}

TEST(ConfigStore, GettersCheckPresenceValueAndType) {
  auto config = parse("n=42\nflag");
  EXPECT_EQ(config->getInteger("n"), 42);
  expectCode<301>([&] { config->getInteger("flag"); });
  expectCode<303>([&] { config->getInteger("missing"); });
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
}

TEST(ConfigStore, ValuesFromTextRefuseInvalidUtf8AndUnknownTypes) {
  expectCode<302>([] { ConfigValue::fromText("\x80", kUtf8); });
  EXPECT_THROW(ConfigValue::fromText("1", 99), std::runtime_error);
  EXPECT_THROW(ConfigValue::fromText("1", 105), std::runtime_error);
  EXPECT_EQ(ConfigValue::fromBoolean(true, std::nullopt)->text(), "true");
  EXPECT_EQ(ConfigValue::fromInteger(-3, std::nullopt)->text(), "-3");
  EXPECT_EQ(ConfigValue::fromDouble(1.0 / 3, std::nullopt)->text(), "0.333333");
}

TEST(ConfigStore, MergeLetsTheSecondWinAlsoWithoutValue) {
  auto a = parse("x=1\ny=2");
  auto b = parse("y\nz=3");
  auto merged = mergeConfigs(*a, *b);
  EXPECT_STREQ(merged->getUtf8("x"), "1");
  EXPECT_FALSE(merged->hasValue("y"));
  EXPECT_STREQ(merged->getUtf8("z"), "3");
  EXPECT_STREQ(a->getUtf8("y"), "2");  // inputs unchanged
}

TEST(ConfigStore, MergeKeepsTypedValuesAndTheirTexts) {
  ConfigMap entries;
  entries["i"] = ConfigValue::fromText("0x10", kInteger);
  entries["d"] = ConfigValue::fromText("2.5", kDouble);
  entries["b"] = ConfigValue::fromText("Yes", kBoolean);
  Config source(std::move(entries));
  auto copy = mergeConfigs(Config(), source);
  EXPECT_EQ(copy->getType("i"), kInteger);
  EXPECT_EQ(copy->getInteger("i"), 16);
  EXPECT_STREQ(copy->getUtf8("i"), "0x10");
  EXPECT_DOUBLE_EQ(copy->getDouble("d"), 2.5);
  EXPECT_TRUE(copy->getBoolean("b"));
  EXPECT_STREQ(copy->getUtf8("b"), "Yes");
  EXPECT_TRUE(configsEqual(source, *copy));
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

TEST(ConfigStore, MergingIntoAGivenUpConfigurationEqualsTheCopyingMerge) {
  auto make = [](const char* text, const char* typedKey) {
    PlainTextFileConfigParser parser{std::string(text)};
    parser.setAllowKeysWithoutValue(true);
    auto parsed = parser.parse();
    ConfigMap entries;
    for (const char* key : parsed->getKeys()) copyEntry(*parsed, key, entries);
    entries[typedKey] = ConfigValue::fromText("0x10", kInteger);
    return std::make_unique<Config>(std::move(entries));
  };
  auto a = make("shared=a\nonlyA=1\nnone\nloses", "typedA");
  auto b = make("shared=b\nonlyB\nnone=set\nloses", "typedB");
  auto expected = mergeConfigs(*a, *b);
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
    EXPECT_EQ(merged->getKeys().size(), 7u);
    EXPECT_STREQ(a->getUtf8("shared"), "a");  // the first configuration is unchanged
    EXPECT_EQ(a->getKeys().size(), 5u);
  }
}

TEST(ConfigStore, RemovingAMissingKeyFailsAndChangesNothing) {
  auto config = parse("a=1\nb=2");
  expectCode<303>([&] { removeKeys(*config, {"c"}, true); });
  auto removed = removeKeys(*config, {"a"}, true);
  EXPECT_EQ(removed->getKeys().size(), 1u);
  EXPECT_EQ(config->getKeys().size(), 2u);
  EXPECT_EQ(removeKeys(*config, {"c"}, false)->getKeys().size(), 2u);
}

TEST(ConfigStore, EqualityComparesKeysPresenceTypesAndValues) {
  EXPECT_TRUE(configsEqual(Config(), Config()));
  EXPECT_TRUE(configsEqual(*parse("a=1\nb"), *parse("b\na=1")));
  EXPECT_FALSE(configsEqual(*parse("a=1"), *parse("a=2")));
  EXPECT_FALSE(configsEqual(*parse("a=1"), *parse("a")));
  EXPECT_FALSE(configsEqual(*parse("a"), *parse("a=1")));
  EXPECT_FALSE(configsEqual(*parse("a=1"), *parse("b=1")));
  EXPECT_FALSE(configsEqual(*parse("a=1"), *parse("a=1\nb=1")));

  ConfigMap typed;
  typed["a"] = ConfigValue::fromText("1", kInteger);
  EXPECT_FALSE(configsEqual(*parse("a=1"), Config(std::move(typed))));

  auto nanConfig = [] {
    ConfigMap entries;
    entries["d"] = ConfigValue::fromDouble(std::numeric_limits<double>::quiet_NaN(), std::string("nan"));
    return Config(std::move(entries));
  };
  Config n1 = nanConfig();
  EXPECT_FALSE(configsEqual(n1, nanConfig()));
  EXPECT_TRUE(configsEqual(n1, n1));  // the same object
}

}  // namespace
