// The entry-point table as a client uses it: imports (the text format, validators and
// key mappers) as a table of texts and what a client then sees, argument checks, reads,
// erasure, iteration, comparison and the machine-wide configuration file.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "settings/share/settings.h"
#include "tests/support/TestMachine.h"

namespace {

using namespace std::string_literals;

class SettingsApi : public zutest::MachineTest {
 protected:
  void SetUp() override {
    zutest::MachineTest::SetUp();
    settings_get_api(&api);
    context = api.context_create();
    ASSERT_NE(context, nullptr);
  }
  void TearDown() override {
    api.context_destroy(context);
    zutest::MachineTest::TearDown();
  }
  int importText(const char* text, bool stopOnError = true, bool allowKeysWithoutValue = false) {
    return api.context_import_from_string(context, text, nullptr, nullptr, stopOnError, allowKeysWithoutValue);
  }
  std::vector<uint32_t> lastErrors(settings_context* from = nullptr) {
    const uint32_t* lines = nullptr;
    uint32_t count = 0;
    EXPECT_EQ(api.context_get_last_import_errors(from ? from : context, &lines, &count), 0);
    return std::vector<uint32_t>(lines, lines + count);
  }
  std::string value(const char* key) {
    const char* text = nullptr;
    return api.context_get_utf8_value(context, key, &text) == 0 ? text : "<none>";
  }
  bool isEmpty() {
    uint32_t empty = 7;
    EXPECT_EQ(api.context_is_empty(context, &empty), 0);
    return empty == 1;
  }
  // The keys in order, one a line: "key=text" or "key" without value, and the typed read
  // of the keys the validators below type, in brackets.
  std::string configText(settings_context* of) {
    std::vector<std::string> keys;
    api.context_iterate_keys(
        of,
        [](settings_context*, uint32_t, uint32_t, const char* key, void* out) {
          static_cast<std::vector<std::string>*>(out)->push_back(key);
          return 0;
        },
        &keys);
    std::string out;
    for (const std::string& key : keys) {
      const char* text = nullptr;
      int32_t number = 0;
      uint32_t flag = 0;
      double real = 0;
      out += (out.empty() ? "" : "\n") + key;
      if (api.context_get_utf8_value(of, key.c_str(), &text) == 0) out += "="s + text;
      const char* k = key.c_str();
      if ((key == "int" || key == "mode" || key == "text") && api.context_get_integer_value(of, k, &number) == 0) {
        out += "(" + std::to_string(number) + ")";
      }
      if (key == "bool" && api.context_get_boolean_value(of, k, &flag) == 0) out += flag ? "(true)" : "(false)";
      char buffer[32];
      if (key == "dbl" && api.context_get_double_value(of, k, &real) == 0) {
        std::snprintf(buffer, sizeof buffer, "(%g)", real);
        out += buffer;
      }
    }
    return out;
  }

  settings_api api{};
  settings_context* context = nullptr;
};

enum : unsigned { kStop = 1, kNoValue = 2, kTyped = 4, kClosed = 8, kMapped = 16, kFile = 32 };

struct ImportCase {
  std::string text;
  unsigned options;     // stop on error, keys without value, typed validator (unknown keys
                        // allowed) or closed one (refused), key mapper, read from a file
  int code;
  const char* reports;  // "<text> <line>:<char>" of each line written to the error stream
  const char* config;   // configText() afterwards
  const char* before = nullptr;  // imported first, strictly, keys without value allowed
};

const ImportCase kImports[] = {
    // The format: line ends, blanks, separators, comments, faulty lines and their places.
    {"", 0, 0, "", ""},
    {"\n\r \t\n", 0, 0, "", ""},
    {"a=1\r\nb=2\rc=3\n\nd=4", 0, 0, "", "a=1\nb=2\nc=3\nd=4"},
    {"a=1\n\rb", kNoValue, 0, "", "a=1\nb"},  // LF CR is two line ends
    {"a=1\r\n\r\n=x", 0, 313, "Empty key 3:1", "a=1"},
    {"=1", kStop, 313, "Empty key 1:1", ""},
    {"   :x", 0, 313, "Empty key 1:4", ""},
    {" = ", 0, 313, "Empty key 1:2", ""},
    {"# c\n\n  =x", 0, 313, "Empty key 3:3", ""},
    {"flag \t", 0, 313, "Key without value 1:1", ""},
    {"flag \t", kNoValue, 0, "", "flag"},
    {"a=1\nflag\nc=3", kStop, 313, "Key without value 2:1", ""},
    {"a=1\nflag\nc=3", 0, 313, "Key without value 2:1", "a=1\nc=3"},
    {"a=1\n=2\nc=3\nflag", 0, 313, "Empty key 2:1, Key without value 4:1", "a=1\nc=3"},
    {"a=1\n=2\nc=3\nflag", kStop | kNoValue, 313, "Empty key 2:1", ""},
    {"# c\n  # d\n#", 0, 0, "", ""},
    {"a=1 # note", 0, 0, "", "a=1 # note"},
    {"a=b=c\na:b=c\na = ", 0, 0, "", "a="},
    {"my key = a b ", 0, 0, "", "my key=a b"},
    {"\tk\t=\tv\t", 0, 0, "", "k=v"},
    {"tab\tin=1", 0, 0, "", "tab\tin=1"},
    {"a=1\nb=2\na=3", 0, 0, "", "a=3\nb=2"},
    {"b=1\nB=2\na=3\nab=4", 0, 0, "", "B=2\na=3\nab=4\nb=1"},
    {"\xEF\xBB\xBF" "a=1", 0, 0, "", "\xEF\xBB\xBF" "a=1"},  // a byte order mark is part of the key
    {"k\xC3\xA9y=\xE2\x82\xAC\n\xF0\x9F\x98\x80=1", 0, 0, "", "k\xC3\xA9y=\xE2\x82\xAC\n\xF0\x9F\x98\x80=1"},
    {"a\xE2" "A", 0, 314, "", ""},
    {"a=\xC3", kStop, 314, "", ""},
    {"a=1\n\xE2\x82", kNoValue, 314, "", ""},
    // NUL bytes (only a file can hold them) end keys and values; a key they empty is empty.
    {"a=1\0b=2"s, kFile, 0, "", "a=1"},
    {"\0=1"s, kFile, 313, "Empty key 1:1", ""},
    {"k\0ey=v\0al"s, kNoValue | kFile, 0, "", "k=v"},
    {"\0flag\nb\0c=2"s, kNoValue | kFile, 313, "Empty key 1:1", "b=2"},
    // Typed values; a number that does not convert fails the whole import with 200.
    {"int=0x1F", kTyped, 0, "", "int=0x1F(31)"},
    {"int=010", kTyped, 0, "", "int=010(8)"},
    {"int=-0x10", kTyped, 0, "", "int=-0x10(-16)"},
    {"int=0x1F\nint=010\nint=08\nint=12abc", kTyped, 0, "", "int=12abc(12)"},
    {"int=-2147483648", kTyped, 0, "", "int=-2147483648(-2147483648)"},
    {"int=2147483648", kTyped, 200, "", ""},
    {"int=abc", kStop | kTyped, 200, "", ""},
    {"int=abc", 0, 0, "", "int=abc"},
    {"int=C:\\x", kTyped, 200, "", ""},
    {"int=1\nint", kNoValue | kTyped, 0, "", "int"},
    {"bool=Yes\nbool=0", kTyped, 0, "", "bool=0(false)"},
    {"bool=TRUE", kTyped, 0, "", "bool=TRUE(true)"},
    {"bool=no", kTyped, 0, "", "bool=no(false)"},
    {"bool=2", kTyped, 0, "", "bool=2(true)"},
    {"bool", kNoValue | kTyped, 0, "", "bool(true)"},
    {"bool=maybe", kTyped, 200, "", ""},
    {"dbl=2.5", kTyped, 0, "", "dbl=2.5(2.5)"},
    {"dbl=-0.5e-2", kTyped, 0, "", "dbl=-0.5e-2(-0.005)"},
    {"dbl=nan", kTyped, 200, "", ""},
    {"dbl=1e400", kTyped, 200, "", ""},
    {"text=\xC3\xA9", kTyped, 0, "", "text=\xC3\xA9"},
    {"text=12", kTyped, 0, "", "text=12"},
    {"text=12", 0, 0, "", "text=12(12)"},
    // Directory names: absolute and acceptable as a path, unless any text is accepted.
    {"dir=C:\\dir\\sub\ndir=d:/x", kTyped, 0, "", "dir=d:/x"},
    {"dir=dir\\sub", kTyped, 313, "Invalid value 1:1", ""},
    {"dir=\\\\host\\share", kTyped, 313, "Invalid value 1:1", ""},
    {"dir=C:\\CON\\x", kTyped, 313, "Invalid value 1:1", ""},
    {"dir=C:\\con\\x", kTyped, 0, "", "dir=C:\\con\\x"},
    {"dir=C:\\a|b", kTyped, 313, "Invalid value 1:1", ""},
    {"dir=C:", kTyped, 0, "", "dir=C:"},
    {"dir=", kTyped, 313, "Invalid value 1:1", ""},
    {"dir=5", kTyped, 313, "Invalid value 1:1", ""},
    {"any=rel|ative", kTyped, 0, "", "any=rel|ative"},
    // Fixed values: the last matching record wins, in its case or any, with its text or the given one.
    {"mode=enable", kTyped, 0, "", "mode=enable(1)"},
    {"mode=ENABLE", kTyped, 0, "", "mode=ENABLE(1)"},
    {"mode=on", kTyped, 0, "", "mode=On(1)"},
    {"mode=off", kTyped, 313, "Invalid value 1:1", ""},
    {"mode=disable", kTyped, 0, "", "mode=disable(0)"},
    {"unknown=1", kTyped, 0, "", "unknown=1"},
    {"unknown=1", kClosed, 313, "Invalid key 1:1", ""},
    {"int=5\nunknown=1\nbool=no", kClosed, 313, "Invalid key 2:1", "bool=no(false)\nint=5(5)"},
    {"unknown", kNoValue | kClosed, 0, "", "unknown"},
    // Key mappers: in a case or any, the latest mapping first, each key once; a key the
    // format could not write back (empty, a comment, separators, line ends, outer blanks)
    // is an invalid key.
    {"Alpha=5\nALPHA=6", kTyped | kMapped, 0, "", "int=6(6)"},
    {"Alpha=5\nALPHA=6\nalpha=x", kMapped, 0, "", "int=x"},
    {"a=1\nb=2", kMapped, 0, "", "b=1\nbool=2(true)"},
    {"B=1", kMapped, 0, "", "B=1"},
    {"c=1\nd=2\ne=3\nf=4\ng=5\nh=6\ni=7", kMapped, 313,
     "Invalid key 1:1, Invalid key 2:1, Invalid key 3:1, Invalid key 4:1, Invalid key 5:1, Invalid key 6:1, "
     "Invalid key 7:1", ""},
    {"c\nd\ne\nf\ng\nh\ni", kNoValue | kMapped, 313,
     "Invalid key 1:1, Invalid key 2:1, Invalid key 3:1, Invalid key 4:1, Invalid key 5:1, Invalid key 6:1, "
     "Invalid key 7:1", ""},
    {"x y=0.25", kTyped | kMapped, 0, "", "dbl=0.25(0.25)"},
    {"X Y=0.25", kMapped, 0, "", "dbl=0.25(0.25)"},
    {"my key=Disable", kTyped | kMapped, 0, "", "mode=Disable(0)"},
    {"a=1\nint=2", kStop | kTyped | kMapped, 0, "", "b=1\nint=2(2)"},
    // Onto an earlier import: the new entries win, also without value; a failed import
    // keeps the good lines only when it does not stop.
    {"a=2\nflag", kNoValue, 0, "", "a=2\nflag\nkeep=3", "a=1\nflag=2\nkeep=3"},
    {"b=2\n=x", 0, 313, "Empty key 2:1", "a=1\nb=2", "a=1"},
    {"b=2\n=x", kStop, 313, "Empty key 2:1", "a=1", "a=1"},
    {"\x80", 0, 314, "", "a=1", "a=1"},
    {"int=abc\nb=2", 0, 0, "", "a=1\nb=2\nint=abc", "a=1"},
    {"int=abc\nb=2", kTyped, 200, "", "a=1", "a=1"},
    {"a=9\nint=7\nflag\n=x\nb", kNoValue, 313, "Empty key 4:1", "a=9\nb\nflag\nint=7(7)", "int=3\nflag=1"},
    {"q=1", 0, 0, "", "q=1", "a=1\n=x"},
    {"q=1\n=y", 0, 313, "Empty key 2:1", "q=1", "a=1\n=x"},
};

TEST_F(SettingsApi, ImportsGiveTheirCodeReportsAndConfiguration) {
  settings_validator_builder* builder = api.validator_builder_create();
  api.validator_builder_set_dirname_validator(builder, "int", 0);  // one rule per key: the last one
  api.validator_builder_set_integer_validator(builder, "int");
  api.validator_builder_set_integer_validator(builder, "dir");
  api.validator_builder_set_boolean_validator(builder, "bool");
  api.validator_builder_set_double_validator(builder, "dbl");
  api.validator_builder_set_utf8_validator(builder, "text");
  api.validator_builder_set_dirname_validator(builder, "dir", 0);
  api.validator_builder_set_dirname_validator(builder, "any", 1);
  // The second "enable" updates the first record in place, so "Enable" comes after it.
  const settings_fixed_value modes[] = {{"enable", 99, 0}, {"Enable", 1, 0}, {"Disable", 0, 0}, {"On", 1, 2},
                                        {"enable", 7, 1}};
  api.validator_builder_set_fixed_value_validator(builder, "mode", modes, 5);
  settings_validator* validators[2] = {};
  for (int closed = 0; closed < 2; ++closed) {
    api.validator_builder_allow_unknown_keys(builder, !closed);
    ASSERT_EQ(api.validator_builder_create_validator(builder, &validators[closed]), 0);
  }
  api.validator_builder_destroy(builder);
  settings_key_mapper_builder* mappings = api.key_mapper_builder_create();
  const struct { const char* from; const char* to; int caseSensitive; } kMappings[] = {
      {"Alpha", "int", 0}, {"b", "bool", 1}, {"x y", "dbl", 0}, {"c", "bad=key", 1},    {"d", "", 1},
      {"e", " e", 1},      {"f", "#f", 1},   {"a", "b", 1},     {"my key", "mode", 0}, {"g", "a:b", 1},
      {"h", "trail\t", 1}, {"i", "two\nlines", 1}};
  for (const auto& m : kMappings) api.key_mapper_builder_map(mappings, m.from, m.to, m.caseSensitive);
  settings_key_mapper* mapper = nullptr;
  ASSERT_EQ(api.key_mapper_builder_create_key_mapper(mappings, &mapper), 0);
  api.key_mapper_builder_destroy(mappings);

  const std::regex report("Error reading config file: \"([^\"]*)\" at line (\\d+); char (\\d+)\n");
  for (const ImportCase& c : kImports) {
    SCOPED_TRACE(testing::PrintToString(c.text) + ", options " + std::to_string(c.options));
    settings_context* to = api.context_create();
    testing::internal::CaptureStderr();
    if (c.before) api.context_import_from_string(to, c.before, nullptr, nullptr, 1, 1);
    testing::internal::GetCapturedStderr();
    settings_validator* validator = c.options & kTyped ? validators[0] : c.options & kClosed ? validators[1] : nullptr;
    settings_key_mapper* map = c.options & kMapped ? mapper : nullptr;
    testing::internal::CaptureStderr();
    if (c.options & kFile) {
      zutest::writeFile(hostPath("C:\\cfg\\import.cfg"), c.text);
      EXPECT_EQ(api.context_import_from_file(to, "C:\\cfg\\import.cfg", validator, map, c.options & kStop,
                                             c.options & kNoValue), c.code);
    } else {
      EXPECT_EQ(api.context_import_from_string(to, c.text.c_str(), validator, map, c.options & kStop,
                                               c.options & kNoValue), c.code);
    }
    std::string reports = std::regex_replace(testing::internal::GetCapturedStderr(), report, "$1 $2:$3, ");
    EXPECT_EQ(reports, c.reports + std::string(*c.reports ? ", " : ""));
    std::vector<uint32_t> expectedLines;
    const std::regex place(" (\\d+):");
    std::string listed = c.reports;
    for (std::sregex_iterator it(listed.begin(), listed.end(), place), end; it != end; ++it) {
      expectedLines.push_back(std::stoul((*it)[1]) - 1);
    }
    EXPECT_EQ(lastErrors(to), expectedLines);
    EXPECT_EQ(configText(to), c.config);
    api.context_destroy(to);
  }
  for (settings_validator* validator : validators) api.validator_destroy(validator);
  api.key_mapper_destroy(mapper);
}

// Terminators are searched ahead of the line being read; each report must still name
// its own line, whichever ends come before it and however far the next one is.
TEST_F(SettingsApi, LineNumbersHoldOverManyLinesOfEveryEnding) {
  for (const std::string end : {"\n", "\r", "\r\n", "\n\r"}) {
    std::string text;
    for (int i = 0; i < 300; ++i) text += "k" + std::to_string(i) + "=v" + end;
    text += "=x" + end + std::string(5000, ' ') + "y=1" + end + "flag";
    const uint32_t perLine = end == "\n\r" ? 2 : 1;
    testing::internal::CaptureStderr();
    EXPECT_EQ(importText(text.c_str(), false), 313);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("\"Key without value\" at line " +
                                                          std::to_string(302 * perLine + 1) + "; char 1\n"),
              std::string::npos);
    EXPECT_EQ(lastErrors(), (std::vector<uint32_t>{300 * perLine, 302 * perLine})) << end.size();
    EXPECT_EQ(value("k299"), "v");
    EXPECT_EQ(value("y"), "1");
  }
}

TEST_F(SettingsApi, TheTableIsFilledInSlotOrder) {
  settings_api table;
  std::memset(&table, 0xAB, sizeof table);
  settings_get_api(&table);
  auto slots = reinterpret_cast<void* const*>(&table);
  for (int i = 0; i < 32; ++i) EXPECT_NE(slots[i], nullptr) << i;
  EXPECT_EQ(reinterpret_cast<void*>(table.context_create), slots[0]);
  EXPECT_EQ(reinterpret_cast<void*>(table.context_erase_key), slots[15]);
  EXPECT_EQ(reinterpret_cast<void*>(table.key_mapper_builder_map), slots[31]);
}

TEST_F(SettingsApi, NullArgumentsGive300AndChangeNothing) {
  ASSERT_EQ(importText("a=1"), 0);
  const char* text = "untouched";
  uint32_t flag = 7;
  int32_t number = 7;
  double real = 7;
  const uint32_t* lines = nullptr;
  EXPECT_EQ(api.context_get_system_config_file_path(nullptr, &text), 300);
  EXPECT_EQ(api.context_get_system_config_file_path(context, nullptr), 300);
  EXPECT_EQ(api.context_import_from_file(context, nullptr, nullptr, nullptr, 1, 0), 300);
  EXPECT_EQ(api.context_import_from_string(nullptr, "b=2", nullptr, nullptr, 1, 0), 300);
  EXPECT_EQ(api.context_import_from_context(context, nullptr), 300);
  EXPECT_EQ(api.context_get_last_import_errors(context, &lines, nullptr), 300);
  EXPECT_EQ(api.context_export_to_file(context, nullptr), 300);
  EXPECT_EQ(api.context_is_empty(context, nullptr), 300);
  EXPECT_EQ(api.context_is_equal(context, nullptr, &flag), 300);
  EXPECT_EQ(api.context_iterate_keys(context, nullptr, nullptr), 300);
  EXPECT_EQ(api.context_get_utf8_value(context, nullptr, &text), 300);
  EXPECT_EQ(api.context_get_boolean_value(context, "a", nullptr), 300);
  EXPECT_EQ(api.context_get_boolean_value(context, nullptr, &flag), 300);
  EXPECT_EQ(api.context_get_integer_value(nullptr, "a", &number), 300);
  EXPECT_EQ(api.context_get_integer_value(context, "a", nullptr), 300);
  EXPECT_EQ(api.context_get_double_value(context, "a", nullptr), 300);
  EXPECT_EQ(api.context_erase_key(context, nullptr), 300);
  settings_validator_builder* validators = api.validator_builder_create();
  settings_key_mapper_builder* mappers = api.key_mapper_builder_create();
  EXPECT_EQ(api.validator_builder_create_validator(validators, nullptr), 300);
  EXPECT_EQ(api.validator_builder_set_integer_validator(nullptr, "k"), 300);
  EXPECT_EQ(api.validator_builder_allow_unknown_keys(nullptr, 1), 300);
  EXPECT_EQ(api.validator_builder_set_fixed_value_validator(nullptr, "k", nullptr, 0), 300);
  EXPECT_EQ(api.validator_builder_set_dirname_validator(nullptr, "k", 0), 300);
  EXPECT_EQ(api.key_mapper_builder_create_key_mapper(mappers, nullptr), 300);
  EXPECT_EQ(api.key_mapper_builder_map(nullptr, "a", "b", 0), 300);
  EXPECT_EQ(api.key_mapper_builder_map(mappers, "a", nullptr, 0), 300);
  EXPECT_STREQ(text, "untouched");
  EXPECT_EQ(flag, 7u);
  EXPECT_EQ(number, 7);
  EXPECT_EQ(real, 7);
  EXPECT_EQ(value("a"), "1");
  api.validator_builder_destroy(validators);
  api.key_mapper_builder_destroy(mappers);
  api.context_destroy(nullptr);
  api.validator_destroy(nullptr);
  api.key_mapper_destroy(nullptr);
}

TEST_F(SettingsApi, AFixedValueRecordWithoutTextIsRefusedWhole) {
  settings_validator_builder* builder = api.validator_builder_create();
  settings_fixed_value records[] = {{"Enable", 1, 0}, {nullptr, 0, 0}};
  EXPECT_EQ(api.validator_builder_set_fixed_value_validator(builder, "k", records, 2), 300);
  settings_validator* validator = nullptr;
  ASSERT_EQ(api.validator_builder_create_validator(builder, &validator), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(api.context_import_from_string(context, "k=Enable", validator, nullptr, 1, 0), 313);
  testing::internal::GetCapturedStderr();
  api.validator_destroy(validator);
  api.validator_builder_destroy(builder);
}

TEST_F(SettingsApi, TypedGettersReportMissingKeysAndMissingValues) {
  ASSERT_EQ(importText("n=0x10\nflag\nd=2.5\nw=maybe", true, true), 0);
  int32_t number = 0;
  EXPECT_EQ(api.context_get_integer_value(context, "n", &number), 0);
  EXPECT_EQ(number, 16);
  EXPECT_EQ(api.context_get_integer_value(context, "missing", &number), 303);
  EXPECT_EQ(api.context_get_integer_value(context, "flag", &number), 301);
  uint32_t flag = 9;
  EXPECT_EQ(api.context_get_boolean_value(context, "missing", &flag), 303);
  EXPECT_EQ(api.context_get_boolean_value(context, "w", &flag), 200);  // no number either
  EXPECT_EQ(flag, 9u);
}

TEST_F(SettingsApi, ErasingAMissingKeyGives303AndChangesNothing) {
  ASSERT_EQ(importText("a=1\nb=2"), 0);
  EXPECT_EQ(api.context_erase_key(context, "c"), 303);
  EXPECT_EQ(api.context_erase_key(context, "a"), 0);
  EXPECT_EQ(value("a"), "<none>");
  EXPECT_EQ(value("b"), "2");
}

TEST_F(SettingsApi, IterationListsKeysInOrderAndSurvivesChangesByTheCallback) {
  struct Seen {
    const settings_api* api;
    std::vector<std::string> keys;
    std::vector<uint32_t> counts;
  } seen{&api, {}, {}};
  auto callback = [](settings_context* ctx, uint32_t count, uint32_t index, const char* key, void* data) {
    auto* s = static_cast<Seen*>(data);
    EXPECT_EQ(index, s->keys.size());
    s->keys.push_back(key);
    s->counts.push_back(count);
    s->api->context_erase_key(ctx, key);  // replaces the configuration under the iteration
    return 0;
  };
  EXPECT_EQ(api.context_iterate_keys(context, callback, &seen), 0);
  EXPECT_TRUE(seen.keys.empty());
  ASSERT_EQ(importText("b=1\na=2\nc=3"), 0);
  EXPECT_EQ(api.context_iterate_keys(context, callback, &seen), 0);
  EXPECT_EQ(seen.keys, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(seen.counts, (std::vector<uint32_t>{3, 3, 3}));
  EXPECT_TRUE(isEmpty());
}

TEST_F(SettingsApi, ContextsMergeAndCompare) {
  settings_context* other = api.context_create();
  ASSERT_EQ(api.context_import_from_string(other, "a=2\nb=3", nullptr, nullptr, 1, 0), 0);
  ASSERT_EQ(importText("a=1"), 0);
  uint32_t equal = 7;
  EXPECT_EQ(api.context_is_equal(context, other, &equal), 0);
  EXPECT_EQ(equal, 0u);
  EXPECT_EQ(api.context_import_from_context(context, other), 0);
  EXPECT_EQ(api.context_is_equal(context, other, &equal), 0);
  EXPECT_EQ(equal, 1u);
  api.context_destroy(other);
}

TEST_F(SettingsApi, TheSystemConfigurationFileIsUnderCommonApplicationData) {
  const char* path = nullptr;
  EXPECT_EQ(api.context_get_system_config_file_path(context, &path), 0);
  EXPECT_STREQ(path, "C:\\ProgramData\\Vantor\\Zuna\\zuna.settings.cfg");
}

class SettingsApiWithoutCommonAppData : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }
};

TEST_F(SettingsApiWithoutCommonAppData, ContextCreationThrows200) {
  zutest::writeFile(dir() / "machine.json", R"({"folders": {"commonAppData": null}})");
  load();
  settings_api api;
  settings_get_api(&api);
  try {
    api.context_create();
    ADD_FAILURE() << "no exception";
  } catch (const settings::Exception& e) {
    EXPECT_EQ(e.code, 200);
  }
}

}  // namespace
