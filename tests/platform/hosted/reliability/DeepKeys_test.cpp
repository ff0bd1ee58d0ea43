// Keys nested deeper than Windows allows: refused in registry.reg, and a deep tree in
// memory is written, marked deleted and destroyed without running out of stack.
#include <gtest/gtest.h>

#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/registry/RegTree.h"

namespace {

using hosted::registry::Key;

std::string regFileWithDepth(size_t levelsBelowRoot) {
  std::string header = "[HKEY_LOCAL_MACHINE";
  for (size_t i = 0; i < levelsBelowRoot; ++i) header += "\\k";
  return "Windows Registry Editor Version 5.00\n\n" + header + "]\n\"v\"=\"x\"\n";
}

TEST(DeepKeys, RegFileAllowsFiveHundredTwelveLevelsAndNoMore) {
  Key root;
  EXPECT_NO_THROW(hosted::registry::parseRegFile(regFileWithDepth(512), "registry.reg", "S-1-5-21-1", root));
  Key other;
  try {
    hosted::registry::parseRegFile(regFileWithDepth(513), "registry.reg", "S-1-5-21-1", other);
    ADD_FAILURE() << "a key 513 levels deep was accepted";
  } catch (const hosted::HostFailure& failure) {
    EXPECT_EQ(failure.status, 65);
    EXPECT_EQ(failure.message.rfind("registry.reg:3: ", 0), 0u) << failure.message;
  }
}

TEST(DeepKeys, FarDeeperTreeIsWrittenDeletedAndDestroyed) {
  // As a change log can build it one level at a time; far beyond any stack's depth.
  constexpr size_t kDepth = 200000;
  auto root = std::make_unique<Key>();
  Key* key = root.get();
  for (size_t i = 0; i < kDepth; ++i) {
    auto& slot = key->subkeys["K"];
    slot = std::make_shared<Key>();
    slot->name = "k";
    key = slot.get();
  }
  key->explicitKey = true;
  std::string text = hosted::registry::formatRegFile(*root, "\n");
  EXPECT_NE(text.find("\\k\\k]\n"), std::string::npos);
  EXPECT_EQ(text.size(), std::string("Windows Registry Editor Version 5.00\n\n").size() + 2 * kDepth - 1 + 3 + 1);
  root->markDeleted();
  EXPECT_TRUE(key->deleted);
  root.reset();
}

}  // namespace
