// registry.reg: what the layer reads, what it refuses, and that a rewrite keeps every
// key and value it was not asked to change.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/registry/RegTree.h"
#include "platform/hosted/machine/registry/Registry.h"
#include "tests/support/TestMachine.h"

namespace {

using hosted::registry::Key;
using hosted::registry::Value;

const std::string kSid = "S-1-5-21-1-2-3-1001";

// A file as the registry editor writes it: CR LF, sorted keys, wrapped hex data.
const std::string kEditorFile =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane]\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment]\r\n"
    "\"CurrentVersion\"=\"1.8\"\r\n"
    "@=\"default \\\"quoted\\\" C:\\\\path\"\r\n"
    "\"Flags\"=dword:0000002a\r\n"
    "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
    "  16,17,18,19\r\n"
    "\"Expand\"=hex(2):25,00,50,00,41,00,54,00,48,00,25,00,00,00\r\n"
    "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
    "\"Quad\"=hex(b):01,00,00,00,00,00,00,00\r\n"
    "\"None\"=hex(0):\r\n"
    "\"Odd\"=hex(2a):ff\r\n"
    "\"NoNul\"=hex(1):41,00,42,00\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment\\1.8]\r\n"
    "\"ZunaHome\"=\"C:\\\\Program Files\\\\Zuna\\\\zre\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\\xC3\x9C" "bung \xE6\x97\xA5\xE6\x9C\xAC]\r\n"
    "\"Gr\xC3\xBC\xC3\x9F\"=\"\xE2\x82\xAC \xE6\x97\xA5\"\r\n"
    "\r\n"
    "[HKEY_USERS\\S-1-5-21-1-2-3-1001\\Software\\Empty]\r\n"
    "\r\n";

Key parse(const std::string& text) {
  Key root;
  hosted::registry::parseRegFile(text, "registry.reg", kSid, root);
  return root;
}

const Value* valueAt(const Key& root, const std::vector<std::string>& path, const std::string& name) {
  const Key* key = &root;
  for (const auto& part : path) {
    auto next = key->findSubkey(part);
    if (!next) return nullptr;
    key = next.get();
  }
  return const_cast<Key*>(key)->findValue(name);
}

bool sameTree(const Key& a, const Key& b) {
  if (a.name != b.name || a.values != b.values || a.subkeys.size() != b.subkeys.size()) return false;
  for (const auto& [upper, sub] : a.subkeys) {
    auto other = b.subkeys.find(upper);
    if (other == b.subkeys.end() || !sameTree(*sub, *other->second)) return false;
  }
  return true;
}

TEST(RegFileTest, ReadsEveryValueFormIntoWindowsData) {
  Key root = parse(kEditorFile);
  const std::vector<std::string> zre = {"HKEY_LOCAL_MACHINE", "SOFTWARE", "Corvane", "Zuna Runtime Environment"};
  struct Case {
    const char* name;
    uint32_t type;
    std::vector<uint8_t> data;
  } cases[] = {
      {"CurrentVersion", REG_SZ, {'1', 0, '.', 0, '8', 0, 0, 0}},
      {"Flags", REG_DWORD, {0x2a, 0, 0, 0}},
      {"Expand", REG_EXPAND_SZ, {'%', 0, 'P', 0, 'A', 0, 'T', 0, 'H', 0, '%', 0, 0, 0}},
      {"Multi", REG_MULTI_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}},
      {"Quad", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}},
      {"None", REG_NONE, {}},
      {"Odd", 0x2a, {0xff}},
      {"NoNul", REG_SZ, {'A', 0, 'B', 0}},
  };
  for (const auto& c : cases) {
    const Value* value = valueAt(root, zre, c.name);
    ASSERT_NE(value, nullptr) << c.name;
    EXPECT_EQ(value->type, c.type) << c.name;
    EXPECT_EQ(value->data, c.data) << c.name;
  }
  const Value* blob = valueAt(root, zre, "blob");  // names compare without case
  ASSERT_NE(blob, nullptr);
  EXPECT_EQ(blob->data.size(), 26u);
  EXPECT_EQ(blob->data.back(), 0x19);
  const Value* byDefault = valueAt(root, zre, "");
  ASSERT_NE(byDefault, nullptr);
  std::wstring expected = L"default \"quoted\" C:\\path";
  ASSERT_EQ(byDefault->data.size(), (expected.size() + 1) * 2);
  EXPECT_EQ(byDefault->data[2 * 8], '"');
}

TEST(RegFileTest, EditorFileIsWrittenBackByteForByte) {
  EXPECT_EQ(hosted::registry::formatRegFile(parse(kEditorFile), "\r\n"), kEditorFile);
}

TEST(RegFileTest, RoundTripKeepsNonAsciiNamesAndAliasesResolve) {
  std::string text =
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n\n"
      "[HKEY_CLASSES_ROOT\\.zar]\n@=\"zarfile\"\n\n"
      "[HKEY_CURRENT_USER\\Software\\Corvane]\n\"x\"=dword:1\n";
  Key root = parse(text);
  ASSERT_NE(valueAt(root, {"HKEY_LOCAL_MACHINE", "SOFTWARE", "Classes", ".zar"}, ""), nullptr);
  ASSERT_NE(valueAt(root, {"HKEY_USERS", kSid, "Software", "Corvane"}, "X"), nullptr);
  Key again = parse(hosted::registry::formatRegFile(root, "\n"));
  EXPECT_TRUE(sameTree(root, again));
  Key editor = parse(kEditorFile);
  EXPECT_TRUE(sameTree(editor, parse(hosted::registry::formatRegFile(editor, "\n"))));
}

TEST(RegFileTest, ReadsUtf16WithByteOrderMark) {
  std::u16string text = u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\\u00DCber]\r\n\"N\"=\"\u65E5\"\r\n";
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  Key root = parse(bytes);
  const Value* value = valueAt(root, {"HKEY_LOCAL_MACHINE", "SOFTWARE", "\xC3\x9C" "ber"}, "n");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->data, (std::vector<uint8_t>{0xE5, 0x65, 0, 0}));
}

TEST(RegFileTest, ValuesThatCannotBeQuotedAreWrittenAsHex) {
  Key root;
  auto key = std::make_shared<Key>();
  key->name = "HKEY_LOCAL_MACHINE";
  auto sub = std::make_shared<Key>();
  sub->name = "SOFTWARE";
  sub->explicitKey = true;
  sub->values = {{"lines", REG_SZ, {'a', 0, '\n', 0, 0, 0}}, {"inner", REG_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0}},
                 {"short", REG_DWORD, {1, 2}}};
  key->subkeys["SOFTWARE"] = sub;
  root.subkeys["HKEY_LOCAL_MACHINE"] = key;
  std::string text = hosted::registry::formatRegFile(root, "\n");
  EXPECT_NE(text.find("\"lines\"=hex(1):61,00,0a,00,00,00\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"short\"=hex(4):01,02\n"), std::string::npos) << text;
  EXPECT_TRUE(sameTree(root, parse(text)));
}

TEST(RegFileTest, MalformedFilesAreRefusedNamingTheLine) {
  const std::string head = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n";
  struct Case {
    std::string text;
    int line;
  } cases[] = {
      {"REGEDIT4\n", 1},
      {head + "\"v\"=\"unterminated\n", 4},
      {head + "\"v\"=\"C:\\Program Files\"\n", 4},
      {head + "\"v\"=dword:123456789\n", 4},
      {head + "\"v\"=hex:0g\n", 4},
      {head + "\"v\"=hex(2x):00\n", 4},
      {head + "\"v\"=hex:00,\\\n", 4},
      {head + "\"v\"=bogus\n", 4},
      {head + "\"v\"=-\n", 4},
      {head + "\"v\"\n", 4},
      {head + "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\B]\n", 4},
      {head + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\B\n", 4},
      {head + "[HKLM\\SOFTWARE\\B]\n", 4},
      {head + "[HKEY_LOCAL_MACHINE\\\\B]\n", 4},
      {"Windows Registry Editor Version 5.00\n\"v\"=\"x\"\n", 2},
      {head + "junk\n", 4},
      {head + "\"v\"=\"\xFF\"\n", 4},
  };
  for (const auto& c : cases) {
    try {
      parse(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const hosted::HostFailure& failure) {
      EXPECT_EQ(failure.status, hosted::kExitDataError);
      EXPECT_EQ(failure.message.rfind("registry.reg:" + std::to_string(c.line) + ": ", 0), 0u)
          << failure.message << " for " << c.text;
    }
  }
}

// A small fuzz pass: cut and mangle a valid file; the parser either accepts it or
// refuses it with a host failure, and whatever it accepts survives a rewrite.
TEST(RegFileTest, MangledFilesAreAcceptedConsistentlyOrRefused) {
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u; };
  for (int round = 0; round < 400; ++round) {
    std::string text = kEditorFile;
    int edits = 1 + next() % 3;
    for (int e = 0; e < edits; ++e) {
      size_t at = next() % text.size();
      switch (next() % 3) {
        case 0: text.erase(at, 1 + next() % 4); break;
        case 1: text.insert(at, 1, "\\\",[]@=:\n"[next() % 9]); break;
        default: text.resize(at); break;
      }
      if (text.empty()) text = "x";
    }
    try {
      Key root = parse(text);
      EXPECT_TRUE(sameTree(root, parse(hosted::registry::formatRegFile(root, "\r\n")))) << text;
    } catch (const hosted::HostFailure& failure) {
      EXPECT_EQ(failure.status, hosted::kExitDataError);
    }
  }
}

class RegistryFileTest : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }
};

TEST_F(RegistryFileTest, AChangeRewritesOnlyWhatChanged) {
  zutest::writeFile(dir() / "registry.reg", kEditorFile);
  load();
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Zuna Runtime Environment\\1.8.0_31", 0, nullptr,
                            0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "BuildNumber", 0, REG_SZ, reinterpret_cast<const BYTE*>("13"), 3), ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_TRUE(machine().registry().fold());
  std::string expected = kEditorFile;
  std::string block =
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment\\1.8.0_31]\r\n"
      "\"BuildNumber\"=\"13\"\r\n\r\n";
  expected.insert(expected.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\\xC3\x9C"), block);
  EXPECT_EQ(zutest::readFile(dir() / "registry.reg"), expected);
  EXPECT_FALSE(std::filesystem::exists(dir() / "registry.reg.log"));
}

TEST_F(RegistryFileTest, ARunWithoutChangesLeavesTheFileAlone) {
  std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_USERS\\X]\n\"b\"=\"2\"\n\"a\"=\"1\"\n";
  zutest::writeFile(dir() / "registry.reg", text);
  load();
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_USERS, "x", 0, KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_TRUE(machine().registry().fold());
  EXPECT_EQ(zutest::readFile(dir() / "registry.reg"), text);
}

TEST_F(RegistryFileTest, MalformedFileFailsTheLoadAndChangesNothing) {
  std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_USERS\\X]\n\"b\"=dword:zz\n";
  zutest::writeFile(dir() / "registry.reg", text);
  zutest::writeFile(dir() / "registry.reg.log", "");
  try {
    load();
    FAIL() << "loaded";
  } catch (const hosted::HostFailure& failure) {
    EXPECT_EQ(failure.status, 65);
    EXPECT_NE(failure.message.find("registry.reg:4: "), std::string::npos) << failure.message;
  }
  EXPECT_EQ(zutest::readFile(dir() / "registry.reg"), text);
  EXPECT_TRUE(std::filesystem::exists(dir() / "registry.reg.log"));
}

}  // namespace
