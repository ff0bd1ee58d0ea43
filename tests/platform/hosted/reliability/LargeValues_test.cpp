// A large hex value wrapped over many lines, as the registry editor writes it, loads in
// time linear in its size and comes back byte for byte.
#include <chrono>

#include <gtest/gtest.h>

#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/registry/RegTree.h"

namespace {

using hosted::registry::Key;

TEST(LargeValues, WrappedHexValueOfTwoMebibytesLoadsQuickly) {
  constexpr size_t kSize = 2u << 20;
  Key written;
  auto& key = written.subkeys["HKEY_LOCAL_MACHINE"];
  key = std::make_shared<Key>();
  key->name = "HKEY_LOCAL_MACHINE";
  key->explicitKey = true;
  hosted::registry::Value value{"big", 3, {}};
  value.data.resize(kSize);
  for (size_t i = 0; i < kSize; ++i) value.data[i] = static_cast<uint8_t>(i * 7 + i / 251);
  key->values.push_back(value);
  std::string text = hosted::registry::formatRegFile(written, "\r\n");
  ASSERT_GT(text.size(), 3 * kSize);

  auto start = std::chrono::steady_clock::now();
  Key read;
  hosted::registry::parseRegFile(text, "registry.reg", "S-1-5-21-1", read);
  auto took = std::chrono::steady_clock::now() - start;
  // Linear work is well under a second even under the sanitizers; re-copying the joined
  // text at every continuation took half a minute.
  EXPECT_LT(took, std::chrono::seconds(8));
  auto loaded = read.findSubkey("HKEY_LOCAL_MACHINE");
  ASSERT_NE(loaded, nullptr);
  ASSERT_NE(loaded->findValue("big"), nullptr);
  EXPECT_TRUE(loaded->findValue("big")->data == value.data);
}

TEST(LargeValues, ContinuationsKeepTheirEdgeCases) {
  const char* text =
      "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\S]\n"
      "\"a\"=hex:01,02,\\\n  03,\\  \n\t04\n"
      "\"b\"=hex(7):41,00,\\\n  00,00\n";
  Key read;
  hosted::registry::parseRegFile(text, "registry.reg", "S-1-5-21-1", read);
  auto key = read.findSubkey("HKEY_LOCAL_MACHINE")->findSubkey("S");
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->findValue("a")->data, (std::vector<uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(key->findValue("b")->data, (std::vector<uint8_t>{0x41, 0, 0, 0}));
  Key broken;
  try {
    hosted::registry::parseRegFile("Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\S]\n\"a\"=hex:01,\\\n",
                                   "registry.reg", "S-1-5-21-1", broken);
    ADD_FAILURE() << "a continuation at the end of the file was accepted";
  } catch (const hosted::HostFailure& failure) {
    EXPECT_NE(failure.message.find("line continuation"), std::string::npos) << failure.message;
  }
}

}  // namespace
