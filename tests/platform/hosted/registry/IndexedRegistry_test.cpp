// A registry.reg in the form the fold writes is only indexed when loaded, its keys made
// as a run reaches them and the stretches nothing reached copied as they stood. Whatever
// the changes, a run on it must enumerate, read and write exactly what a run on the same
// registry read the ordinary way does; and a file not quite in that form must be read
// the ordinary way, with the same result and the same complaints.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Text.h"
#include "platform/hosted/machine/registry/RegTree.h"
#include "platform/hosted/machine/registry/Registry.h"
#include "tests/support/Runs.h"
#include "tests/support/TestMachine.h"

namespace {

using hosted::registry::Key;
using hosted::registry::KeyPath;
using hosted::registry::Registry;

const std::string kSid = "S-1-5-21-7-7-7-1001";
constexpr std::string_view kSignature = "Windows Registry Editor Version 5.00";

class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed) {}
  uint32_t operator()(uint32_t bound) {
    state_ = state_ * 1103515245u + 12345u;
    return (state_ >> 8) % bound;
  }

 private:
  uint32_t state_;
};

// Names that sort close together and differ in case, so that new keys land between
// existing ones and case-blind ordering matters.
std::string randomName(Random& random) {
  static const char* const kNames[] = {"a", "B", "ab", "Ac", "b0", "B_", "z", "Zz", "m n", "{x}", "k", "K1", "é"};
  return kNames[random(std::size(kNames))];
}

std::string randomValueLines(Random& random, const std::string& newline) {
  std::string out;
  int count = static_cast<int>(random(4));
  for (int i = 0; i < count; ++i) {
    std::string name = random(5) == 0 ? "@" : "\"v" + std::to_string(random(4)) + "\"";
    switch (random(6)) {
      case 0: out += name + "=\"text " + std::to_string(random(100)) + " \\\"q\\\"\"" + newline; break;
      case 1: out += name + "=dword:" + std::to_string(random(10)) + "a" + newline; break;
      case 2: out += name + "=hex:01,02,\\" + newline + "  03,ff" + newline; break;
      case 3: out += name + "=hex(2):41,00,00,00" + newline; break;
      case 4: out += "; a comment" + newline + name + "=hex(7):" + newline; break;
      default: out += newline + name + " = \"spaced\"" + newline; break;
    }
  }
  return out;
}

// A registry.reg in the fold's form: random blocks read the ordinary way and written.
std::string randomCanonicalFile(Random& random, const std::string& newline) {
  std::string text = std::string(kSignature) + newline + newline;
  static const char* const kRoots[] = {"HKEY_LOCAL_MACHINE\\SOFTWARE", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                                       "HKEY_CURRENT_CONFIG", "HKEY_CURRENT_USER\\Software"};
  int blocks = 1 + static_cast<int>(random(30));
  for (int i = 0; i < blocks; ++i) {
    std::string path = kRoots[random(std::size(kRoots))];
    int depth = 1 + static_cast<int>(random(4));
    for (int d = 0; d < depth; ++d) path += "\\" + randomName(random);
    text += "[" + path + "]" + newline + randomValueLines(random, newline) + newline;
  }
  Key root;
  hosted::registry::parseRegFile(text, "registry.reg", kSid, root);
  return hosted::registry::formatRegFile(root, newline);
}

// Every key a full read of `text` holds, implied ones included.
std::vector<KeyPath> keyPaths(const std::string& text) {
  Key root;
  hosted::registry::parseRegFile(text, "registry.reg", kSid, root);
  std::vector<KeyPath> paths;
  std::function<void(const Key&, KeyPath)> walk = [&](const Key& key, KeyPath path) {
    for (const auto& [upper, sub] : key.subkeys) {
      KeyPath below = path;
      below.push_back(sub->name);
      paths.push_back(below);
      walk(*sub, below);
    }
  };
  walk(root, {});
  return paths;
}

// What enumerating the whole registry through find() shows: each key's path, whether
// it has a header of its own, its values and its subkeys, in order.
std::string listing(const Registry& registry) {
  std::string out;
  std::function<void(const KeyPath&)> walk = [&](const KeyPath& path) {
    std::shared_ptr<Key> key = registry.find(path);
    if (!key) {
      out += "missing " + hosted::registry::joinKeyPath(path) + "\n";
      return;
    }
    out += hosted::registry::joinKeyPath(path) + (key->explicitKey ? " [own]" : "") + "\n";
    for (const auto& value : key->values) {
      out += "  " + value.name + " " + std::to_string(value.type) + " " +
             std::string(value.data.begin(), value.data.end()) + "\n";
    }
    std::vector<std::string> names;
    for (const auto& [upper, sub] : key->subkeys) names.push_back(sub->name);
    for (const auto& name : names) {
      KeyPath below = path;
      below.push_back(name);
      walk(below);
    }
  };
  registry.root().expand();
  std::vector<std::string> roots;
  for (const auto& [upper, top] : registry.root().subkeys) roots.push_back(top->name);
  for (const auto& name : roots) walk({name});
  return out;
}

// The same file read the ordinary way: a comment before the first key (which the fold
// drops) keeps it from being indexed and changes nothing else.
std::string withLeadingComment(const std::string& canonical, const std::string& newline) {
  size_t first = kSignature.size() + 2 * newline.size();
  return canonical.substr(0, first) + "; exported" + newline + canonical.substr(first);
}

bool indexes(const std::string& text, const std::string& newline) {
  Key root;
  return hosted::registry::indexRegText(text, newline, nullptr, root) != nullptr;
}

TEST(IndexedRegistryTest, ChangesEnumerateAndFoldExactlyAsOnATreeReadInFull) {
  Random random(20261206);
  int pendingAtLoad = 0;
  for (int round = 0; round < 300; ++round) {
    std::string newline = random(4) == 0 ? "\n" : "\r\n";
    std::string canonical = randomCanonicalFile(random, newline);
    std::string ordinary = withLeadingComment(canonical, newline);
    ASSERT_TRUE(indexes(canonical, newline)) << canonical;
    ASSERT_FALSE(indexes(ordinary, newline));
    std::vector<KeyPath> paths = keyPaths(canonical);

    zutest::ScratchDir indexedDir, fullDir;
    // As the registry editor saves it (UTF-16LE, CR LF), or with a UTF-8 byte-order mark,
    // the same text is indexed too.
    std::string saved = canonical;
    if (newline == "\r\n" && random(3) == 0) {
      saved = "\xFF\xFE";
      for (wchar_t c : hosted::utf8ToWide(canonical)) {
        for (uint32_t unit : c < 0x10000 ? std::vector<uint32_t>{static_cast<uint32_t>(c)}
                                         : std::vector<uint32_t>{0xD800u + ((c - 0x10000u) >> 10),
                                                                 0xDC00u + ((c - 0x10000u) & 0x3FF)}) {
          saved += static_cast<char>(unit & 0xFF);
          saved += static_cast<char>(unit >> 8);
        }
      }
    } else if (random(4) == 0) {
      saved = "\xEF\xBB\xBF" + canonical;
    }
    zutest::writeFile(indexedDir.path() / "registry.reg", saved);
    zutest::writeFile(fullDir.path() / "registry.reg", ordinary);
    auto indexed = Registry::load(indexedDir.path(), kSid);
    auto full = Registry::load(fullDir.path(), kSid);
    for (const auto& [upper, top] : indexed->root().subkeys) {
      for (const auto& [upper2, sub] : top->subkeys) pendingAtLoad += sub->expandPending() ? 1 : 0;
    }

    // The same changes to both, on keys nothing reached yet.
    int changes = 1 + static_cast<int>(random(6));
    for (int c = 0; c < changes; ++c) {
      KeyPath path = paths.empty() ? KeyPath{"HKEY_LOCAL_MACHINE", "New"} : paths[random(paths.size())];
      uint32_t op = c == 0 ? 0 : random(5);
      KeyPath longer = path;
      longer.push_back(randomName(random) + (random(2) ? "0" : ""));
      if (random(3) == 0) longer.push_back("deep");
      std::string name = "v" + std::to_string(random(4));
      std::vector<uint32_t> results;
      for (Registry* registry : {indexed.get(), full.get()}) {
        switch (op) {
          case 0: results.push_back(registry->createKey(longer)); break;  // between existing keys, or deeper
          case 1: results.push_back(registry->deleteKey(path)); break;     // a whole branch
          case 2: results.push_back(registry->setValue(path, name, REG_SZ, {'x', 0, 0, 0})); break;
          case 3: results.push_back(registry->deleteValue(path, name)); break;
          default: results.push_back(registry->createKey(path)); break;
        }
      }
      ASSERT_EQ(results[0], 0u);
      ASSERT_EQ(results[1], 0u);
    }
    ASSERT_EQ(listing(*indexed), listing(*full)) << canonical;
    // Something for both to fold even when every change above found its key there.
    ASSERT_EQ(indexed->deleteValue({"HKEY_LOCAL_MACHINE"}, "none"), 0u);
    ASSERT_EQ(full->deleteValue({"HKEY_LOCAL_MACHINE"}, "none"), 0u);
    ASSERT_TRUE(indexed->fold());
    ASSERT_TRUE(full->fold());
    std::string written = zutest::readFile(indexedDir.path() / "registry.reg");
    ASSERT_EQ(written, zutest::readFile(fullDir.path() / "registry.reg")) << canonical;
    // What the fold wrote is in its own form again, and reads back as it reads the
    // ordinary way.
    ASSERT_TRUE(indexes(written, newline)) << written;
    indexed.reset();
    zutest::ScratchDir againDir;
    zutest::writeFile(againDir.path() / "registry.reg", withLeadingComment(written, newline));
    EXPECT_EQ(listing(*Registry::load(indexedDir.path(), kSid)), listing(*Registry::load(againDir.path(), kSid)));
  }
  EXPECT_GT(pendingAtLoad, 20);  // the keys were mostly not made at load
}

// Blocks in the fold's form but in another order (a file exported key by key, or put
// together from several) are sorted into an index; one that names a key twice is read
// the ordinary way. Either way the result is the ordinary reading's.
TEST(IndexedRegistryTest, BlocksInAnyOrderAreSortedIntoTheIndexWithTheSameResult) {
  Random random(20261207);
  int pendingAtLoad = 0;
  for (int round = 0; round < 200; ++round) {
    std::string newline = random(4) == 0 ? "\n" : "\r\n";
    std::string canonical = randomCanonicalFile(random, newline);
    size_t first = kSignature.size() + 2 * newline.size();
    std::vector<std::string> blocks;
    for (size_t at = first; at < canonical.size();) {
      size_t next = canonical.find(newline + newline + "[", at);
      next = next == std::string::npos ? canonical.size() : next + 2 * newline.size();
      blocks.push_back(canonical.substr(at, next - at));
      at = next;
    }
    for (size_t i = blocks.size(); i > 1; --i) std::swap(blocks[i - 1], blocks[random(static_cast<uint32_t>(i))]);
    if (random(5) == 0) blocks.push_back(blocks[random(static_cast<uint32_t>(blocks.size()))]);
    std::string shuffled = canonical.substr(0, first);
    for (const auto& block : blocks) shuffled += block;

    zutest::ScratchDir sortedDir, fullDir;
    zutest::writeFile(sortedDir.path() / "registry.reg", shuffled);
    zutest::writeFile(fullDir.path() / "registry.reg", withLeadingComment(shuffled, newline));
    auto sorted = Registry::load(sortedDir.path(), kSid);
    auto full = Registry::load(fullDir.path(), kSid);
    for (const auto& [upper, top] : sorted->root().subkeys) pendingAtLoad += top->expandPending() ? 1 : 0;
    std::vector<KeyPath> paths = keyPaths(canonical);
    KeyPath path = paths[random(static_cast<uint32_t>(paths.size()))];
    KeyPath other = paths[random(static_cast<uint32_t>(paths.size()))];
    for (Registry* registry : {sorted.get(), full.get()}) {
      ASSERT_EQ(registry->setValue(path, "new", REG_DWORD, {1, 0, 0, 0}), 0u);
      ASSERT_EQ(registry->deleteKey(other), 0u);
    }
    // Folded first, so that what nothing reached is written from the index.
    ASSERT_TRUE(sorted->fold());
    ASSERT_TRUE(full->fold());
    ASSERT_EQ(zutest::readFile(sortedDir.path() / "registry.reg"),
              zutest::readFile(fullDir.path() / "registry.reg"))
        << shuffled;
    ASSERT_EQ(listing(*sorted), listing(*full)) << shuffled;
  }
  EXPECT_GT(pendingAtLoad, 100);  // mostly indexed, not read into a tree

  // Keys below one whose path is sixteen bytes long (as long as a piece of the sort's
  // keys) are sorted too.
  zutest::ScratchDir dir;
  const std::string head = std::string(kSignature) + "\r\n\r\n[HKEY_USERS\\abcde]\r\n@=dword:1\r\n\r\n";
  zutest::writeFile(dir.path() / "registry.reg",
                    head + "[HKEY_USERS\\abcde\\y]\r\n\r\n[HKEY_USERS\\abcde\\x]\r\n\r\n");
  auto registry = Registry::load(dir.path(), kSid);
  EXPECT_TRUE(registry->root().subkeys.at("HKEY_USERS")->subkeys.at("ABCDE")->expandPending());  // indexed
  ASSERT_EQ(registry->deleteValue({"HKEY_LOCAL_MACHINE"}, "none"), 0u);
  ASSERT_TRUE(registry->fold());
  EXPECT_EQ(zutest::readFile(dir.path() / "registry.reg"),
            head + "[HKEY_USERS\\abcde\\x]\r\n\r\n[HKEY_USERS\\abcde\\y]\r\n\r\n");
}

TEST(IndexedRegistryTest, AFileOnlyNearlyInTheFoldsFormIsReadTheOrdinaryWay) {
  const std::string canonical =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Alpha]\r\n\"a\"=\"1\"\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Alpha\\Sub]\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\beta\\x]\r\n\"b\"=dword:2\r\n; between\r\n\"c\"=hex:01\r\n\r\n";
  ASSERT_TRUE(indexes(canonical, "\r\n"));
  auto replace = [&](std::string_view from, std::string_view to) {
    std::string text = canonical;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  const std::vector<std::string> nearly = {
      replace("\"a\"=\"1\"\r\n\r\n", "\"a\"=\"1\"\r\n\r\n\r\n"),                // two blank lines
      replace("\"a\"=\"1\"\r\n\r\n", "\"a\"=\"1\"\r\n; after\r\n\r\n"),         // a comment after the values
      canonical.substr(0, canonical.size() - 2),                                  // no blank line at the end
      replace("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Alpha\\Sub]", "[HKEY_LOCAL_MACHINE\\software\\Alpha\\Sub]"),
      replace("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Alpha\\Sub]", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Alpha]"),
      replace("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Alpha\\Sub]", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Beta\\Sub]"),
      replace("[HKEY_LOCAL_MACHINE\\SOFTWARE\\beta\\x]", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Aa]"),  // out of order
      replace("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Alpha]", "[HKEY_CLASSES_ROOT\\..\\Alpha]"),
      replace("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Alpha]\r\n", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Alpha] \r\n"),
      replace("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Alpha]\r\n", " [HKEY_LOCAL_MACHINE\\SOFTWARE\\Alpha]\r\n"),
      replace("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Alpha]\r\n", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Alpha]\n"),
      replace("\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Alpha]", "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Alpha]"),
      replace("\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\beta", "\r\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\beta"),
      "\xEF\xBB\xBF" + canonical,
  };
  for (const auto& text : nearly) {
    EXPECT_FALSE(indexes(text, "\r\n")) << text;
    // Read the ordinary way, a change and a fold give what they always gave.
    zutest::ScratchDir dir;
    zutest::writeFile(dir.path() / "registry.reg", text);
    auto registry = Registry::load(dir.path(), kSid);
    ASSERT_EQ(registry->createKey({"HKEY_LOCAL_MACHINE", "SOFTWARE", "Zed"}), 0u);
    ASSERT_EQ(registry->setValue({"HKEY_LOCAL_MACHINE", "SOFTWARE", "Zed"}, "z", REG_DWORD, {1, 0, 0, 0}), 0u);
    ASSERT_TRUE(registry->fold());
    // What a full read of the file, with that change, writes.
    Key root;
    hosted::registry::parseRegFileLazily(text, "registry.reg", kSid, root);
    auto zed = std::make_shared<Key>();
    zed->name = "Zed";
    zed->explicitKey = true;
    zed->values.push_back({"z", REG_DWORD, {1, 0, 0, 0}});
    root.findSubkey("HKEY_LOCAL_MACHINE")->findSubkey("SOFTWARE")->subkeys["ZED"] = zed;
    EXPECT_EQ(zutest::readFile(dir.path() / "registry.reg"), hosted::registry::formatRegFile(root, "\r\n")) << text;
  }
}

// Malformed files that are otherwise in the fold's form are refused with the same
// line and message as ever, and leave the directory as it was.
TEST(IndexedRegistryTest, MalformedLinesAreRefusedAsBefore) {
  const std::string good =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n\"a\"=\"1\"\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\B]\r\n\"b\"=dword:2\r\n\r\n";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"\"b\"=dword:2", "\"b\"=dword:123456789"},
      {"\"b\"=dword:2", "\"b\"=hex:1,2"},
      {"\"a\"=\"1\"", "\"a\"=\"1"},
      {"\"a\"=\"1\"", "\"a\"=-"},
      {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\B]", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\\\B]"},
      {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\B]", "[HKEY_NOWHERE\\B]"},
      {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\B]", "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\B]"},
      {"\"b\"=dword:2", "\"b\"=hex:01,\\"},
      {"\"a\"=\"1\"", "\"a\"=\"\xFF\""},
      {"\"a\"=\"1\"", "what"},
  };
  for (const auto& [from, to] : cases) {
    std::string text = good;
    text.replace(text.find(from), from.size(), to);
    if (to.back() == '\\') text.resize(text.find(to) + to.size());
    std::string expected;
    try {
      Key root;
      hosted::registry::parseRegFile(text, "registry.reg", kSid, root);
    } catch (const hosted::HostFailure& failure) {
      expected = failure.message;
    }
    ASSERT_FALSE(expected.empty()) << text;
    zutest::ScratchDir dir;
    zutest::writeFile(dir.path() / "registry.reg", text);
    try {
      Registry::load(dir.path(), kSid);
      ADD_FAILURE() << "loaded: " << text;
    } catch (const hosted::HostFailure& failure) {
      EXPECT_EQ(failure.status, hosted::kExitDataError);
      EXPECT_EQ(failure.message, (dir.path() / "registry.reg").string() + expected.substr(expected.find(':')));
    }
    EXPECT_EQ(zutest::readFile(dir.path() / "registry.reg"), text);
  }
}

// A large file is checked for UTF-8 in pieces as it is read: text that is not UTF-8 deep
// inside one in the fold's form is still refused, where it stands.
TEST(IndexedRegistryTest, TextThatIsNotUtf8FarIntoALargeFileIsRefused) {
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
  for (int i = 0; i < 5000; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "K%05d", i);
    text += std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\") + name + "]\r\n\"s\"=\"caf\xC3\xA9 " + name + "\"\r\n\r\n";
  }
  ASSERT_GT(text.size(), 200000u);
  ASSERT_TRUE(indexes(text, "\r\n"));
  for (size_t at : {text.find("K00100]"), text.find("K03000]"), text.find("K04999]")}) {
    std::string bad = text;
    bad[bad.find("\xC3\xA9", at)] = '\xFF';
    EXPECT_FALSE(indexes(bad, "\r\n"));
    std::string expected;
    try {
      Key root;
      hosted::registry::parseRegFile(bad, "registry.reg", kSid, root);
    } catch (const hosted::HostFailure& failure) {
      expected = failure.message;
    }
    ASSERT_FALSE(expected.empty());
    zutest::ScratchDir dir;
    zutest::writeFile(dir.path() / "registry.reg", bad);
    try {
      Registry::load(dir.path(), kSid);
      ADD_FAILURE() << "loaded";
    } catch (const hosted::HostFailure& failure) {
      EXPECT_EQ(failure.message, (dir.path() / "registry.reg").string() + expected.substr(expected.find(':')));
    }
  }
}

// A large file is checked in two halves at once. Wherever they meet, and whatever a
// damaged byte near the seam breaks, the halves must accept and index exactly what one
// pass over the whole file does.
TEST(IndexedRegistryTest, CheckedInTwoHalvesAFileIndexesExactlyAsInOnePass) {
  auto index = [](const std::string& text, const std::string& newline, size_t splitAbove) {
    Key root;
    auto found = hosted::registry::indexRegText(text, newline, nullptr, root, splitAbove);
    std::vector<std::tuple<uint64_t, uint32_t, uint32_t>> entries;
    if (found) {
      for (const auto& entry : found->entries) entries.emplace_back(entry.start, entry.pathLength, entry.bodyLength);
    }
    return std::make_pair(found != nullptr, entries);
  };
  static const std::string kDamage[] = {"\n", "\r\n", "[", "]", "\"", "\\", "\xFF", "a", " ", "", ";"};
  Random random(7041);
  int split = 0, refused = 0;
  for (int round = 0; round < 400; ++round) {
    std::string newline = random(3) == 0 ? "\n" : "\r\n";
    std::string text = randomCanonicalFile(random, newline);
    if (round % 2) {
      // A byte replaced, dropped or added near the middle, where the halves meet.
      size_t at = text.size() / 2 + random(static_cast<uint32_t>(text.size() / 4 + 1)) - text.size() / 8;
      // Or just at the seam: the blank line before the second half's first header.
      size_t seam = text.find(newline + newline + "[", text.size() / 2);
      if (round % 4 == 3 && seam != std::string::npos) at = seam + random(static_cast<uint32_t>(2 * newline.size() + 2));
      at = std::min(at, text.size() - 1);
      const std::string& with = kDamage[random(std::size(kDamage))];
      text = text.substr(0, at) + with + text.substr(at + (random(3) == 0 ? 0 : 1));
    }
    auto whole = index(text, newline, SIZE_MAX);
    auto halves = index(text, newline, 0);
    ASSERT_EQ(whole, halves) << text;
    if (text.find(newline + newline + "[", text.size() / 2) != std::string::npos) ++split;
    if (!whole.first) ++refused;
  }
  EXPECT_GT(split, 150);
  EXPECT_GT(refused, 50);
}

// A key the run reaches is made with its values unread; one it deletes takes its whole
// stretch out; the stretches around it are copied.
TEST(IndexedRegistryTest, DeletingABranchOfUnreadKeysKeepsTheRestByteForByte) {
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
  for (int i = 0; i < 300; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "K%03d", i);
    text += std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\V\\") + name + "]\r\n\"n\"=dword:" + std::to_string(i % 10) +
            "\r\n\r\n";
    text += std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\V\\") + name + "\\Sub]\r\n\r\n";
  }
  ASSERT_TRUE(indexes(text, "\r\n"));
  zutest::ScratchDir dir;
  zutest::writeFile(dir.path() / "registry.reg", text);
  auto registry = Registry::load(dir.path(), kSid);
  ASSERT_EQ(registry->deleteKey({"HKEY_LOCAL_MACHINE", "SOFTWARE", "V", "K150"}), 0u);
  std::shared_ptr<Key> sub = registry->find({"HKEY_LOCAL_MACHINE", "SOFTWARE", "V", "k151", "SUB"});
  ASSERT_TRUE(sub);
  EXPECT_EQ(sub->name, "Sub");
  EXPECT_TRUE(sub->values.empty());
  ASSERT_EQ(registry->find({"HKEY_LOCAL_MACHINE", "SOFTWARE", "V", "K002"})->values.at(0).data,
            (std::vector<uint8_t>{2, 0, 0, 0}));
  ASSERT_TRUE(registry->fold());
  std::string expected = text;
  size_t from = expected.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\V\\K150]");
  expected.erase(from, expected.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\V\\K151]") - from);
  EXPECT_EQ(zutest::readFile(dir.path() / "registry.reg"), expected);
}

// Whole runs: an uninstall on a registry in export order does, writes and reports what
// it does on the same registry read the ordinary way.
TEST(IndexedRegistryTest, ARunOnAFileInExportOrderWritesAndReportsAsOnAnyOther) {
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n"
                     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment]\r\n"
                     "\"CurrentVersion\"=\"1.8\"\r\n\r\n"
                     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment\\1.8.0_31]\r\n"
                     "\"ZunaHome\"=\"C:\\\\Program Files\\\\Zuna\\\\zre\"\r\n\r\n";
  for (int i = 0; i < 200; ++i) {
    text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product" + std::to_string(1000 + i) +
            "]\r\n\"Version\"=dword:0000000" + std::to_string(i % 10) + "\r\n\r\n";
  }
  ASSERT_TRUE(indexes(text, "\r\n"));
  zutest::ScratchDir indexedDir, fullDir;
  zutest::writeFile(indexedDir.path() / "registry.reg", text);
  zutest::writeFile(fullDir.path() / "registry.reg", withLeadingComment(text, "\r\n"));
  zutest::RunResult indexed = zutest::runUninstaller({"--machine", indexedDir.path().string(), "--report", "--", "/s"});
  zutest::RunResult full = zutest::runUninstaller({"--machine", fullDir.path().string(), "--report", "--", "/s"});
  // Alike but for the machine's folder and the time in the backup's name.
  auto normalized = [](const std::string& output) {
    return std::regex_replace(output.substr(output.find('\n')), std::regex("[0-9]{8}-[0-9]{6}"), "TIME");
  };
  EXPECT_EQ(indexed.status, full.status);
  EXPECT_EQ(normalized(indexed.output), normalized(full.output));
  EXPECT_NE(indexed.output.find("Corvane"), std::string::npos) << indexed.output;
  std::string written = zutest::readFile(indexedDir.path() / "registry.reg");
  EXPECT_EQ(written, zutest::readFile(fullDir.path() / "registry.reg"));
  EXPECT_EQ(written.find("Corvane"), std::string::npos);
  EXPECT_NE(written.find("Product1199]\r\n\"Version\"=dword:00000009\r\n\r\n"), std::string::npos);
}

}  // namespace
