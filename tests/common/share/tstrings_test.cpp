// Text helpers: formatting, splitting, trimming and the encodings.
#include <gtest/gtest.h>

#include "common/share/tstrings.h"
#include "tests/support/TestMachine.h"

namespace {

TEST(TstringsFormat, GrowsPastItsFirstBufferAndRefusesANullFormat) {
  std::string path(1000, 'p');
  EXPECT_EQ(tstrings::format("%s\\%s", path.c_str(), "zuna.exe"), path + "\\zuna.exe");
  EXPECT_EQ(tstrings::format("%s", std::string(256, 'x').c_str()).size(), 256u);
  EXPECT_EQ(tstrings::format("%d-%u", -3, 7u), "-3-7");
  EXPECT_EQ(tstrings::format("%s", ""), "");
  const char* none = nullptr;
  EXPECT_THROW((void)tstrings::format(none), std::invalid_argument);
}

TEST(TstringsSplit, KeepsEmptyPieces) {
  using V = std::vector<std::string>;
  EXPECT_EQ(tstrings::split("a.b..c", "."), (V{"a", "b", "", "c"}));
  EXPECT_EQ(tstrings::split("1.8.0", "."), (V{"1", "8", "0"}));
  EXPECT_EQ(tstrings::split("a.", "."), (V{"a", ""}));
  EXPECT_EQ(tstrings::split("a::b", "::"), (V{"a", "b"}));
  EXPECT_TRUE(tstrings::split("", ".").empty());
  EXPECT_TRUE(tstrings::split("abc", "").empty());
}

TEST(TstringsTrim, RemovesOnlyTheGivenCharacters) {
  EXPECT_EQ(tstrings::trim(" \t a b \t"), "a b");
  EXPECT_EQ(tstrings::trim(" \t \t"), "");
  EXPECT_EQ(tstrings::trim("xxaxx", "x"), "a");
  EXPECT_EQ(tstrings::trim("\na\n"), "\na\n");
}

TEST(TstringsCase, FoldsAsciiLetters) { EXPECT_EQ(tstrings::toLower("C:\\Program FILES"), "c:\\program files"); }

TEST(TstringsNumbers, AreDecimal) {
  EXPECT_EQ(tstrings::toString(-42), "-42");
  EXPECT_EQ(tstrings::toString(4294967295u), "4294967295");
}

TEST(TstringsUtf, RoundTripsAndRefusesBadInput) {
  std::string text = "Zuna \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // é € and an emoji
  std::wstring wide = tstrings::fromUtf8(text);
  ASSERT_EQ(wide.size(), 9u);
  EXPECT_EQ(wide[7], static_cast<wchar_t>(0xD83D));  // UTF-16 surrogates on every host
  EXPECT_EQ(tstrings::toUtf8(wide), text);
  for (const char* bad : {"\xFF", "\xC3", "\xC0\x80", "\xED\xA0\x80", "a\x80"}) {
    EXPECT_THROW(tstrings::fromUtf8(bad), std::range_error) << bad;
  }
  try {
    tstrings::fromUtf8("\xFF");
  } catch (const std::range_error& e) {
    EXPECT_STREQ(e.what(), "bad conversion");
  }
  EXPECT_THROW(tstrings::toUtf8(std::wstring(1, static_cast<wchar_t>(0xD800))), std::range_error);
  EXPECT_THROW(tstrings::toUtf8(std::wstring(1, static_cast<wchar_t>(0xDC00))), std::range_error);
}

class TstringsAnsiTest : public zutest::MachineTest {};

TEST_F(TstringsAnsiTest, AnsiCodePageReplacesWhatItLacks) {
  EXPECT_EQ(tstrings::utf8ToACP("caf\xC3\xA9 \xE4\xB8\xAD"), "caf\xE9 ?");
  EXPECT_EQ(tstrings::toACP(L""), "");
}

}  // namespace
