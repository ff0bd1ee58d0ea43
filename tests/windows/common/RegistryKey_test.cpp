// The program's registry keys over the hosted registry.
#include "windows/common/RegistryKey.h"

#include <gtest/gtest.h>

#include "tests/support/TestMachine.h"

namespace {

class RegistryKeyTest : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }
  void SetUp() override {
    zutest::writeFile(dir() / "registry.reg",
                      "Windows Registry Editor Version 5.00\n\n"
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\n\"sz\"=\"text\"\n\"dw\"=dword:00000005\n"
                      "\"nonul\"=hex(1):61,00,62,00\n\"twonul\"=hex(1):61,00,00,00,00,00\n"
                      "\"big\"=hex(2):41,00,41,00,41,00,41,00,41,00,41,00,41,00,41,00,00,00\n\n"
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\T32\\Sub]\n\"v\"=\"32\"\n\n"
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tree\\A\\B\\C]\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tree\\D]\n\n");
    load();
  }
};

TEST_F(RegistryKeyTest, QueryValueOfAMissingValueLeavesItEmpty) {
  RegistryKey key(HKEY_LOCAL_MACHINE);
  ASSERT_EQ(key.OpenKey("SOFTWARE\\T", KEY_READ), ERROR_SUCCESS);
  RegistryValue value(REG_SZ, {'x', 0});
  EXPECT_EQ(key.QueryValue("missing", value), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(value.type, 0u);
  EXPECT_TRUE(value.data.empty());
  EXPECT_EQ(key.QueryValue("sz", value), ERROR_SUCCESS);
  EXPECT_EQ(value.asString(), std::optional<std::string>("text"));
  RegistryValue number = key["dw"];
  EXPECT_EQ(number.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(number.asString(), std::nullopt);
}

TEST_F(RegistryKeyTest, CreateOpenAndWriteThroughSlots) {
  RegistryKey key(HKEY_LOCAL_MACHINE);
  ASSERT_EQ(key.OpenKey(nullptr, KEY_ALL_ACCESS), ERROR_SUCCESS);
  ASSERT_EQ(key.CreateKey("SOFTWARE\\New\\Deep", KEY_ALL_ACCESS), ERROR_SUCCESS);
  ASSERT_EQ(key.OpenKey("SOFTWARE\\New\\Deep", KEY_ALL_ACCESS), ERROR_SUCCESS);
  key["Home"] = RegistryValue(std::string("C:\\zre"));
  key[""] = RegistryValue(std::string("default"));
  RegistryValue home = key["home"];
  EXPECT_EQ(home.data, (std::vector<BYTE>{'C', ':', '\\', 'z', 'r', 'e', 0}));
  EXPECT_EQ(static_cast<RegistryValue>(key[nullptr]).asString(), std::optional<std::string>("default"));
  key.Close();
  EXPECT_EQ(hosted::machine().handles().openCount(), 0u);
}

TEST_F(RegistryKeyTest, DeleteSubKeyRefusesKeysWithSubkeys) {
  RegistryKey key(HKEY_LOCAL_MACHINE);
  ASSERT_EQ(key.OpenKey("SOFTWARE\\Tree", KEY_ALL_ACCESS), ERROR_SUCCESS);
  EXPECT_EQ(key.DeleteSubKey("A"), ERROR_ACCESS_DENIED);
  char name[RegistryKey::kEnumNameSize];
  ASSERT_EQ(key.EnumSubKey(0, name), ERROR_SUCCESS);
  EXPECT_STREQ(name, "A");
  EXPECT_EQ(key.DeleteSubKey("D"), ERROR_SUCCESS);
  EXPECT_EQ(key.EnumSubKey(1, name), ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryKeyTest, CheckedKeyErrorsNameOperationAndStatus) {
  try {
    CheckedRegistryKey::Open(RegistryRoot::LocalMachine(), "SOFTWARE\\Missing", 0);
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "open key (SOFTWARE\\Missing) error: 2");
  }
  EXPECT_FALSE(CheckedRegistryKey::Exists(RegistryRoot::LocalMachine(), "SOFTWARE\\Missing"));
  CheckedRegistryKey key = CheckedRegistryKey::Open(RegistryRoot::LocalMachine(), "SOFTWARE\\T", 0);
  try {
    key.QueryStringValue("dw");
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "query string value (dw) error: wrong type");
  }
  try {
    key.QueryValue("missing");
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "query value (missing) error: 2");
  }
  // Opened for reading: a write is refused and reported.
  EXPECT_THROW(key.SetExpandStringValue("x", "y"), std::runtime_error);
}

TEST_F(RegistryKeyTest, CheckedStringsKeepOrDropOneNul) {
  CheckedRegistryKey key = CheckedRegistryKey::Open(RegistryRoot::LocalMachine(), "SOFTWARE\\T", 1);
  EXPECT_EQ(key.QueryStringValue("sz"), "text");
  EXPECT_EQ(key.QueryStringValue("nonul"), "ab");
  EXPECT_EQ(key.QueryStringValue("twonul"), std::string("a\0", 2));
  EXPECT_EQ(key.QueryStringValue("big"), "AAAAAAAA");
  key.SetExpandStringValue("Path", "%SystemRoot%");
  DWORD type = 0;
  EXPECT_TRUE(key.ValueExists("PATH", &type));
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(key.QueryValue("Path").second.size(), 13u);
  EXPECT_FALSE(key.ValueExists("none", &type));
  // Mode 1 creates a missing key.
  CheckedRegistryKey created = CheckedRegistryKey::Open(RegistryRoot::LocalMachine(), "SOFTWARE\\Made", 1);
  EXPECT_TRUE(CheckedRegistryKey::Exists(RegistryRoot::LocalMachine(), "SOFTWARE\\Made"));
}

TEST_F(RegistryKeyTest, SubkeysOfA32BitKeyStayInThe32BitView) {
  CheckedRegistryKey t32 = CheckedRegistryKey::Open(RegistryRoot::LocalMachine32(), "SOFTWARE\\T32", 0);
  CheckedRegistryKey sub = CheckedRegistryKey::Open(t32, "Sub", 0);
  EXPECT_EQ(sub.QueryStringValue("v"), "32");
  EXPECT_FALSE(CheckedRegistryKey::Exists(RegistryRoot::LocalMachine64(), "SOFTWARE\\T32"));
}

TEST_F(RegistryKeyTest, TreeKeyDeletesRecursivelyInItsView) {
  RegistryTreeKey software;
  ASSERT_EQ(software.Open(HKEY_LOCAL_MACHINE, "SOFTWARE", kKeyReadWriteSubkeys | KEY_WOW64_64KEY), ERROR_SUCCESS);
  EXPECT_EQ(software.view(), static_cast<REGSAM>(KEY_WOW64_64KEY));
  EXPECT_EQ(software.RecurseDeleteKey("Tree"), ERROR_SUCCESS);
  EXPECT_FALSE(CheckedRegistryKey::Exists(RegistryRoot::LocalMachine(), "SOFTWARE\\Tree"));
  EXPECT_EQ(software.RecurseDeleteKey("T32"), ERROR_FILE_NOT_FOUND);

  RegistryTreeKey software32;
  ASSERT_EQ(software32.Open(HKEY_LOCAL_MACHINE, "SOFTWARE", kKeyReadWriteSubkeys | KEY_WOW64_32KEY), ERROR_SUCCESS);
  hosted::machine().faults().failNext("RegDeleteKeyExA", ERROR_ACCESS_DENIED,
                                      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\T32\\Sub");
  EXPECT_EQ(software32.RecurseDeleteKey("T32"), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(CheckedRegistryKey::Exists(RegistryRoot::LocalMachine32(), "SOFTWARE\\T32\\Sub"));
  EXPECT_EQ(software32.RecurseDeleteKey("T32"), ERROR_SUCCESS);
  EXPECT_FALSE(CheckedRegistryKey::Exists(RegistryRoot::LocalMachine32(), "SOFTWARE\\T32"));
}

}  // namespace
