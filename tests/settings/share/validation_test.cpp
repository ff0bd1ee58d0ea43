// Validators: type, fixed-value and directory-name rules, and how the builder keeps
// one rule per key.
#include <gtest/gtest.h>

#include <string>

#include "settings/share/ConfigBuilder.h"
#include "settings/share/PlainTextFileConfigParser.h"
#include "settings/share/Validators.h"

using namespace settings_impl;

namespace {

class Collecting : public IParserErrorListener {
 public:
  void onError(const IParserCursor&, const char* message) override { messages.push_back(message); }
  std::vector<std::string> messages;
};

struct Result {
  std::unique_ptr<IConfig> config;
  std::vector<std::string> messages;
};

Result parseWith(const ValidatorBuilder& builder, const std::string& text) {
  auto validator = builder.createValidator();
  Collecting listener;
  PlainTextFileConfigParser parser(text);
  parser.setValidator(validator.get());
  parser.setErrorListener(&listener);
  parser.setStopOnError(false);
  parser.setAllowKeysWithoutValue(true);
  return {parser.parse(), listener.messages};
}

TEST(Validation, FixedValuesMatchWithoutCaseAndStoreTheirNumber) {
  ValidatorBuilder builder;
  builder.addFixedValue("k", {"Enable", 1, 0});
  builder.addFixedValue("k", {"Disable", 0, 0});
  Result accepted = parseWith(builder, "k=enable");
  EXPECT_EQ(accepted.config->getInteger("k"), 1);
  EXPECT_STREQ(accepted.config->getUtf8("k"), "enable");

  Result refused = parseWith(builder, "k=on");
  ASSERT_EQ(refused.messages.size(), 1u);
  EXPECT_EQ(refused.messages[0], "\"Invalid value\" at line 1; char 1");
}

TEST(Validation, FixedValueFlagsSelectCaseAndStoredText) {
  ValidatorBuilder builder;
  builder.addFixedValue("k", {"Enable", 1, 2});
  EXPECT_STREQ(parseWith(builder, "k=ENABLE").config->getUtf8("k"), "Enable");

  ValidatorBuilder exact;
  exact.addFixedValue("k", {"Enable", 1, 1});
  EXPECT_EQ(parseWith(exact, "k=enable").messages.size(), 1u);
  EXPECT_TRUE(parseWith(exact, "k=Enable").messages.empty());
}

TEST(Validation, FixedValueEntriesWithTheSameTextAreUpdatedAndTheLastMatchWins) {
  ValidatorBuilder builder;
  builder.addFixedValue("k", {"a", 1, 0});
  builder.addFixedValue("k", {"A", 2, 0});
  builder.addFixedValue("k", {"a", 3, 0});  // updates the first entry in place
  EXPECT_EQ(parseWith(builder, "k=a").config->getInteger("k"), 2);
}

TEST(Validation, OneRulePerKeyTheLastDeclarationWins) {
  ValidatorBuilder integerLast;
  integerLast.setDirname("k", false);
  integerLast.setType("k", kInteger);
  EXPECT_EQ(parseWith(integerLast, "k=5").config->getType("k"), kInteger);

  ValidatorBuilder dirnameLast;
  dirnameLast.setType("k", kInteger);
  dirnameLast.setDirname("k", false);
  EXPECT_EQ(parseWith(dirnameLast, "k=5").messages.size(), 1u);
  EXPECT_EQ(parseWith(dirnameLast, "k=C:\\x").config->getType("k"), kUtf8);
}

TEST(Validation, DirectoryNamesMustBeAbsoluteAndAcceptable) {
  ValidatorBuilder builder;
  builder.setDirname("d", false);
  for (const char* good : {"C:\\dir\\sub", "d:/x", "C:\\con\\x"}) {
    Result result = parseWith(builder, std::string("d=") + good);
    EXPECT_TRUE(result.messages.empty()) << good;
  }
  for (const char* bad : {"dir\\sub", "\\\\host\\share", "C:\\CON\\x", "C:\\a|b", ""}) {
    Result result = parseWith(builder, std::string("d=") + bad);
    EXPECT_EQ(result.messages.size(), 1u) << bad;
  }
  ValidatorBuilder any;
  any.setDirname("d", true);
  EXPECT_TRUE(parseWith(any, "d=rel|ative").messages.empty());
}

TEST(Validation, UnknownKeysAreRefusedUnlessAllowed) {
  ValidatorBuilder builder;
  builder.setType("known", kUtf8);
  Result refused = parseWith(builder, "other=1");
  ASSERT_EQ(refused.messages.size(), 1u);
  EXPECT_EQ(refused.messages[0], "\"Invalid key\" at line 1; char 1");
  builder.allowUnknownKeys(true);
  EXPECT_EQ(parseWith(builder, "other=1").config->getType("other"), kUntyped);
}

TEST(Validation, KeysWithoutValuePassEveryRule) {
  ValidatorBuilder builder;
  builder.setType("n", kInteger);
  Result result = parseWith(builder, "n\nunknown");
  EXPECT_TRUE(result.messages.empty());
  EXPECT_FALSE(result.config->hasValue("n"));
  EXPECT_FALSE(result.config->hasValue("unknown"));
}

TEST(Validation, ANumberThatDoesNotConvertEndsTheParse) {
  ValidatorBuilder builder;
  builder.setType("n", kInteger);
  EXPECT_THROW(parseWith(builder, "n=abc"), std::ios_base::failure);
}

TEST(Validation, TypeValidatorWithoutTextGivesNoBooleanAndRefusesOthers) {
  EXPECT_EQ(TypeValidator(kBoolean).validate(nullptr), nullptr);
  EXPECT_THROW(TypeValidator(kInteger).validate(nullptr), ConfigValidator::InavlidValueError);
  EXPECT_THROW(DirnameValidator(true).validate(nullptr), ConfigValidator::InavlidValueError);
}

}  // namespace
