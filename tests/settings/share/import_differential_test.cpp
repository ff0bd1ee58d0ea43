// The configuration import against a frozen copy of the import as it was before it was
// made fast (tests/settings/share/reference): on fixed and generated texts, strict and
// not, with and without validators and key mappers, from strings and from files, both
// must give the same result codes, error lines, error messages and configurations.
//
// The sample is sized for the everyday suite. A long sweep:
//   ZU_SETTINGS_DIFF_CASES=200000 build/tests/settings_import_diff_tests
// and ZU_SETTINGS_DIFF_SEED=<n> starts the generated cases from another seed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "settings/share/settings.h"
#include "tests/settings/share/reference/Import.h"
#include "tests/settings/share/reference/KeyMappers.h"
#include "tests/settings/share/reference/Validators.h"
#include "tests/support/TestMachine.h"

namespace ref = settings_reference;

namespace {

// splitmix64: the same sequence on every platform and standard library.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  size_t below(size_t n) { return static_cast<size_t>(next() % n); }
  bool chance(unsigned percent) { return below(100) < percent; }
  template <class T>
  const T& pick(const std::vector<T>& from) { return from[below(from.size())]; }

 private:
  uint64_t state_;
};

uint64_t envNumber(const char* name, uint64_t fallback) {
  const char* text = std::getenv(name);
  return text && *text ? std::strtoull(text, nullptr, 10) : fallback;
}

std::string printable(const std::string& text) {
  std::string out;
  for (unsigned char c : text.substr(0, 2000)) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return text.size() > 2000 ? out + "...(" + std::to_string(text.size()) + " bytes)" : out;
}

// ---- Text generation --------------------------------------------------------------

const std::vector<std::string> kKeys = {
    "a", "b", "c", "d", "e", "f", "Alpha", "ALPHA", "alpha", "int", "bool", "dbl", "text", "dir", "any",
    "mode", "x y", "my key", "k\xC3\xA9y", "\xE6\x97\xA5\xE6\x9C\xAC", "\xF0\x9F\x98\x80", "setting_1",
    "setting_10", "B", "ab", "a\"b", "tab\tin"};

const std::vector<std::string> kValues = {
    "1", "0", "0x1F", "-0x10", "010", "-010", "08", "12abc", "abc", "99999999999", "-2147483648", "2147483648",
    "yes", "TRUE", "No", "false", "maybe", "2", "2.5", "1e3", "-0.5e-2", "nan", "inf", "0x1p3", "", "C:\\dir\\sub",
    "d:/x", "dir\\sub", "\\\\host\\share", "C:\\CON\\x", "C:\\con\\x", "C:\\a|b", "C:", "enable", "Enable",
    "DISABLE", "on", "a=b=c", "b:c", "1 # note", "\"q\"", "'single'", "\xC3\xA9t\xC3\xA9", "\xE2\x82\xAC 5",
    "value number 42", " \t inner \t blanks"};

// Characters that matter to the format, ordinary ones, and multi-byte ones.
const std::vector<std::string> kAlphabet = {"a", "b", "=", ":", "#", " ", " ", "\t", "\"", "'", "x", "Z", "0",
                                            "1", "9", "-", ".", "\\", "/", "|", "\xC3\xA9", "\xE2\x82\xAC",
                                            "\xF0\x9F\x98\x80"};

const std::vector<std::string> kInvalidUtf8 = {"\x80", "\xFF", "\xFE", "\xE2" "A", "\xC3", "\xF0\x9F\x98",
                                               "\xC0\x80", "\xBF\xBF"};

std::string blanks(Random& random) {
  static const std::vector<std::string> choices = {"", "", "", " ", "  ", "\t", " \t ", "   "};
  return random.pick(choices);
}

std::string randomText(Random& random, size_t maxLength) {
  std::string text;
  size_t length = random.below(maxLength + 1);
  for (size_t i = 0; i < length; ++i) text += random.pick(kAlphabet);
  return text;
}

std::string key(Random& random) { return random.chance(80) ? random.pick(kKeys) : randomText(random, 8); }
std::string value(Random& random) { return random.chance(75) ? random.pick(kValues) : randomText(random, 24); }

std::string line(Random& random, bool withNul) {
  std::string separator = random.chance(75) ? "=" : ":";
  switch (random.below(40)) {
    case 0: case 1: case 2: case 3: return blanks(random) + "#" + randomText(random, 20);
    case 4: case 5: case 6: return blanks(random);
    case 7: case 8: case 9: return blanks(random) + key(random) + blanks(random);
    case 10: return blanks(random) + separator + blanks(random) + value(random);
    case 11: case 12: return randomText(random, 30);
    case 16: {
      // A very long line, mostly in its value.
      std::string filler(1000 + random.below(random.chance(10) ? 70000 : 8000), random.chance(50) ? 'v' : ' ');
      filler += random.pick(kValues);
      return key(random) + separator + filler + blanks(random);
    }
    case 17: case 18:
      if (withNul) return key(random) + (random.chance(50) ? std::string(1, '\0') : "") + separator +
                          std::string("v\0w", 3) + blanks(random);
      [[fallthrough]];
    default: return blanks(random) + key(random) + blanks(random) + separator + blanks(random) + value(random) +
                    blanks(random);
  }
}

std::string lineEnd(Random& random, int style) {
  static const std::vector<std::string> ends = {"\n", "\r\n", "\r", "\n\r"};
  return style < 3 ? ends[style] : random.pick(ends);
}

std::string generateText(Random& random, bool withNul) {
  if (random.chance(3)) return "";
  int style = static_cast<int>(random.below(5));  // LF, CR LF, CR, mixed (twice as often)
  size_t lines = 1 + random.below(random.chance(10) ? 400 : 25);
  std::string text;
  for (size_t i = 0; i < lines; ++i) {
    text += line(random, withNul);
    if (i + 1 < lines || random.chance(60)) text += lineEnd(random, style);
  }
  if (random.chance(8)) text.insert(random.below(text.size() + 1), random.pick(kInvalidUtf8));
  if (random.chance(3)) text += "\xE2\x82";  // a sequence cut off by the end
  return text;
}

// ---- The two libraries, set up alike ----------------------------------------------

struct FixedValue {
  const char* text;
  uint32_t value;
  uint32_t flags;
};
const std::vector<FixedValue> kModes = {{"Enable", 1, 0}, {"Disable", 0, 0}, {"On", 1, 2}, {"enable", 7, 1}};

// Validator sets: 0 none, 1 typed keys and unknown keys allowed, 2 the same without.
settings_validator* makeValidator(const settings_api& api, int set) {
  if (set == 0) return nullptr;
  settings_validator_builder* builder = api.validator_builder_create();
  api.validator_builder_set_integer_validator(builder, "int");
  api.validator_builder_set_boolean_validator(builder, "bool");
  api.validator_builder_set_double_validator(builder, "dbl");
  api.validator_builder_set_utf8_validator(builder, "text");
  api.validator_builder_set_dirname_validator(builder, "dir", 0);
  api.validator_builder_set_dirname_validator(builder, "any", 1);
  std::vector<settings_fixed_value> records;
  for (const FixedValue& mode : kModes) records.push_back({mode.text, mode.value, mode.flags});
  api.validator_builder_set_fixed_value_validator(builder, "mode", records.data(), static_cast<uint32_t>(records.size()));
  api.validator_builder_allow_unknown_keys(builder, set == 1);
  settings_validator* validator = nullptr;
  api.validator_builder_create_validator(builder, &validator);
  api.validator_builder_destroy(builder);
  return validator;
}

std::unique_ptr<ref::ConfigValidator> makeReferenceValidator(int set) {
  if (set == 0) return nullptr;
  ref::ValidatorBuilder builder;
  builder.setType("int", ref::kInteger);
  builder.setType("bool", ref::kBoolean);
  builder.setType("dbl", ref::kDouble);
  builder.setType("text", ref::kUtf8);
  builder.setDirname("dir", false);
  builder.setDirname("any", true);
  for (const FixedValue& mode : kModes) builder.addFixedValue("mode", {mode.text, mode.value, mode.flags});
  builder.allowUnknownKeys(set == 1);
  return builder.createValidator();
}

// Mappings, among them chains and targets the format cannot store.
struct Mapping {
  const char* from;
  const char* to;
  bool caseSensitive;
};
const std::vector<Mapping> kMappings = {{"Alpha", "int", false}, {"b", "bool", true}, {"x y", "dbl", false},
                                        {"c", "bad=key", true},  {"d", "", true},      {"e", " e", true},
                                        {"f", "#f", true},       {"a", "b", true},     {"my key", "mode", false}};

settings_key_mapper* makeKeyMapper(const settings_api& api, bool wanted) {
  if (!wanted) return nullptr;
  settings_key_mapper_builder* builder = api.key_mapper_builder_create();
  for (const Mapping& mapping : kMappings) api.key_mapper_builder_map(builder, mapping.from, mapping.to, mapping.caseSensitive);
  settings_key_mapper* mapper = nullptr;
  api.key_mapper_builder_create_key_mapper(builder, &mapper);
  api.key_mapper_builder_destroy(builder);
  return mapper;
}

std::unique_ptr<ref::IKeyMapper> makeReferenceKeyMapper(bool wanted) {
  if (!wanted) return nullptr;
  ref::KeyMapperBuilder builder;
  for (const Mapping& mapping : kMappings) builder.map(mapping.from, mapping.to, mapping.caseSensitive);
  return builder.createKeyMapper();
}

// ---- Observing a configuration as a client sees it --------------------------------

struct Observed {
  int code = 0;
  std::string text;
  int64_t integer = 0;
  uint64_t realBits = 0;
  bool operator==(const Observed&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Observed& o) {
  return out << "{" << o.code << " '" << printable(o.text) << "' " << o.integer << " " << o.realBits << "}";
}

uint64_t bitsOf(double real) {
  if (std::isnan(real)) return 1;  // any NaN is the same answer
  uint64_t bits;
  std::memcpy(&bits, &real, sizeof bits);
  return bits;
}

template <class Body>
int guardedRead(Body&& body) {
  try {
    body();
    return 0;
  } catch (const settings::Exception& e) {
    return e.code;
  } catch (...) {
    return 200;
  }
}

// Per key: its text, integer, double and boolean reads, each with its result code.
struct Snapshot {
  std::vector<std::string> keys;
  std::vector<Observed> reads;
  bool operator==(const Snapshot&) const = default;
};

std::string describe(const Snapshot& snapshot) {
  std::ostringstream out;
  for (size_t i = 0; i < snapshot.keys.size(); ++i) {
    out << "  '" << printable(snapshot.keys[i]) << "':";
    for (size_t k = 0; k < 4; ++k) out << " " << snapshot.reads[i * 4 + k];
    out << "\n";
  }
  return out.str();
}

Snapshot observe(const settings_api& api, settings_context* context) {
  Snapshot snapshot;
  api.context_iterate_keys(
      context,
      [](settings_context*, uint32_t, uint32_t, const char* key, void* user) {
        static_cast<std::vector<std::string>*>(user)->push_back(key);
        return 0;
      },
      &snapshot.keys);
  for (const std::string& key : snapshot.keys) {
    Observed text, integer, real, boolean;
    const char* utf8 = nullptr;
    text.code = api.context_get_utf8_value(context, key.c_str(), &utf8);
    if (text.code == 0) text.text = utf8;
    int32_t number = 0;
    integer.code = api.context_get_integer_value(context, key.c_str(), &number);
    integer.integer = number;
    double d = 0;
    real.code = api.context_get_double_value(context, key.c_str(), &d);
    real.realBits = real.code == 0 ? bitsOf(d) : 0;
    uint32_t flag = 0;
    boolean.code = api.context_get_boolean_value(context, key.c_str(), &flag);
    boolean.integer = flag;
    snapshot.reads.insert(snapshot.reads.end(), {text, integer, real, boolean});
  }
  return snapshot;
}

Snapshot observe(const ref::Context& context) {
  Snapshot snapshot;
  const ref::Config& config = context.config();
  for (const char* key : config.getKeys()) snapshot.keys.push_back(key);
  for (const std::string& name : snapshot.keys) {
    const char* key = name.c_str();
    Observed text, integer, real, boolean;
    text.code = guardedRead([&] { text.text = config.getUtf8(key); });
    integer.code = guardedRead([&] { integer.integer = config.getInteger(key); });
    double d = 0;
    real.code = guardedRead([&] { d = config.getDouble(key); });
    real.realBits = real.code == 0 ? bitsOf(d) : 0;
    boolean.code = guardedRead([&] { boolean.integer = config.hasValue(key) ? config.getBoolean(key) : true; });
    snapshot.reads.insert(snapshot.reads.end(), {text, integer, real, boolean});
  }
  return snapshot;
}

// Collects what the standard error stream receives while it lives.
class CapturedErrors {
 public:
  CapturedErrors() : previous_(std::cerr.rdbuf(captured_.rdbuf())) {}
  ~CapturedErrors() { std::cerr.rdbuf(previous_); }
  std::string text() const { return captured_.str(); }

 private:
  std::ostringstream captured_;
  std::streambuf* previous_;
};

// ---- One case: a series of imports into a fresh context on both sides -------------

struct Import {
  std::string text;
  bool fromFile = false;
  bool stopOnError = true;
  bool allowKeysWithoutValue = false;
  int validatorSet = 0;
  bool keyMapper = false;
};

class ImportDifferential : public zutest::MachineTest {
 protected:
  void SetUp() override {
    zutest::MachineTest::SetUp();
    settings_get_api(&api);
    for (int set = 0; set < 3; ++set) {
      validators[set] = makeValidator(api, set);
      referenceValidators[set] = makeReferenceValidator(set);
    }
    keyMapper = makeKeyMapper(api, true);
    referenceKeyMapper = makeReferenceKeyMapper(true);
  }
  void TearDown() override {
    for (settings_validator* validator : validators) api.validator_destroy(validator);
    api.key_mapper_destroy(keyMapper);
    zutest::MachineTest::TearDown();
  }

  // Runs the imports on both sides; false (with a failure recorded) at the first difference.
  // `outcomes` counts the result codes met, when given.
  bool sameOutcome(const std::vector<Import>& imports, const std::string& label,
                   std::map<int, unsigned>* outcomes = nullptr) {
    settings_context* context = api.context_create();
    ref::Context reference;
    bool same = true;
    for (size_t step = 0; step < imports.size() && same; ++step) {
      const Import& import = imports[step];
      settings_validator* validator = validators[import.validatorSet];
      const ref::ConfigValidator* referenceValidator = referenceValidators[import.validatorSet].get();
      settings_key_mapper* mapper = import.keyMapper ? keyMapper : nullptr;
      const ref::IKeyMapper* referenceMapper = import.keyMapper ? referenceKeyMapper.get() : nullptr;
      int code = 0, referenceCode = 0;
      std::string messages, referenceMessages;
      if (import.fromFile && import.text != fileText) {
        zutest::writeFile(hostPath("C:\\diff\\import.cfg"), import.text);
        fileText = import.text;
      }
      {
        CapturedErrors errors;
        code = import.fromFile
                   ? api.context_import_from_file(context, "C:\\diff\\import.cfg", validator, mapper,
                                                  import.stopOnError, import.allowKeysWithoutValue)
                   : api.context_import_from_string(context, import.text.c_str(), validator, mapper,
                                                    import.stopOnError, import.allowKeysWithoutValue);
        messages = errors.text();
      }
      {
        CapturedErrors errors;
        referenceCode = import.fromFile
                            ? ref::importFromFile(reference, "C:\\diff\\import.cfg", referenceValidator,
                                                  referenceMapper, import.stopOnError, import.allowKeysWithoutValue)
                            : ref::importFromString(reference, import.text.c_str(), referenceValidator,
                                                    referenceMapper, import.stopOnError, import.allowKeysWithoutValue);
        referenceMessages = errors.text();
      }
      if (outcomes) ++(*outcomes)[code];
      const uint32_t* lines = nullptr;
      uint32_t count = 0;
      api.context_get_last_import_errors(context, &lines, &count);
      std::vector<uint32_t> errorLines(lines, lines + count);
      Snapshot now = observe(api, context);
      Snapshot expected = observe(reference);
      same = code == referenceCode && errorLines == reference.lastImportErrors() && messages == referenceMessages &&
             now == expected;
      if (!same) {
        ADD_FAILURE() << label << ", import " << step << " (" << (import.fromFile ? "file" : "string")
                      << ", stopOnError " << import.stopOnError << ", keys without value "
                      << import.allowKeysWithoutValue << ", validators " << import.validatorSet << ", key mapper "
                      << import.keyMapper << ")\n text: '" << printable(import.text) << "'\n code " << code
                      << ", expected " << referenceCode << "\n error lines " << testing::PrintToString(errorLines)
                      << ", expected " << testing::PrintToString(reference.lastImportErrors()) << "\n messages '"
                      << messages << "'\n expected '" << referenceMessages << "'\n configuration:\n"
                      << describe(now) << " expected:\n"
                      << describe(expected);
      }
    }
    api.context_destroy(context);
    return same;
  }

  settings_api api{};
  settings_validator* validators[3] = {};
  std::unique_ptr<ref::ConfigValidator> referenceValidators[3];
  settings_key_mapper* keyMapper = nullptr;
  std::unique_ptr<ref::IKeyMapper> referenceKeyMapper;
  std::optional<std::string> fileText;  // what the import file holds, once written
};

// Texts the format's rules single out, each under every combination of the flags and
// with each validator set and key mapper, from a string and from a file.
TEST_F(ImportDifferential, FixedTextsGiveTheSameOutcome) {
  const std::vector<std::string> texts = {
      "", "\n", "\r", "\r\n", "\n\r", " ", "\t\n \r", "a=1", "a=1\n", "a=1\r\n", "a=1\r", "a=1\nb=2\na=3",
      "a=1\r\nb=2\rc=3\n\nd=4", "a=1\n\rb", "=1", "   :x", " = ", "flag", "flag \t", "a=1\nflag\nc=3",
      "a=1\n=2\nc=3", "# c\n  # d\n#", "a=1 # note", "a=b=c\na:b=c\na = ", "my key = a b ", "a\xE2" "A",
      "\x80", "a=\xC3", "\xEF\xBB\xBF" "a=1", "k\xC3\xA9y=\xE2\x82\xAC\n\xF0\x9F\x98\x80=1",
      "int=0x1F\nint=010\nint=08\nint=12abc", "int=abc", "int=99999999999", "int", "bool=Yes\nbool=0\nbool",
      "bool=maybe", "dbl=2.5\ndbl=nan\ndbl=1e400", "text=\xC3\xA9", "dir=C:\\dir\\sub\ndir=d:/x", "dir=dir\\sub",
      "dir=\\\\host\\share", "dir=C:\\CON\\x", "dir=C:\\con\\x", "dir=C:\\a|b", "any=whatever",
      "mode=enable", "mode=on", "mode=ENABLE", "mode=off", "unknown=1", "Alpha=5\nALPHA=6\nalpha=x",
      "a=1\nb=2", "c=1\nd=2\ne=3\nf=4", "x y=0.25", "my key=Disable",
      std::string("a=1\0b=2", 7), std::string("\0=1", 3), std::string("k\0ey=v\0al", 9)};
  int failures = 0;
  for (size_t t = 0; t < texts.size() && failures < 3; ++t) {
    for (int flags = 0; flags < 4; ++flags) {
      for (int set = 0; set < 3; ++set) {
        for (int mapped = 0; mapped < 2; ++mapped) {
          for (int file = 0; file < 2; ++file) {
            Import import{texts[t], file == 1, (flags & 1) != 0, (flags & 2) != 0, set, mapped == 1};
            // A second import shows how the first one's result is merged with more.
            Import more{"a=9\nint=7\nflag\n=x\nb", false, false, true, 0, false};
            if (!sameOutcome({import, more}, "fixed text " + std::to_string(t))) ++failures;
          }
        }
      }
    }
  }
}

TEST_F(ImportDifferential, GeneratedTextsGiveTheSameOutcome) {
  const uint64_t cases = envNumber("ZU_SETTINGS_DIFF_CASES", 1500);
  const uint64_t firstSeed = envNumber("ZU_SETTINGS_DIFF_SEED", 1);
  int failures = 0;
  std::map<int, unsigned> outcomes;
  for (uint64_t n = 0; n < cases && failures < 3; ++n) {
    Random random(firstSeed + n);
    std::vector<Import> imports(1 + random.below(3));
    for (Import& import : imports) {
      import.fromFile = random.chance(30);
      import.text = generateText(random, import.fromFile);
      import.stopOnError = random.chance(50);
      import.allowKeysWithoutValue = random.chance(50);
      import.validatorSet = static_cast<int>(random.below(3));
      import.keyMapper = random.chance(40);
    }
    if (!sameOutcome(imports, "seed " + std::to_string(firstSeed + n), &outcomes)) ++failures;
  }
  // The sample reaches every way an import can end.
  if (cases >= 1000) {
    for (int code : {0, 200, 313, 314}) EXPECT_GT(outcomes[code], 0u) << code;
  }
}

// Texts of the size the import is made for, and just above what a file may hold.
TEST_F(ImportDifferential, LargeTextsGiveTheSameOutcome) {
  std::string text;
  for (int i = 0; text.size() < (1u << 20) - 200; ++i) {
    text += "setting_" + std::to_string(i % 3000) + (i % 3 ? " = " : ":") + "value " + std::to_string(i) +
            (i % 2 ? "\n" : "\r\n");
    if (i % 50 == 0) text += "# section\n";
    if (i % 977 == 0) text += "faulty line\n";
  }
  EXPECT_TRUE(sameOutcome({{text, false, false, false, 0, false}}, "large text, not strict"));
  EXPECT_TRUE(sameOutcome({{text, true, true, true, 1, true}}, "large file, keys without value"));
  EXPECT_TRUE(sameOutcome({{text + std::string(80, 'x'), true, false, true, 0, false}}, "file of 1 MiB or more"));
}

}  // namespace
