// A registry.reg read without building its values: it is checked as strictly as a full
// read, every key reads back the values the file holds, enumeration sees the whole
// tree, and a rewrite copies the lines of keys that did not change byte for byte.
#include <windows.h>

#include <algorithm>
#include <cstdio>

#include <gtest/gtest.h>

#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/registry/RegTree.h"
#include "platform/hosted/machine/registry/Registry.h"
#include "tests/support/TestMachine.h"

namespace {

using hosted::registry::Key;
using hosted::registry::Value;

const std::string kSid = "S-1-5-21-1-2-3-1001";

// Not as the registry editor would write it: LF line ends, comments and blank lines
// between values, short dword digits, hex wrapped at other columns, upper-case hex,
// blanks around '=', keys out of order, an alias root, and a key named twice.
const std::string kHandWritten =
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zeta]\n"
    "\"Short\"=dword:2a\n"
    "; a comment between values\n"
    "\n"
    "\"Wrapped\"=hex:01,02,\\\n"
    "    03,0A,\\\n"
    "  FF\n"
    "\"Spaced\" = \"a \\\"b\\\" c\"   \n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\Corvane]\n"
    "@=\"default\"\n"
    "\"Multi\"=hex(7):61,00,00,00,00,00\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Alpha]\n"
    "\"first\"=\"1\"\n"
    "\"shared\"=\"from the first block\"\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Mid\\Deep\\Leaf]\n"
    "\"x\"=dword:00000001\n"
    "\n"
    "[hkey_local_machine\\software\\ALPHA]\n"
    "\"second\"=\"2\"\n"
    "\"SHARED\"=\"from the second block\"\n";

Key parseEagerly(const std::string& text) {
  Key root;
  hosted::registry::parseRegFile(text, "registry.reg", kSid, root);
  return root;
}

Key parseLazily(const std::string& text) {
  Key root;
  hosted::registry::parseRegFileLazily(text, "registry.reg", kSid, root);
  return root;
}

// Equal names, flags, values (read now) and subkeys, all the way down.
bool sameTree(Key& a, Key& b) {
  a.loadValues();
  b.loadValues();
  if (a.name != b.name || a.explicitKey != b.explicitKey || a.values != b.values ||
      a.subkeys.size() != b.subkeys.size()) {
    return false;
  }
  for (const auto& [upper, sub] : a.subkeys) {
    auto other = b.subkeys.find(upper);
    if (other == b.subkeys.end() || !sameTree(*sub, *other->second)) return false;
  }
  return true;
}

// The message of the failure a parse ends with, or "" when it succeeds.
template <class Parse>
std::string failureOf(Parse parse) {
  try {
    parse();
    return "";
  } catch (const hosted::HostFailure& failure) {
    return std::to_string(failure.status) + " " + failure.message;
  }
}

TEST(LazyRegFileTest, ReadsTheSameTreeAsAFullRead) {
  Key eager = parseEagerly(kHandWritten);
  Key lazy = parseLazily(kHandWritten);
  EXPECT_TRUE(sameTree(eager, lazy));
  Key* alpha = lazy.findSubkey("HKEY_LOCAL_MACHINE")->findSubkey("SOFTWARE")->findSubkey("Alpha").get();
  ASSERT_EQ(alpha->values.size(), 3u);
  EXPECT_EQ(alpha->values[1].name, "SHARED");
  EXPECT_EQ(alpha->values[1].data.size(), std::string("from the second block").size() * 2 + 2);
}

// The differential check: a lazy read accepts exactly what a full read accepts, refuses
// the rest with the same line and message, and reads the same values.
TEST(LazyRegFileTest, AcceptsAndRefusesExactlyAsAFullRead) {
  uint32_t seed = 4242;
  auto next = [&] { return seed = seed * 1103515245u + 12345u; };
  int refused = 0;
  for (int round = 0; round < 1500; ++round) {
    std::string text = kHandWritten;
    int edits = 1 + next() % 3;
    for (int e = 0; e < edits; ++e) {
      size_t at = next() % text.size();
      switch (next() % 4) {
        case 0: text.erase(at, 1 + next() % 4); break;
        case 1: text.insert(at, 1, "\\\",[]@=:;\n x-"[next() % 13]); break;
        case 2: text.insert(at, next() % 2 ? "\xFF" : "\xC3\xA9"); break;
        default: text.resize(at); break;
      }
      if (text.empty()) text = "x";
    }
    std::string eagerFailure = failureOf([&] { parseEagerly(text); });
    std::string lazyFailure = failureOf([&] { parseLazily(text); });
    ASSERT_EQ(lazyFailure, eagerFailure) << text;
    if (!eagerFailure.empty()) {
      ++refused;
      continue;
    }
    Key eager = parseEagerly(text);
    Key lazy = parseLazily(text);
    ASSERT_TRUE(sameTree(eager, lazy)) << text;
    // What a lazy tree writes reads back as the same tree.
    Key again = parseEagerly(hosted::registry::formatRegFile(lazy, "\r\n"));
    ASSERT_TRUE(sameTree(eager, again)) << text;
  }
  EXPECT_GT(refused, 100);
  EXPECT_LT(refused, 1400);
}

TEST(LazyRegFileTest, UnreadKeysAreWrittenWithTheirLinesAsTheyStood) {
  Key lazy = parseLazily(kHandWritten);
  std::string text = hosted::registry::formatRegFile(lazy, "\n");
  // Sorted as the editor sorts, headers under their stored roots, the two Alpha blocks
  // merged into one written afresh, the others copied.
  EXPECT_EQ(text,
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Alpha]\n"
            "\"first\"=\"1\"\n"
            "\"SHARED\"=\"from the second block\"\n"
            "\"second\"=\"2\"\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Mid\\Deep\\Leaf]\n"
            "\"x\"=dword:00000001\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zeta]\n"
            "\"Short\"=dword:2a\n"
            "; a comment between values\n"
            "\n"
            "\"Wrapped\"=hex:01,02,\\\n"
            "    03,0A,\\\n"
            "  FF\n"
            "\"Spaced\" = \"a \\\"b\\\" c\"   \n\n"
            "[HKEY_USERS\\S-1-5-21-1-2-3-1001\\Software\\Corvane]\n"
            "@=\"default\"\n"
            "\"Multi\"=hex(7):61,00,00,00,00,00\n\n");
}

TEST(LazyRegFileTest, ALastLineWithoutLineEndGetsOne) {
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_USERS\\X]\r\n\"a\"=\"1\"";
  Key lazy = parseLazily(text);
  EXPECT_EQ(hosted::registry::formatRegFile(lazy, "\r\n"),
            "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_USERS\\X]\r\n\"a\"=\"1\"\r\n\r\n");
}

TEST(LazyRegFileTest, Utf16FilesAreReadLazilyToo) {
  std::u16string wide = u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_USERS\\\u00DCber]\r\n\"N\"=\"\u65E5\"\r\n";
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : wide) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  Key lazy = parseLazily(bytes);
  Value* value = lazy.findSubkey("HKEY_USERS")->findSubkey("\xC3\x9C" "ber")->findValue("n");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->data, (std::vector<uint8_t>{0xE5, 0x65, 0, 0}));
  EXPECT_EQ(hosted::registry::formatRegFile(lazy, "\r\n"),
            "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_USERS\\\xC3\x9C" "ber]\r\n\"N\"=\"\xE6\x97\xA5\"\r\n\r\n");
}

class LazyRegistryTest : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }

  void loadText(const std::string& text) {
    zutest::writeFile(dir() / "registry.reg", text);
    load();
  }
};

// The block of one key in a registry.reg: its header line up to the next header.
std::string blockOf(const std::string& file, const std::string& header) {
  size_t start = file.find(header);
  if (start == std::string::npos) return "<missing>";
  size_t end = file.find("\n[", start);
  return file.substr(start, end == std::string::npos ? std::string::npos : end + 1 - start);
}

TEST_F(LazyRegistryTest, AFoldCopiesUntouchedKeysByteForByteAndRewritesChangedOnes) {
  loadText(kHandWritten);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Mid\\Deep\\Leaf", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  DWORD two = 2;
  ASSERT_EQ(RegSetValueExA(key, "x", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&two), 4), ERROR_SUCCESS);
  RegCloseKey(key);
  // Read, but not changed: still copied as it stood.
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zeta", 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD number = 0, size = 4;
  ASSERT_EQ(RegQueryValueExA(key, "SHORT", nullptr, nullptr, reinterpret_cast<BYTE*>(&number), &size), ERROR_SUCCESS);
  EXPECT_EQ(number, 0x2au);
  RegCloseKey(key);
  ASSERT_TRUE(machine().registry().fold());

  std::string file = zutest::readFile(dir() / "registry.reg");
  EXPECT_EQ(blockOf(file, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zeta]"),
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zeta]\n"
            "\"Short\"=dword:2a\n"
            "; a comment between values\n"
            "\n"
            "\"Wrapped\"=hex:01,02,\\\n"
            "    03,0A,\\\n"
            "  FF\n"
            "\"Spaced\" = \"a \\\"b\\\" c\"   \n\n")
      << file;
  EXPECT_EQ(blockOf(file, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Mid"),
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Mid\\Deep\\Leaf]\n\"x\"=dword:00000002\n\n");
  EXPECT_EQ(blockOf(file, "[HKEY_USERS"),
            "[HKEY_USERS\\S-1-5-21-1004336348-1177238915-682003330-1001\\Software\\Corvane]\n@=\"default\"\n"
            "\"Multi\"=hex(7):61,00,00,00,00,00\n\n");

  // The rewritten file holds the same registry, and a second run without changes
  // leaves it as it is.
  hosted::Machine::unload();
  load();
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zeta", 0, KEY_READ, &key), ERROR_SUCCESS);
  BYTE wrapped[8] = {};
  size = sizeof wrapped;
  ASSERT_EQ(RegQueryValueExA(key, "Wrapped", nullptr, nullptr, wrapped, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::vector<BYTE>(wrapped, wrapped + size), (std::vector<BYTE>{1, 2, 3, 10, 255}));
  RegCloseKey(key);
  ASSERT_TRUE(machine().registry().fold());
  EXPECT_EQ(zutest::readFile(dir() / "registry.reg"), file);
}

TEST_F(LazyRegistryTest, UntouchedKeysEnumerateInWindowsOrderAfterChanges) {
  loadText(
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\b]\r\n\"v\"=\"1\"\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\_x]\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\A]\r\n\"z\"=dword:00000001\r\n\"a\"=hex:00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\C\\Sub]\r\n\r\n");
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Bz", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\b"), ERROR_SUCCESS);

  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor", 0, KEY_READ, &key), ERROR_SUCCESS);
  std::vector<std::string> names;
  char name[64];
  for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i) names.push_back(name);
  RegCloseKey(key);
  // Upper-cased, '_' sorts after the letters.
  EXPECT_EQ(names, (std::vector<std::string>{"A", "Bz", "C", "_x"}));

  // The values of a key nothing touched, in the file's order.
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\A", 0, KEY_READ, &key), ERROR_SUCCESS);
  std::vector<std::string> values;
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof name;
    BYTE data[8];
    DWORD size = sizeof data;
    if (RegEnumValueA(key, i, name, &length, nullptr, nullptr, data, &size) != ERROR_SUCCESS) break;
    values.push_back(std::string(name) + ":" + std::to_string(size));
  }
  RegCloseKey(key);
  EXPECT_EQ(values, (std::vector<std::string>{"z:4", "a:1"}));
}

TEST_F(LazyRegistryTest, DeletingAValueOfAnUnreadKeyRewritesOnlyThatKey) {
  const std::string other = "[HKEY_USERS\\Other]\r\n\"keep\"=dword:7\r\n\r\n";
  loadText("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_USERS\\Gone]\r\n\"a\"=\"1\"\r\n\"b\"=dword:2\r\n\r\n" +
           other);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_USERS, "Gone", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteValueA(key, "A"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(key, "a"), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
  ASSERT_TRUE(machine().registry().fold());
  EXPECT_EQ(zutest::readFile(dir() / "registry.reg"),
            "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_USERS\\Gone]\r\n\"b\"=dword:00000002\r\n\r\n" + other);
}

// A run killed after its changes and before the fold: the next load replays the log
// onto the file, keeps every change, and still copies the untouched keys as they were.
TEST_F(LazyRegistryTest, ACrashBetweenChangeAndFoldLosesNothingAndKeepsUntouchedBytes) {
  loadText(kHandWritten);
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Mid\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "n", 0, REG_SZ, reinterpret_cast<const BYTE*>("new"), 4), ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zeta", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteValueA(key, "Spaced"), ERROR_SUCCESS);
  RegCloseKey(key);
  // As a crash leaves it: the log holds the changes, registry.reg is as it was.
  hosted::Machine::unload();
  ASSERT_EQ(zutest::readFile(dir() / "registry.reg"), kHandWritten);
  ASSERT_TRUE(std::filesystem::exists(dir() / "registry.reg.log"));

  load();
  EXPECT_FALSE(std::filesystem::exists(dir() / "registry.reg.log"));
  std::string file = zutest::readFile(dir() / "registry.reg");
  EXPECT_EQ(blockOf(file, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Mid\\New]"),
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Mid\\New]\n\"n\"=\"new\"\n\n");
  EXPECT_EQ(blockOf(file, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zeta]"),
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zeta]\n\"Short\"=dword:0000002a\n\"Wrapped\"=hex:01,02,03,0a,ff\n\n");
  EXPECT_EQ(blockOf(file, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Mid\\Deep"),
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Mid\\Deep\\Leaf]\n\"x\"=dword:00000001\n\n");
}

// A file far larger than the pieces its memory is let go of in, as the registry editor
// writes it: every key reads back, enumeration is whole, and a fold after one change
// writes the file back unchanged but for that key.
TEST_F(LazyRegistryTest, ALargeFileReadsWholeAndFoldsBackByteForByte) {
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
  constexpr int kVendors = 40, kProducts = 900;
  for (int v = 0; v < kVendors; ++v) {
    std::string vendor = std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor ") + static_cast<char>('0' + v / 10) +
                         static_cast<char>('0' + v % 10);
    text += vendor + "]\r\n\"Index\"=dword:" + [&] {
      char digits[9];
      std::snprintf(digits, sizeof digits, "%08x", v);
      return std::string(digits);
    }() + "\r\n\r\n";
    for (int p = 0; p < kProducts; ++p) {
      char name[16];
      std::snprintf(name, sizeof name, "P%05d", p);
      text += vendor + "\\" + name + "]\r\n\"Path\"=\"C:\\\\Vendor\\\\" + name + "\"\r\n" +
              "\"Data\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
              "  16,17,18,19,1a\r\n\r\n";
    }
  }
  ASSERT_GT(text.size(), 6u << 20);
  loadText(text);

  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor 00", 0, KEY_READ, &key), ERROR_SUCCESS);
  char name[32];
  DWORD count = 0;
  while (RegEnumKeyA(key, count, name, sizeof name) == ERROR_SUCCESS) ++count;
  RegCloseKey(key);
  EXPECT_EQ(count, static_cast<DWORD>(kProducts));
  for (const char* path : {"SOFTWARE\\Vendor 00\\P00000", "SOFTWARE\\Vendor 27\\P00250", "SOFTWARE\\Vendor 27\\P00899"}) {
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key), ERROR_SUCCESS) << path;
    BYTE data[64];
    DWORD size = sizeof data;
    ASSERT_EQ(RegQueryValueExA(key, "Data", nullptr, nullptr, data, &size), ERROR_SUCCESS) << path;
    EXPECT_EQ(size, 27u);
    EXPECT_EQ(data[26], 0x1a);
    RegCloseKey(key);
  }

  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor 27\\P00250", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>("D:\\x"), 5), ERROR_SUCCESS);
  RegCloseKey(key);
  hosted::Machine::unload();  // the log alone holds the change; the next load folds it
  load();
  std::string expected = text;
  const std::string old = "P00250]\r\n\"Path\"=\"C:\\\\Vendor\\\\P00250\"";
  size_t at = expected.find("Vendor 27\\" + old);
  ASSERT_NE(at, std::string::npos);
  expected.replace(at + 10, old.size() - 1, "P00250]\r\n\"Path\"=\"D:\\\\x");
  std::string file = zutest::readFile(dir() / "registry.reg");
  auto differ = std::mismatch(file.begin(), file.end(), expected.begin(), expected.end());
  EXPECT_TRUE(file == expected) << "differs at byte " << (differ.first - file.begin()) << ": "
                                << file.substr(differ.first - file.begin(), 80);
}

TEST_F(LazyRegistryTest, AFileWithAByteOrderMarkIsReadAndWrittenWithoutIt) {
  loadText("\xEF\xBB\xBFWindows Registry Editor Version 5.00\n\n[HKEY_USERS\\X]\n\"a\"=dword:1\n");
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_USERS, "X\\Y", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_TRUE(machine().registry().fold());
  EXPECT_EQ(zutest::readFile(dir() / "registry.reg"),
            "Windows Registry Editor Version 5.00\n\n[HKEY_USERS\\X]\n\"a\"=dword:1\n\n[HKEY_USERS\\X\\Y]\n\n");
}

}  // namespace
