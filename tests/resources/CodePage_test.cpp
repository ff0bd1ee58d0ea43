// The machine's ANSI code page: what the narrow functions convert through, as on a
// Windows set up for the language.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Text.h"
#include "tests/support/TestMachine.h"

namespace {

class CodePage : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }
  void loadWithCodePage(unsigned codePage) {
    zutest::writeFile(dir() / "machine.json",
                      "{\"locale\": {\"codePage\": " + std::to_string(codePage) + "}}");
    load();
  }
  std::wstring toWide(const std::string& ansi) {
    std::wstring out(64, L'\0');
    int n = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), static_cast<int>(ansi.size()), out.data(), 64);
    out.resize(n > 0 ? n : 0);
    return out;
  }
  std::string toAnsi(const std::wstring& wide, BOOL* usedDefault = nullptr) {
    std::string out(64, '\0');
    int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), out.data(), 64, nullptr,
                                usedDefault);
    out.resize(n > 0 ? n : 0);
    return out;
  }
};

TEST_F(CodePage, AMachineIsWesternUnlessItSaysOtherwise) {
  zutest::writeFile(dir() / "machine.json", "{}");
  load();
  EXPECT_EQ(machine().facts().codePage, 1252u);
  EXPECT_EQ(toWide("\x80\xe9"), std::wstring(L"\u20ac\u00e9"));
}

TEST_F(CodePage, EachEastAsianPageConvertsBothWays) {
  struct Case {
    unsigned codePage;
    std::wstring text;
    std::string bytes;
  };
  const Case cases[] = {
      {932, L"\u8a2d\u5b9a", "\x90\xdd\x92\xe8"},  // 設定 in Shift-JIS
      {936, L"\u8bbe\u7f6e", "\xc9\xe8\xd6\xc3"},  // 设置 in GBK
      {949, L"\uc124\uc815", "\xbc\xb3\xc1\xa4"},  // 설정 in Unified Hangul Code
      {950, L"\u8a2d\u5b9a", "\xb3\x5d\xa9\x77"},  // 設定 in Big5
      // A path keeps its separators: the backslash is 0x5C in every supported page, and a
      // trail byte 0x5C (the second byte of 表 in Shift-JIS) is not a separator.
      {932, L"C:\\\u8868\\a", "C:\\\x95\x5c\\a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.codePage);
    loadWithCodePage(c.codePage);
    EXPECT_EQ(toAnsi(c.text), c.bytes);
    EXPECT_EQ(toWide(c.bytes), c.text);
    hosted::Machine::unload();
  }
  EXPECT_EQ(hosted::ansiCodePage(), 1252u) << "unloading the machine restores the Western page";
}

// As WideCharToMultiByte documents it (and Wine's tables agree): a letter the page
// lacks becomes its best-fit look-alike unless WC_NO_BEST_FIT_CHARS; what has none
// becomes the default character ('?' or the caller's) and says so.
TEST_F(CodePage, ACharacterThePageLacksBecomesItsBestFitOrTheDefault) {
  loadWithCodePage(932);
  BOOL usedDefault = FALSE;
  EXPECT_EQ(toAnsi(L"a\u00e9b\u20acc", &usedDefault), "a?b?c");
  EXPECT_TRUE(usedDefault);
  hosted::Machine::unload();

  loadWithCodePage(1252);
  EXPECT_EQ(toAnsi(L"\u0141\u00f3d\u017a \uff21", &usedDefault), "L\xf3" "dz A");
  EXPECT_FALSE(usedDefault);
  char out[16] = {};
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, L"\u0141\u00f3", 2, out, 16, nullptr, &usedDefault), 2);
  EXPECT_EQ(std::string(out, 2), "?\xf3");
  EXPECT_TRUE(usedDefault);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"\u65e5", 1, out, 16, "_", &usedDefault), 1);
  EXPECT_EQ(out[0], '_');
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"a", 1, out, 16, nullptr, &usedDefault), 0) << "UTF-8 has no default";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// CP_THREAD_ACP is the page of the user's formats: Russian formats on a Western system.
TEST_F(CodePage, TheThreadPageFollowsTheFormatLocale) {
  zutest::writeFile(dir() / "machine.json", R"({"locale": {"codePage": 1252, "threadCodePage": 1251}})");
  load();
  EXPECT_EQ(toWide("\xfc"), std::wstring(L"\u00fc"));
  wchar_t wide[4] = {};
  EXPECT_EQ(MultiByteToWideChar(CP_THREAD_ACP, 0, "\xfc", 1, wide, 4), 1);
  EXPECT_EQ(wide[0], L'\u044c');
}

TEST_F(CodePage, ACutOffDoubleByteCharacterIsReplacedNotDropped) {
  loadWithCodePage(932);
  EXPECT_EQ(toWide("ab\x82"), std::wstring(L"ab\ufffd"));
}

TEST_F(CodePage, AJapaneseFileNameIsJapaneseOnTheHost) {
  loadWithCodePage(932);
  // 設定.txt, named through the narrow function.
  HANDLE file = CreateFileA("C:\\\x90\xdd\x92\xe8.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  EXPECT_TRUE(std::filesystem::exists(dir() / "drives" / "C" / "\u8a2d\u5b9a.txt"));
}

TEST_F(CodePage, AnotherPageNamedExplicitlyConvertsThroughThatPage) {
  loadWithCodePage(932);
  wchar_t wide[8] = {};
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "\x80", 1, wide, 8), 1);
  EXPECT_EQ(wide[0], L'\u20ac');
  char narrow[8] = {};
  EXPECT_EQ(WideCharToMultiByte(949, 0, L"\uc124", 1, narrow, 8, nullptr, nullptr), 2);
  EXPECT_EQ(std::string(narrow, 2), "\xbc\xb3");
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(437, 0, "a", 1, wide, 8), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(CodePageFacts, AnUnsupportedPageIsRefused) {
  for (const char* text : {R"({"locale": {"codePage": 437}})", R"({"locale": {"codePage": "932"}})",
                           R"({"locale": {"codePage": -1}})", R"({"locale": {"threadCodePage": 850}})"}) {
    try {
      hosted::parseFacts(text, "machine.json");
      ADD_FAILURE() << "accepted: " << text;
    } catch (const hosted::HostFailure& failure) {
      EXPECT_EQ(failure.status, 65);
      EXPECT_NE(failure.message.find("odePage must be one of 1252, 1251, 932, 936, 949, 950"), std::string::npos)
          << failure.message;
    }
  }
}

}  // namespace
