// registry.reg: the text the layer reads and writes, and the ways a file is read: in
// full, lazily (values left as lines), indexed when it is in the fold's own form, sorted
// into an index when only its order differs, decoded first from UTF-16LE. Every way
// accepts, refuses, enumerates and writes exactly what the others do.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <functional>

#include <gtest/gtest.h>

#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Text.h"
#include "platform/hosted/machine/registry/RegTree.h"
#include "platform/hosted/machine/registry/Registry.h"
#include "tests/support/TestMachine.h"

namespace {

namespace fs = std::filesystem;
namespace reg = hosted::registry;
using reg::Key;
using reg::KeyPath;
using reg::Registry;
using reg::Value;
using zutest::readFile;
using zutest::ScratchDir;
using zutest::writeFile;

const std::string kSid = "S-1-5-21-1-2-3-1001";
const std::string kSignature = "Windows Registry Editor Version 5.00";

// A file as the registry editor writes it: CR LF, sorted keys, wrapped hex data.
const std::string kEditorFile =
    kSignature + "\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane]\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment]\r\n\"CurrentVersion\"=\"1.8\"\r\n"
    "@=\"default \\\"quoted\\\" C:\\\\path\"\r\n\"Flags\"=dword:0000002a\r\n"
    "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n  16,17,18,19\r\n"
    "\"Expand\"=hex(2):25,00,50,00,41,00,54,00,48,00,25,00,00,00\r\n\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
    "\"Quad\"=hex(b):01,00,00,00,00,00,00,00\r\n\"None\"=hex(0):\r\n\"Odd\"=hex(2a):ff\r\n\"NoNul\"=hex(1):41,00,42,00\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment\\1.8]\r\n"
    "\"ZunaHome\"=\"C:\\\\Program Files\\\\Zuna\\\\zre\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\\xC3\x9C" "bung \xE6\x97\xA5\xE6\x9C\xAC]\r\n"
    "\"Gr\xC3\xBC\xC3\x9F\"=\"\xE2\x82\xAC \xE6\x97\xA5\"\r\n\r\n"
    "[HKEY_USERS\\S-1-5-21-1-2-3-1001\\Software\\Empty]\r\n\r\n";

// Not as the registry editor would write it: LF line ends, comments and blank lines
// between values, short dword digits, hex wrapped at other columns, upper-case hex,
// blanks around '=', keys out of order, an alias root, and a key named twice.
const std::string kHandWritten =
    kSignature + "\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zeta]\n\"Short\"=dword:2a\n; a comment between values\n\n"
    "\"Wrapped\"=hex:01,02,\\\n    03,0A,\\\n  FF\n\"Spaced\" = \"a \\\"b\\\" c\"   \n\n"
    "[HKEY_CURRENT_USER\\Software\\Corvane]\n@=\"default\"\n\"Multi\"=hex(7):61,00,00,00,00,00\n\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Alpha]\n\"first\"=\"1\"\n\"shared\"=\"from the first block\"\n\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Mid\\Deep\\Leaf]\n\"x\"=dword:00000001\n\n"
    "[hkey_local_machine\\software\\ALPHA]\n\"second\"=\"2\"\n\"SHARED\"=\"from the second block\"\n";

// The tree a full read of `text` gives, or a lazy one (values left as lines).
Key parse(const std::string& text, bool lazily = false) {
  Key root;
  lazily ? reg::parseRegFileLazily(text, "registry.reg", kSid, root) : reg::parseRegFile(text, "registry.reg", kSid, root);
  return root;
}

// "" when `parse` succeeds, else the status and message of the failure it ends with.
template <class Parse>
std::string failureOf(Parse parse) {
  try {
    parse();
    return "";
  } catch (const hosted::HostFailure& failure) {
    return std::to_string(failure.status) + " " + failure.message;
  }
}

bool indexes(std::string_view text, std::string_view newline) {
  Key root;
  return reg::indexRegText(text, newline, nullptr, root) != nullptr;
}

// The value at `path`, or one named "missing" when there is none.
Value valueAt(const Key& root, const KeyPath& path, const std::string& name) {
  std::shared_ptr<Key> key = root.findSubkey(path[0]);
  for (size_t i = 1; key && i < path.size(); ++i) key = key->findSubkey(path[i]);
  Value* value = key ? key->findValue(name) : nullptr;
  return value ? *value : Value{"missing", REG_NONE, {}};
}

// Every key below `key`, made and read now: its path, whether it has a header of its
// own, and its values, in order.
std::string dump(const Key& key, const std::string& path = "") {
  std::string out;
  key.expand();
  for (const auto& [upper, sub] : key.subkeys) {
    sub->loadValues();
    out += path + sub->name + (sub->explicitKey ? " [own]\n" : "\n");
    for (const auto& value : sub->values) {
      out += "  " + value.name + " " + std::to_string(value.type) + " " +
             std::string(value.data.begin(), value.data.end()) + "\n";
    }
    out += dump(*sub, path + sub->name + "\\");
  }
  return out;
}

std::string utf16(const std::string& utf8) {
  std::string bytes = "\xFF\xFE";
  for (wchar_t unit : hosted::utf8ToWide(utf8)) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>((unit >> 8) & 0xFF);
  }
  return bytes;
}

struct Random {
  uint32_t state;
  uint32_t operator()(size_t bound) { return static_cast<uint32_t>(((state = state * 1103515245u + 12345u) >> 8) % bound); }
};

// Names that sort close together and differ in case, so that new keys land between
// existing ones and case-blind ordering matters.
std::string randomName(Random& random) {
  static const char* const kNames[] = {"a", "B", "ab", "Ac", "b0", "B_", "z", "Zz", "m n", "{x}", "k", "K1", "é"};
  return kNames[random(std::size(kNames))];
}

// A registry.reg in the fold's form: random blocks of every value form, read and written.
std::string randomCanonicalFile(Random& random, const std::string& nl) {
  static const char* const kRoots[] = {"HKEY_LOCAL_MACHINE\\SOFTWARE", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                                       "HKEY_CURRENT_CONFIG", "HKEY_CURRENT_USER\\Software"};
  std::string text = kSignature + nl + nl;
  for (int blocks = 1 + static_cast<int>(random(30)); blocks > 0; --blocks) {
    text += std::string("[") + kRoots[random(std::size(kRoots))];
    for (int depth = 1 + static_cast<int>(random(4)); depth > 0; --depth) text += "\\" + randomName(random);
    text += "]" + nl;
    for (int values = static_cast<int>(random(4)); values > 0; --values) {
      std::string name = random(5) == 0 ? "@" : "\"v" + std::to_string(random(4)) + "\"";
      switch (random(6)) {
        case 0: text += name + "=\"text " + std::to_string(random(100)) + " \\\"q\\\"\"" + nl; break;
        case 1: text += name + "=dword:" + std::to_string(random(10)) + "a" + nl; break;
        case 2: text += name + "=hex:01,02,\\" + nl + "  03,ff" + nl; break;
        case 3: text += name + "=hex(2):41,00,00,00" + nl; break;
        case 4: text += "; a comment" + nl + name + "=hex(7):" + nl; break;
        default: text += nl + name + " = \"spaced\"" + nl; break;
      }
    }
    text += nl;
  }
  return reg::formatRegFile(parse(text), nl);
}

// The same file read the ordinary way: a comment before the first key (which the fold
// drops) keeps it from being indexed and changes nothing else.
std::string withLeadingComment(const std::string& text, const std::string& nl) {
  size_t first = kSignature.size() + 2 * nl.size();
  return text.substr(0, first) + "; exported" + nl + text.substr(first);
}

// Every key a full read of `text` holds, implied ones included.
std::vector<KeyPath> keyPaths(const std::string& text) {
  std::vector<KeyPath> paths;
  std::function<void(const Key&, KeyPath)> walk = [&](const Key& key, KeyPath path) {
    for (const auto& [upper, sub] : key.subkeys) {
      path.push_back(sub->name);
      paths.push_back(path);
      walk(*sub, path);
      path.pop_back();
    }
  };
  walk(parse(text), {});
  return paths;
}

TEST(RegFileTest, ReadsEveryValueFormIntoWindowsDataAndWritesItBack) {
  Key root = parse(kEditorFile);
  const KeyPath zre = {"HKEY_LOCAL_MACHINE", "SOFTWARE", "Corvane", "Zuna Runtime Environment"};
  const Value cases[] = {
      {"CurrentVersion", REG_SZ, {'1', 0, '.', 0, '8', 0, 0, 0}},
      {"Flags", REG_DWORD, {0x2a, 0, 0, 0}},
      {"Expand", REG_EXPAND_SZ, {'%', 0, 'P', 0, 'A', 0, 'T', 0, 'H', 0, '%', 0, 0, 0}},
      {"Multi", REG_MULTI_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}},
      {"Quad", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}},
      {"None", REG_NONE, {}},
      {"Odd", 0x2a, {0xff}},
      {"NoNul", REG_SZ, {'A', 0, 'B', 0}},
  };
  for (const auto& value : cases) EXPECT_EQ(valueAt(root, zre, value.name), value) << value.name;
  std::vector<uint8_t> blob = valueAt(root, zre, "blob").data;  // names compare without case
  ASSERT_EQ(blob.size(), 26u);
  EXPECT_EQ(blob.back(), 0x19);
  std::vector<uint8_t> byDefault = valueAt(root, zre, "").data;
  ASSERT_EQ(byDefault.size(), (std::wstring(L"default \"quoted\" C:\\path").size() + 1) * 2);
  EXPECT_EQ(byDefault[2 * 8], '"');

  // Continuations may end in blanks and go on after tabs.
  Key wrapped = parse(kSignature + "\n\n[HKEY_LOCAL_MACHINE\\S]\n\"a\"=hex:01,02,\\\n  03,\\  \n\t04\n"
                      "\"b\"=hex(7):41,00,\\\n  00,00\n");
  EXPECT_EQ(valueAt(wrapped, {"HKEY_LOCAL_MACHINE", "S"}, "a").data, (std::vector<uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(valueAt(wrapped, {"HKEY_LOCAL_MACHINE", "S"}, "b").data, (std::vector<uint8_t>{0x41, 0, 0, 0}));
  // The alias roots name keys of the stored ones; UTF-16LE and a UTF-8 mark are read.
  Key aliases = parse("\xEF\xBB\xBF" + kSignature + "\n\n[HKEY_CLASSES_ROOT\\.zar]\n@=\"zarfile\"\n\n"
                      "[HKEY_CURRENT_USER\\Software\\Corvane]\n\"x\"=dword:1\n");
  EXPECT_EQ(valueAt(aliases, {"HKEY_LOCAL_MACHINE", "SOFTWARE", "Classes", ".zar"}, "").data.size(), 16u);
  EXPECT_EQ(valueAt(aliases, {"HKEY_USERS", kSid, "Software", "Corvane"}, "X").data, (std::vector<uint8_t>{1, 0, 0, 0}));
  Key wide = parse(utf16(kSignature + "\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\\xC3\x9C" "ber]\r\n\"N\"=\"\xE6\x97\xA5\"\r\n"));
  EXPECT_EQ(valueAt(wide, {"HKEY_LOCAL_MACHINE", "SOFTWARE", "\xC3\x9C" "ber"}, "n").data,
            (std::vector<uint8_t>{0xE5, 0x65, 0, 0}));
  // The editor's own file comes back byte for byte; any other reads back the same.
  EXPECT_EQ(reg::formatRegFile(parse(kEditorFile), "\r\n"), kEditorFile);
  Key handWritten = parse(kHandWritten);
  EXPECT_EQ(dump(parse(reg::formatRegFile(handWritten, "\n"))), dump(handWritten));
}

// One line of a file in the fold's form spoiled (line 0: a near miss that is fine):
// every reader refuses it naming the line, and a load leaves the directory as it was.
TEST(RegFileTest, MalformedLinesAreRefusedByEveryReaderNamingTheLine) {
  const std::string a = "\"a\"=\"1\"", b = "\"b\"=dword:00000002", keyB = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\B]";
  const std::string good = kSignature + "\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n" + a + "\r\n\r\n" + keyB +
                           "\r\n" + b + "\r\n\r\n";
  ASSERT_TRUE(indexes(good, "\r\n"));
  std::string deep = "[HKEY_LOCAL_MACHINE";
  for (int i = 0; i < 512; ++i) deep += "\\k";
  const std::tuple<std::string, std::string, int> cases[] = {
      {kSignature, "REGEDIT4", 1},
      {"\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]", "\r\n\"v\"=\"x\"\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]", 2},
      {a, "\"a\"=\"unterminated", 4},
      {a, "\"a\"=\"C:\\Program Files\"", 4},
      {a, "\"a\"=\"\xFF\"", 4},
      {a, "\"a\"=-", 4},
      {a, "\"a\"", 4},
      {a, "junk", 4},
      {b, "\"b\"=dword:123456789", 7},
      {b, "\"b\"=hex:0g", 7},
      {b, "\"b\"=hex:1,2", 7},
      {b, "\"b\"=hex(2x):00", 7},
      {b, "\"b\"=hex(21:00", 7},
      {b, "\"b\"=bogus", 7},
      {b, "\"b\"=hex:01,\\", 7},  // a continuation at the end of the file
      {keyB, "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\B]", 6},
      {keyB, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\B", 6},
      {keyB, "[HKLM\\SOFTWARE\\B]", 6},
      {keyB, "[HKEY_NOWHERE\\B]", 6},
      {keyB, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\\\B]", 6},
      {keyB, deep + "\\k]", 6},  // deeper than the 512 levels Windows allows
      {keyB, deep + "]", 0},
      {b, "\"b\"=hex:01,\\\r\n  02", 0},
  };
  for (const auto& [from, to, lineNumber] : cases) {
    std::string text = good;
    text.replace(text.find(from), from.size(), to);
    if (to.back() == '\\') text.resize(text.find(to) + to.size());
    std::string failure = failureOf([&] { parse(text); });
    std::string line = lineNumber ? "65 registry.reg:" + std::to_string(lineNumber) + ": " : "";
    EXPECT_EQ(failure.substr(0, line.size()), line) << failure << " for " << to;
    EXPECT_EQ(failureOf([&] { parse(text, true); }), failure);
    ScratchDir dir;
    writeFile(dir.path() / "registry.reg", text);
    writeFile(dir.path() / "registry.reg.log", "");
    std::string expected = lineNumber ? "65 " + (dir.path() / "registry.reg").string() + failure.substr(failure.find(':')) : "";
    EXPECT_EQ(failureOf([&] { Registry::load(dir.path(), kSid); }), expected);
    if (lineNumber) {
      EXPECT_EQ(readFile(dir.path() / "registry.reg"), text);
      EXPECT_TRUE(fs::exists(dir.path() / "registry.reg.log"));
    }
  }
}

// Damaged files: hand-written, the editor's, and random ones in the fold's form damaged
// where a large file's two halves meet. The full and the lazy read accept and refuse
// alike; the index, checked in one pass or in two halves, takes only what they accept,
// alike, and writes it back byte for byte; what is accepted writes out as the same tree.
TEST(RegFileTest, DamagedFilesAreReadAlikeByEveryReaderOrRefusedAlike) {
  static const std::string kDamage[] = {"\n", "\r\n", "[", "]", "\"", "\\", "\xFF", "\xC3\xA9", " ", "", ";", "=",
                                        "@", ",", ":", "-", "x"};
  Random random{4242};
  int refused = 0, indexed = 0, split = 0;
  for (int round = 0; round < 3000; ++round) {
    int kind = round % 3;
    std::string nl = kind == 0 ? "\n" : kind == 1 || random(3) ? "\r\n" : "\n";
    std::string text = kind == 0 ? kHandWritten : kind == 1 ? kEditorFile : randomCanonicalFile(random, nl);
    for (int edits = kind == 2 && round % 2 ? 0 : 1 + static_cast<int>(random(3)); edits > 0; --edits) {
      size_t at = random(text.size());
      size_t seam = text.find(nl + nl + "[", text.size() / 2);
      if (kind == 2 && seam != std::string::npos) at = seam + random(2 * nl.size() + 2) - random(3) * random(30);
      at = std::min(at, text.size() - 1);
      if (random(4) == 0) {
        text.resize(at);
      } else {
        text = text.substr(0, at) + kDamage[random(std::size(kDamage))] + text.substr(at + random(2));
      }
      if (text.empty()) text = "x";
    }
    std::string failure = failureOf([&] { parse(text); });
    ASSERT_EQ(failureOf([&] { parse(text, true); }), failure) << text;
    if (!failure.empty()) {
      ++refused;
      EXPECT_EQ(failure.rfind("65 registry.reg:", 0), 0u) << failure;
    }
    if (text.find(nl + nl + "[", text.size() / 2) != std::string::npos) ++split;
    for (bool anyOrder : {false, true}) {
      auto index = [&](size_t splitAbove, Key& root) {
        auto found = reg::indexRegText(text, nl, nullptr, root, splitAbove, anyOrder);
        std::vector<std::tuple<uint64_t, uint32_t, uint32_t>> entries;
        for (const auto& entry : found ? found->entries : std::vector<reg::RegIndex::Entry>{}) {
          entries.emplace_back(entry.start, entry.pathLength, entry.bodyLength);
        }
        return std::make_pair(found != nullptr, entries);
      };
      Key whole, halves;
      auto inOnePass = index(SIZE_MAX, whole);
      ASSERT_EQ(index(0, halves), inOnePass) << text;
      if (!inOnePass.first) continue;
      ASSERT_EQ(failure, "") << text;
      indexed += anyOrder ? 0 : 1;
      EXPECT_EQ(reg::formatRegFile(halves, nl), anyOrder ? reg::formatRegFile(parse(text, true), nl) : text);
    }
    if (!failure.empty()) continue;
    Key lazy = parse(text, true);
    std::string eager = dump(parse(text));
    ASSERT_EQ(dump(lazy), eager) << text;
    ASSERT_EQ(dump(parse(reg::formatRegFile(lazy, "\r\n"))), eager) << text;
  }
  EXPECT_GT(refused, 1000);
  EXPECT_GT(indexed, 500);
  EXPECT_GT(split, 500);
}

// The same registry saved in each form a file comes in: in the fold's form (indexed),
// its blocks shuffled (the index sorted; read in full when a block comes twice), as
// UTF-16LE or after a UTF-8 mark (decoded, then indexed), or only nearly in the fold's
// form (read in full). The same changes enumerate and fold exactly as on the file read
// the ordinary way, before or after the fold.
TEST(RegFileTest, EveryFormChangesAndFoldsAsTheOrdinaryReading) {
  Random random{20261206};
  int pendingAtLoad[4] = {};
  for (int round = 0; round < 300; ++round) {
    int form = round % 5;
    std::string nl = random(4) == 0 ? "\n" : "\r\n";
    std::string text = randomCanonicalFile(random, nl);
    const size_t first = kSignature.size() + 2 * nl.size();
    std::string saved = form == 2 && nl == "\r\n" ? utf16(text) : form == 3 ? "\xEF\xBB\xBF" + text : text;
    if (form == 1) {
      std::vector<std::string> blocks;
      for (size_t at = first, next; at < text.size(); at = next) {
        next = text.find(nl + nl + "[", at);
        next = next == std::string::npos ? text.size() : next + 2 * nl.size();
        blocks.push_back(text.substr(at, next - at));
      }
      for (size_t i = blocks.size(); i > 1; --i) std::swap(blocks[i - 1], blocks[random(i)]);
      if (random(5) == 0) blocks.push_back(blocks[random(blocks.size())]);
      saved = text.substr(0, first);
      for (const auto& block : blocks) saved += block;
    } else if (form == 4) {
      const std::pair<std::string, std::string> nearly[] = {
          {nl + nl + "[", nl + nl + nl + "["},              // two blank lines
          {nl + nl + "[", nl + "; after" + nl + nl + "["},  // a comment after the values
          {nl + nl + "[", nl + "["},                        // no blank line between blocks
          {nl + nl + "[", nl + "\n["},                      // a blank line with another line end
          {"]" + nl, "]\n"},
          {"]" + nl, "] " + nl},
          {"[", " ["},
          {"[HKEY_USERS\\" + kSid + "\\", "[HKEY_CURRENT_USER\\"},  // an alias root
      };
      size_t p = (round / 5) % (std::size(nearly) + 2), at;
      if (p == std::size(nearly)) {
        saved.resize(saved.size() - nl.size());  // no blank line at the end
      } else if (p > std::size(nearly)) {
        // A name written otherwise than in another path that shares it.
        if ((at = saved.rfind("\\SOFTWARE\\")) != saved.find("\\SOFTWARE\\")) saved.replace(at, 10, "\\software\\");
      } else if ((at = saved.find(nearly[p].first, first)) != std::string::npos) {
        saved.replace(at, nearly[p].first.size(), nearly[p].second);
      }
    }
    if ((form == 1 || form == 4) && saved != text) {
      EXPECT_FALSE(indexes(saved, nl)) << saved;
    }
    ScratchDir formDir, fullDir;
    writeFile(formDir.path() / "registry.reg", saved);
    writeFile(fullDir.path() / "registry.reg", withLeadingComment(form == 1 || form == 4 ? saved : text, nl));
    auto indexed = Registry::load(formDir.path(), kSid);
    auto full = Registry::load(fullDir.path(), kSid);
    for (const auto& [upper, top] : indexed->root().subkeys) {
      if (form == 4) break;
      pendingAtLoad[form] += top->expandPending() ? 1 : 0;
      for (const auto& [upper2, sub] : top->subkeys) pendingAtLoad[form] += sub->expandPending() ? 1 : 0;
    }
    // The same changes to both, on keys nothing reached yet.
    std::vector<KeyPath> paths = keyPaths(text);
    for (int c = 0, changes = 1 + static_cast<int>(random(6)); c < changes; ++c) {
      KeyPath path = paths.empty() ? KeyPath{"HKEY_LOCAL_MACHINE", "New"} : paths[random(paths.size())];
      uint32_t op = c == 0 ? 0 : random(5);
      KeyPath longer = path;
      longer.push_back(randomName(random) + (random(2) ? "0" : ""));
      if (random(3) == 0) longer.push_back("deep");
      std::string name = "v" + std::to_string(random(4));
      for (Registry* registry : {indexed.get(), full.get()}) {
        uint32_t result = op == 0   ? registry->createKey(longer)  // between existing keys, or deeper
                          : op == 1 ? registry->deleteKey(path)    // a whole branch
                          : op == 2 ? registry->setValue(path, name, REG_SZ, {'x', 0, 0, 0})
                          : op == 3 ? registry->deleteValue(path, name)
                                    : registry->createKey(path);
        ASSERT_EQ(result, 0u);
      }
    }
    // Listed first, every key is made; folded first, what nothing reached is copied.
    bool listFirst = random(2);
    if (listFirst) {
      ASSERT_EQ(dump(indexed->root()), dump(full->root())) << saved;
    }
    ASSERT_EQ(indexed->deleteValue({"HKEY_LOCAL_MACHINE"}, "none"), 0u);  // something to fold
    ASSERT_TRUE(indexed->fold());
    std::string written = readFile(formDir.path() / "registry.reg");
    ASSERT_EQ(written, reg::formatRegFile(full->root(), nl)) << saved;
    if (!listFirst) {
      ASSERT_EQ(dump(indexed->root()), dump(full->root())) << saved;
    }
    // What the fold wrote is in its form again, and reads back as the ordinary reading.
    ASSERT_TRUE(indexes(written, nl)) << written;
    indexed.reset();
    ScratchDir againDir;
    writeFile(againDir.path() / "registry.reg", withLeadingComment(written, nl));
    EXPECT_EQ(dump(Registry::load(formDir.path(), kSid)->root()), dump(Registry::load(againDir.path(), kSid)->root()));
  }
  for (int form = 0; form < 4; ++form) EXPECT_GT(pendingAtLoad[form], 150) << form;  // not built at load

}

class RegistryFoldTest : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }
  // registry.reg after `before` was loaded, changed and folded.
  std::string folded(const std::string& before, const std::function<void()>& change) {
    auto openFiles = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); };
    const auto open = openFiles();
    writeFile(dir() / "registry.reg", before);
    load();
    change();
    EXPECT_TRUE(machine().registry().fold());
    EXPECT_FALSE(fs::exists(dir() / "registry.reg.log"));
    std::string tree = dump(machine().registry().root());
    hosted::Machine::unload();
    EXPECT_EQ(dump(Registry::load(dir(), "S-1-5-21-1004336348-1177238915-682003330-1001")->root()), tree);
    EXPECT_EQ(openFiles(), open) << "a load, a fold or an unload left a file open";
    return readFile(dir() / "registry.reg");
  }
};

// A fold rewrites the keys that changed and copies every other key's lines as they stood,
// comments and spacing included; with nothing changed, it leaves the file alone.
TEST_F(RegistryFoldTest, ChangedKeysAreRewrittenAndUntouchedOnesCopied) {
  EXPECT_EQ(folded(kHandWritten, [&] {
    ASSERT_EQ(machine().registry().setValue({"HKEY_LOCAL_MACHINE", "SOFTWARE", "Mid", "Deep", "Leaf"}, "x", REG_DWORD,
                                            {2, 0, 0, 0}), 0u);
    ASSERT_EQ(machine().registry().find({"HKEY_LOCAL_MACHINE", "SOFTWARE", "Zeta"})->values.size(), 3u);  // read only
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Corvane", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "multi"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "MULTI"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Mid\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "n", 0, REG_SZ, reinterpret_cast<const BYTE*>("new"), 4), ERROR_SUCCESS);
    // Strings that cannot be written quoted are written as hex.
    ASSERT_EQ(RegSetValueExA(key, "lines", 0, REG_SZ, reinterpret_cast<const BYTE*>("a\n"), 3), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "inner", 0, REG_SZ, reinterpret_cast<const BYTE*>("a\0b"), 4), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "short", 0, REG_DWORD, reinterpret_cast<const BYTE*>("\1\2"), 2), ERROR_SUCCESS);
    RegCloseKey(key);
  }), kSignature + "\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Alpha]\n\"first\"=\"1\"\n\"SHARED\"=\"from the second block\"\n\"second\"=\"2\"\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Mid\\Deep\\Leaf]\n\"x\"=dword:00000002\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Mid\\New]\n\"n\"=\"new\"\n\"lines\"=hex(1):61,00,0a,00,00,00\n"
      "\"inner\"=hex(1):61,00,00,00,62,00,00,00\n\"short\"=hex(4):01,02\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zeta]\n\"Short\"=dword:2a\n; a comment between values\n\n"
      "\"Wrapped\"=hex:01,02,\\\n    03,0A,\\\n  FF\n\"Spaced\" = \"a \\\"b\\\" c\"   \n\n"
      "[HKEY_USERS\\S-1-5-21-1004336348-1177238915-682003330-1001\\Software\\Corvane]\n@=\"default\"\n\n");
  // A UTF-8 mark is dropped; a last line without a line end gets one.
  EXPECT_EQ(folded("\xEF\xBB\xBF" + kSignature + "\n\n[HKEY_USERS\\X]\n\"a\"=dword:1",
                   [&] { ASSERT_EQ(machine().registry().createKey({"HKEY_USERS", "X", "Y"}), 0u); }),
            kSignature + "\n\n[HKEY_USERS\\X]\n\"a\"=dword:1\n\n[HKEY_USERS\\X\\Y]\n\n");
  // Keys below one whose path is sixteen bytes long (a piece of the sort's keys) sort too.
  const std::string head = kSignature + "\r\n\r\n[HKEY_USERS\\abcde]\r\n@=dword:1\r\n\r\n";
  EXPECT_EQ(folded(head + "[HKEY_USERS\\abcde\\y]\r\n\r\n[HKEY_USERS\\abcde\\x]\r\n\r\n", [&] {
    EXPECT_TRUE(machine().registry().root().subkeys.at("HKEY_USERS")->subkeys.at("ABCDE")->expandPending());
    ASSERT_EQ(machine().registry().deleteValue({"HKEY_LOCAL_MACHINE"}, "none"), 0u);
  }), head + "[HKEY_USERS\\abcde\\x]\r\n\r\n[HKEY_USERS\\abcde\\y]\r\n\r\n");
  const std::string unsorted = kSignature + "\n\n[HKEY_USERS\\X]\n\"b\"=\"2\"\n\"a\"=\"1\"\n";
  EXPECT_EQ(folded(unsorted, [&] { EXPECT_EQ(machine().registry().find({"HKEY_USERS", "x"})->values.size(), 2u); }),
            unsorted);
}

// A file far larger than the pieces it is checked in (in two halves at once when it is
// in the fold's form, a piece at a time otherwise): text that is not UTF-8 anywhere in
// it is refused where it stands; whole, it loads and its keys read back.
TEST(RegistryLargeFileTest, IsCheckedWholeInPieces) {
  std::string text = kSignature + "\r\n\r\n";
  char line[160];
  for (int v = 0; v < 40; ++v) {
    std::snprintf(line, sizeof line, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor %02d]\r\n\"Index\"=dword:%08x\r\n\r\n", v, v);
    text += line;
    for (int p = 0; p < 900; ++p) {
      std::snprintf(line, sizeof line, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor %02d\\P%05d]\r\n"
                    "\"Path\"=\"C:\\\\Caf\xC3\xA9\\\\P%05d\"\r\n", v, p, p);
      text += std::string(line) + "\"Data\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
              "  16,17,18,19,1a\r\n\r\n";
    }
  }
  ASSERT_GT(text.size(), reg::kIndexSplitAbove + (2u << 20));
  ScratchDir dir;
  const fs::path file = dir.path() / "registry.reg";
  for (const char* where : {"Vendor 00\\P00100]", "Vendor 21\\P00500]", "Vendor 39\\P00899]"}) {
    std::string bad = text;
    size_t at = bad.find("\xC3\xA9", bad.find(where));
    bad[at] = '\xFF';
    writeFile(file, bad);
    std::string expected = "65 " + file.string() + ":" + std::to_string(std::count(bad.begin(), bad.begin() + at, '\n') + 1) + ": ";
    EXPECT_EQ(failureOf([&] { Registry::load(dir.path(), kSid); }).substr(0, expected.size()), expected);
  }
  writeFile(file, text);
  auto registry = Registry::load(dir.path(), kSid);
  EXPECT_EQ(registry->find({"HKEY_LOCAL_MACHINE", "software", "VENDOR 00"})->subkeys.size(), 900u);
  EXPECT_EQ(registry->find({"HKEY_LOCAL_MACHINE", "SOFTWARE", "Vendor 39", "p00899"})->findValue("data")->data.size(), 27u);
}

// A value of 2 MiB wrapped over many lines loads in linear time (re-copying the joined
// text at every continuation took half a minute); a tree far deeper than any stack (as a
// change log can build) is written, deleted and destroyed without recursion.
TEST(RegFileTest, LargeValuesAndDeepTreesNeedNoMoreThanLinearTimeAndNoStack) {
  Key written;
  auto& key = written.subkeys["HKEY_LOCAL_MACHINE"] = std::make_shared<Key>();
  key->name = "HKEY_LOCAL_MACHINE";
  key->explicitKey = true;
  Value value{"big", REG_BINARY, std::vector<uint8_t>(2u << 20)};
  for (size_t i = 0; i < value.data.size(); ++i) value.data[i] = static_cast<uint8_t>(i * 7 + i / 251);
  key->values.push_back(value);
  std::string text = reg::formatRegFile(written, "\r\n");
  auto start = std::chrono::steady_clock::now();
  Key read = parse(text);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
  EXPECT_TRUE(valueAt(read, {"HKEY_LOCAL_MACHINE"}, "big") == value);

  constexpr size_t kDepth = 200000;
  auto root = std::make_unique<Key>();
  Key* deep = root.get();
  for (size_t i = 0; i < kDepth; ++i) {
    auto& slot = deep->subkeys["K"] = std::make_shared<Key>();
    slot->name = "k";
    deep = slot.get();
  }
  deep->explicitKey = true;
  text = reg::formatRegFile(*root, "\n");
  EXPECT_EQ(text.size(), kSignature.size() + 2 + 2 * kDepth - 1 + 3 + 1);
  EXPECT_EQ(text.substr(text.size() - 7), "\\k\\k]\n\n");
  root->markDeleted();
  EXPECT_TRUE(deep->deleted);
  root.reset();
}

}  // namespace
