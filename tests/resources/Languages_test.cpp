// The program's resources in every language it carries: complete, with the placeholders
// of the English texts, convertible to the language's own ANSI code page, and short
// enough for the dialogs' layout. Then how the machine's language picks them.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>

#include "platform/hosted/api/Resources.h"
#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Text.h"
#include "resources/filesinuse.h"
#include "resources/shortcut_strings.h"
#include "tests/support/TestMachine.h"

namespace {

using namespace std::string_literals;
using hosted::LanguageResources;

const hosted::ExecutableResources& resources() { return hostedExecutableResources; }

const LanguageResources& language(const std::string& tag) {
  for (size_t i = 0; i < resources().languageCount; ++i) {
    if (resources().languages[i].tag == tag) return resources().languages[i];
  }
  ADD_FAILURE() << "no language " << tag;
  return resources().languages[0];
}

std::map<unsigned, std::string> strings(const LanguageResources& l) {
  std::map<unsigned, std::string> out;
  for (size_t i = 0; i < l.stringCount; ++i) out[l.strings[i].id] = l.strings[i].text;
  return out;
}

const hosted::DialogResource* dialog(const LanguageResources& l, int id) {
  for (size_t i = 0; i < l.dialogCount; ++i) {
    if (l.dialogs[i].id == id) return &l.dialogs[i];
  }
  return nullptr;
}

// The ANSI code page of a Windows set up for the language.
unsigned codePageOf(const std::string& tag) {
  static const std::map<std::string, unsigned> pages = {
      {"ja-JP", 932}, {"zh-CN", 936}, {"ko-KR", 949}, {"zh-TW", 950}};
  auto it = pages.find(tag);
  return it == pages.end() ? 1252 : it->second;
}

std::vector<std::string> tags() {
  std::vector<std::string> out;
  for (size_t i = 0; i < resources().languageCount; ++i) out.push_back(resources().languages[i].tag);
  return out;
}

TEST(Languages, EveryLanguageHasEveryStringAndDialogControlEnglishHas) {
  const LanguageResources& english = language("en-US");
  auto englishStrings = strings(english);
  for (const std::string& tag : tags()) {
    SCOPED_TRACE(tag);
    const LanguageResources& l = language(tag);
    auto texts = strings(l);
    EXPECT_EQ(texts.size(), l.stringCount) << "an id twice";
    for (const auto& [id, text] : englishStrings) {
      ASSERT_TRUE(texts.count(id)) << "string " << id;
      EXPECT_FALSE(texts[id].empty()) << "string " << id;
      EXPECT_TRUE(hosted::isValidUtf8(texts[id])) << "string " << id;
    }
    EXPECT_EQ(texts.size(), englishStrings.size());
    ASSERT_EQ(l.dialogCount, english.dialogCount);
    for (size_t d = 0; d < english.dialogCount; ++d) {
      const hosted::DialogResource* mine = dialog(l, english.dialogs[d].id);
      ASSERT_NE(mine, nullptr) << "dialog " << english.dialogs[d].id;
      ASSERT_EQ(mine->controlCount, english.dialogs[d].controlCount);
      for (size_t c = 0; c < mine->controlCount; ++c) {
        EXPECT_EQ(mine->controls[c].id, english.dialogs[d].controls[c].id);
        EXPECT_EQ(mine->controls[c].text == nullptr, english.dialogs[d].controls[c].text == nullptr);
      }
    }
    EXPECT_EQ(dialog(l, IDD_FILESINUSE)->caption, texts[IDS_FIU_CONFIRM_PROGRAMS_CAPTION]);
    EXPECT_EQ(dialog(l, IDD_BROWSERINUSE)->caption, texts[IDS_FIU_CONFIRM_BROWSERS_CAPTION]);
  }
}

// A translation that drops or adds a %s would print garbage or read past the arguments.
TEST(Languages, TranslatedFormatsKeepTheirPlaceholders) {
  std::regex directive("%[^%]|%%");
  auto directives = [&](const std::string& text) {
    std::string out;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), directive); it != std::sregex_iterator(); ++it) {
      out += it->str();
    }
    return out;
  };
  auto english = strings(language("en-US"));
  for (const std::string& tag : tags()) {
    SCOPED_TRACE(tag);
    for (const auto& [id, text] : strings(language(tag))) {
      EXPECT_EQ(directives(text), directives(english[id])) << "string " << id << ": " << text;
    }
  }
}

// A Windows set up for the language converts every text to its ANSI code page for the
// narrow functions; a character the page lacks would show as '?'.
TEST(Languages, EveryTextFitsTheLanguagesOwnCodePage) {
  for (const std::string& tag : tags()) {
    SCOPED_TRACE(tag);
    hosted::setAnsiCodePage(codePageOf(tag));
    auto check = [&](const std::string& text) {
      bool usedDefault = false;
      std::string ansi = hosted::wideToAnsi(hosted::utf8ToWide(text), &usedDefault);
      EXPECT_FALSE(usedDefault) << text;
      EXPECT_EQ(hosted::ansiToUtf8(ansi), text);
    };
    const LanguageResources& l = language(tag);
    for (const auto& [id, text] : strings(l)) check(text);
    for (size_t d = 0; d < l.dialogCount; ++d) {
      check(l.dialogs[d].caption);
      for (size_t c = 0; c < l.dialogs[d].controlCount; ++c) {
        if (l.dialogs[d].controls[c].text) check(l.dialogs[d].controls[c].text);
      }
    }
  }
  hosted::setAnsiCodePage(1252);
}

TEST(Languages, ShortcutNamesAreFileNames) {
  for (const std::string& tag : tags()) {
    auto texts = strings(language(tag));
    for (unsigned id : {IDS_SC_VISIT_NAME, IDS_SC_HELP_NAME, IDS_SC_CONFIGURE_NAME, IDS_SC_UPDATE_NAME,
                        IDS_SC_ABOUT_NAME, IDS_SC_DOCS_NAME, IDS_SC_FLIGHTDECK_NAME}) {
      const std::string& name = texts[id];
      EXPECT_EQ(name.find_first_of("\\/:*?\"<>|"), std::string::npos) << tag << ": " << name;
      EXPECT_NE(name.back(), '.') << tag << ": " << name;
      EXPECT_NE(name.back(), ' ') << tag << ": " << name;
    }
  }
}

// The width of a text in dialog units of the dialog's font, estimated: a Western letter
// is about 3.5 units wide at 8 points, a full-width (CJK) character about 7.5; widths grow
// with the font's size, bold adds a tenth.
double characterWidth(char32_t c, double points, bool bold) {
  bool wide = (c >= 0x1100 && c <= 0x11FF) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
              (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFF60);
  return (wide ? 7.5 : 3.5) * points / 8 * (bold ? 1.1 : 1.0);
}

// The lines a text takes when wrapped at spaces (and between full-width characters) to
// `width` units.
int wrappedLines(const std::string& utf8, double width, double points, bool bold) {
  std::wstring text = hosted::utf8ToWide(utf8);
  int lines = 1;
  double line = 0, word = 0;
  for (wchar_t w : text) {
    char32_t c = static_cast<char32_t>(w);
    double cw = characterWidth(c, points, bold);
    bool breakAfter = c == U' ' || cw > 5 * points / 8;
    word += cw;
    if (breakAfter || &w == &text.back()) {
      if (line + word > width && line > 0) {
        ++lines;
        line = 0;
      }
      line += word;
      word = 0;
    }
  }
  return lines;
}

TEST(Languages, EveryDialogTextFitsItsControl) {
  for (const std::string& tag : tags()) {
    const LanguageResources& l = language(tag);
    for (size_t d = 0; d < l.dialogCount; ++d) {
      for (size_t c = 0; c < l.dialogs[d].controlCount; ++c) {
        const hosted::ControlResource& control = l.dialogs[d].controls[c];
        if (!control.text) continue;
        // The dialog draws its title at 12 points bold, its other texts at 10; the button
        // keeps the dialog's font and needs room for its frame.
        double points = control.id == IDC_FIU_TITLE ? 12 : control.id == IDOK ? 8 : 10;
        bool bold = control.id == IDC_FIU_TITLE;
        double width = control.id == IDOK ? control.width - 8 : control.width;
        int lines = std::max(1, static_cast<int>(control.height / points));  // a line is as tall as its font
        EXPECT_LE(wrappedLines(control.text, width, points, bold), lines)
            << tag << ", dialog " << l.dialogs[d].id << ", control " << control.id << ": " << control.text;
      }
      EXPECT_LE(wrappedLines(l.dialogs[d].caption, FIU_DIALOG_WIDTH - 40, 8, true), 1) << tag;
    }
  }
}

class LanguageChoice : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }
};

// The machine's language picks the strings LoadStringA gives, in the machine's code page.
TEST_F(LanguageChoice, TheMachinesLanguagePicksTheStrings) {
  const struct {
    const char* locale;
    unsigned id;
    const char* text;  // in the machine's code page
  } cases[] = {
      {R"({"uiLanguage": "de-DE"})", IDS_SC_ABOUT_NAME, "Info \xfc" "ber Zuna"},
      {R"({"uiLanguage": "es-MX"})", IDS_SC_HELP_NAME, "Obtener ayuda"},  // a region reads its language
      {R"({"uiLanguage": "PT-br"})", IDS_SC_HELP_NAME, "Obter ajuda"},    // tags compare without case
      {R"({"uiLanguage": "pt-PT"})", IDS_SC_ABOUT_NAME, "About Zuna"},    // not the Brazilian one
      {"{}", IDS_SC_ABOUT_NAME, "About Zuna"},
      {R"({"uiLanguage": "ja-JP", "codePage": 932})", IDS_SC_ABOUT_NAME, "Zuna \x82\xc9\x82\xc2\x82\xa2\x82\xc4"},
      {R"({"uiLanguage": "ja-JP"})", IDS_SC_ABOUT_NAME, "Zuna ????"},  // a Western page lacks kana
  };
  for (const auto& c : cases) {
    zutest::writeFile(dir() / "machine.json", "{\"locale\": "s + c.locale + "}");
    load();
    char buffer[64] = "sentinel";
    LoadStringA(nullptr, c.id, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, c.text) << c.locale;
    hosted::Machine::unload();
  }
}

}  // namespace
