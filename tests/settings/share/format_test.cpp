// The plain-text format: lines, blanks, comments, separators, errors and their
// positions, stop-on-error, and the writer.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "settings/share/ConfigBuilder.h"
#include "settings/share/PlainTextFileConfigParser.h"

using namespace settings_impl;

namespace {

struct Report {
  uint32_t line;
  uint32_t column;
  std::string message;
};

// Records reports; like the context, it can end the parse by throwing.
class RecordingListener : public IParserErrorListener {
 public:
  explicit RecordingListener(bool throws = false) : throws_(throws) {}
  void onError(const IParserCursor& cursor, const char* message) override {
    const auto& at = static_cast<const Cursor&>(cursor);
    reports.push_back({at.line, at.column, message});
    if (throws_) throw settings::Exception(313);
  }
  std::vector<Report> reports;

 private:
  bool throws_;
};

struct Parsed {
  std::unique_ptr<IConfig> config;
  std::vector<Report> reports;
};

Parsed parse(const std::string& text, bool stopOnError = false, bool allowKeysWithoutValue = false) {
  RecordingListener listener;
  PlainTextFileConfigParser parser(text);
  parser.setErrorListener(&listener);
  parser.setStopOnError(stopOnError);
  parser.setAllowKeysWithoutValue(allowKeysWithoutValue);
  auto config = parser.parse();
  return {std::move(config), listener.reports};
}

TEST(PlainTextFormat, KeysAndValuesAreTrimmedAndSplitAtTheFirstSeparator) {
  const std::vector<std::pair<std::string, std::pair<std::string, std::string>>> cases = {
      {"a=1", {"a", "1"}},          {" a = 1 ", {"a", "1"}},  {"a:1", {"a", "1"}},
      {"a =1\t", {"a", "1"}},       {"a=b=c", {"a", "b=c"}}, {"a:b=c", {"a", "b=c"}},
      {"a = ", {"a", ""}},          {"my key = a b ", {"my key", "a b"}},
      {"a=1 # note", {"a", "1 # note"}}, {"q=\"x\"", {"q", "\"x\""}},
  };
  for (const auto& [line, expected] : cases) {
    Parsed result = parse(line);
    ASSERT_TRUE(result.config) << line;
    ASSERT_TRUE(result.reports.empty()) << line;
    auto keys = result.config->getKeys();
    ASSERT_EQ(keys.size(), 1u) << line;
    EXPECT_EQ(std::string(keys[0]), expected.first) << line;
    EXPECT_EQ(std::string(result.config->getUtf8(keys[0])), expected.second) << line;
  }
}

TEST(PlainTextFormat, CommentsAndBlankLinesAreSkipped) {
  Parsed result = parse("  # note\n#\n\n \t \nz=1");
  EXPECT_TRUE(result.reports.empty());
  EXPECT_EQ(result.config->getKeys().size(), 1u);
}

TEST(PlainTextFormat, ErrorsNameTheLineAndItsFirstNonBlankCharacter) {
  Parsed result = parse("a=1\nb=2\n=1\n   :x");
  ASSERT_EQ(result.reports.size(), 2u);
  EXPECT_EQ(result.reports[0].message, "\"Empty key\" at line 3; char 1");
  EXPECT_EQ(result.reports[1].message, "\"Empty key\" at line 4; char 4");
  EXPECT_EQ(result.reports[1].line, 3u);
  EXPECT_EQ(result.reports[1].column, 3u);
}

TEST(PlainTextFormat, KeyWithoutValueFailsUnlessAllowed) {
  Parsed refused = parse("flag");
  ASSERT_EQ(refused.reports.size(), 1u);
  EXPECT_EQ(refused.reports[0].message, "\"Key without value\" at line 1; char 1");
  EXPECT_TRUE(refused.config->getKeys().empty());

  Parsed allowed = parse("  flag  ", false, true);
  EXPECT_TRUE(allowed.reports.empty());
  ASSERT_EQ(allowed.config->getKeys().size(), 1u);
  EXPECT_EQ(std::string(allowed.config->getKeys()[0]), "flag");
  EXPECT_FALSE(allowed.config->hasValue("flag"));
}

TEST(PlainTextFormat, EveryTerminatorEndsOneLine) {
  // CR LF, CR, LF LF: lines 1, 2, 3, 4 (empty) and 5.
  Parsed result = parse("a=1\r\nb=2\rc=3\n\n=4");
  ASSERT_EQ(result.reports.size(), 1u);
  EXPECT_EQ(result.reports[0].message, "\"Empty key\" at line 5; char 1");
  EXPECT_EQ(result.config->getKeys().size(), 3u);
  // LF CR is two terminators.
  Parsed lfcr = parse("a=1\n\r=2");
  ASSERT_EQ(lfcr.reports.size(), 1u);
  EXPECT_EQ(lfcr.reports[0].line, 2u);
}

TEST(PlainTextFormat, LineNumbersHoldOverManyLinesOfEveryEnding) {
  // Terminators are searched ahead of the line being read; each report must still name
  // its own line, whichever ends come before it and however far the next one is.
  for (const std::string end : {"\n", "\r", "\r\n", "\n\r"}) {
    std::string text;
    for (int i = 0; i < 300; ++i) text += "k" + std::to_string(i) + "=v" + end;
    text += "=x" + end + std::string(5000, ' ') + "y=1" + end + "flag";
    Parsed result = parse(text);
    const uint32_t perLine = end == "\n\r" ? 2 : 1;
    ASSERT_EQ(result.reports.size(), 2u) << end.size();
    EXPECT_EQ(result.reports[0].line, 300 * perLine) << end.size();
    EXPECT_EQ(result.reports[1].line, 302 * perLine) << end.size();
    EXPECT_EQ(result.reports[1].message, "\"Key without value\" at line " + std::to_string(302 * perLine + 1) +
                                             "; char 1");
    ASSERT_TRUE(result.config);
    EXPECT_EQ(result.config->getKeys().size(), 301u);
    EXPECT_STREQ(result.config->getUtf8("y"), "1");
  }
}

TEST(PlainTextFormat, StopOnErrorKeepsNothingAndSkippingKeepsTheGoodLines) {
  Parsed stopped = parse("a=1\n=2\nc=3", true);
  EXPECT_FALSE(stopped.config);
  EXPECT_EQ(stopped.reports.size(), 1u);

  Parsed skipped = parse("a=1\n=2\nc=3", false);
  ASSERT_TRUE(skipped.config);
  EXPECT_EQ(skipped.reports.size(), 1u);
  EXPECT_EQ(std::string(skipped.config->getUtf8("a")), "1");
  EXPECT_EQ(std::string(skipped.config->getUtf8("c")), "3");
}

TEST(PlainTextFormat, AListenerThatThrowsEndsTheParseOnlyWhenStoppingOnErrors) {
  RecordingListener listener(true);
  PlainTextFileConfigParser stopping(std::string("a=1\n=2\n=3"));
  stopping.setErrorListener(&listener);
  EXPECT_THROW(stopping.parse(), settings::Exception);
  EXPECT_EQ(listener.reports.size(), 1u);

  RecordingListener counting(true);
  PlainTextFileConfigParser going(std::string("a=1\n=2\n=3\nd=4"));
  going.setErrorListener(&counting);
  going.setStopOnError(false);
  auto config = going.parse();
  EXPECT_EQ(counting.reports.size(), 2u);
  EXPECT_EQ(config->getKeys().size(), 2u);
}

TEST(PlainTextFormat, TheLastLineForAKeyWins) {
  Parsed result = parse("a=1\na=2");
  EXPECT_EQ(std::string(result.config->getUtf8("a")), "2");
}

TEST(PlainTextFormat, Utf8IsCheckedStructurally) {
  EXPECT_TRUE(parse("k\xC3\xA9=\xE2\x82\xAC").config);
  EXPECT_TRUE(parse("").config);
  for (const std::string bad : {"a=\x80", "a=\xE2" "A", "a=\xFE", "a=\xFF", "a=\xE2\x82"}) {
    try {
      parse(bad);
      ADD_FAILURE() << "accepted invalid UTF-8";
    } catch (const settings::Exception& e) {
      EXPECT_EQ(e.code, 314);
    }
  }
  // Five- and six-byte forms are structurally valid.
  EXPECT_TRUE(isWellFormedUtf8("\xF8\x88\x80\x80\x80"));
  EXPECT_TRUE(isWellFormedUtf8("\xFC\x84\x80\x80\x80\x80"));
}

TEST(PlainTextFormat, Utf8FaultsAreFoundWhereverTheyFallInTheText) {
  // ASCII is passed over in words; faults and sequences must be found at every offset.
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
}

TEST(PlainTextFormat, AKeyThatANulByteCutsToNothingIsAnEmptyKey) {
  Parsed result = parse(std::string("\0a=1\n\0flag\nb\0c=2", 16), false, true);
  ASSERT_EQ(result.reports.size(), 2u);
  EXPECT_EQ(result.reports[0].message, "\"Empty key\" at line 1; char 1");
  EXPECT_EQ(result.reports[1].message, "\"Empty key\" at line 2; char 1");
  ASSERT_EQ(result.config->getKeys().size(), 1u);
  EXPECT_STREQ(result.config->getKeys()[0], "b");
}

TEST(PlainTextFormat, AByteOrderMarkIsPartOfTheFirstKey) {
  Parsed result = parse("\xEF\xBB\xBF" "a=1");
  ASSERT_EQ(result.config->getKeys().size(), 1u);
  EXPECT_EQ(std::string(result.config->getKeys()[0]), "\xEF\xBB\xBF" "a");
}

TEST(PlainTextFormat, UnknownStatusCodesAreReportedAsUnknownError) {
  EXPECT_STREQ(lineStatusText(305), "Invalid comment");
  EXPECT_STREQ(lineStatusText(999), "Unknown error");
}

TEST(PlainTextWriter, WritesSortedLinesWithAndWithoutValues) {
  Parsed parsed = parse("b=2\na\nc=", false, true);
  PlainTextEntrySerializer serializer;
  serializeConfig(*parsed.config, serializer, true);
  EXPECT_EQ(serializer.text(), "a\nb=2\nc=\n");
}

}  // namespace
