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

TEST_F(RegistryKeyTest, AMissingValueIsLeftEmptyAndStringsKeepOrDropOneNul) {
  RegistryKey key(HKEY_LOCAL_MACHINE);
  ASSERT_EQ(key.OpenKey("SOFTWARE\\T", KEY_READ), ERROR_SUCCESS);
  RegistryValue value(REG_SZ, {'x', 0});
  EXPECT_EQ(key.QueryValue("missing", value), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(value.type, 0u);
  EXPECT_TRUE(value.data.empty());
  EXPECT_EQ(static_cast<RegistryValue>(key["dw"]).asString(), std::nullopt);
  key.Close();

  CheckedRegistryKey checked = CheckedRegistryKey::Open(RegistryRoot::LocalMachine(), "SOFTWARE\\T", 1);
  EXPECT_EQ(checked.QueryStringValue("sz"), "text");
  EXPECT_EQ(checked.QueryStringValue("nonul"), "ab");
  EXPECT_EQ(checked.QueryStringValue("twonul"), std::string("a\0", 2));
  EXPECT_EQ(checked.QueryStringValue("big"), "AAAAAAAA");
  checked.SetExpandStringValue("Path", "%SystemRoot%");
  DWORD type = 0;
  EXPECT_TRUE(checked.ValueExists("PATH", &type));
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(checked.QueryValue("Path").second.size(), 13u);
  EXPECT_FALSE(checked.ValueExists("none", &type));
}

TEST_F(RegistryKeyTest, CheckedKeyErrorsNameOperationAndStatus) {
  EXPECT_EQ(zutest::exceptionText([] { CheckedRegistryKey::Open(RegistryRoot::LocalMachine(), "SOFTWARE\\Missing", 0); }),
            "open key (SOFTWARE\\Missing) error: 2");
  EXPECT_FALSE(CheckedRegistryKey::Exists(RegistryRoot::LocalMachine(), "SOFTWARE\\Missing"));
  CheckedRegistryKey key = CheckedRegistryKey::Open(RegistryRoot::LocalMachine(), "SOFTWARE\\T", 0);
  EXPECT_EQ(zutest::exceptionText([&] { key.QueryStringValue("dw"); }), "query string value (dw) error: wrong type");
  EXPECT_EQ(zutest::exceptionText([&] { key.QueryValue("missing"); }), "query value (missing) error: 2");
  // Opened for reading: a write is refused and reported.
  EXPECT_THROW(key.SetExpandStringValue("x", "y"), std::runtime_error);
  // Mode 1 creates a missing key.
  CheckedRegistryKey::Open(RegistryRoot::LocalMachine(), "SOFTWARE\\Made", 1);
  EXPECT_TRUE(CheckedRegistryKey::Exists(RegistryRoot::LocalMachine(), "SOFTWARE\\Made"));
}

TEST_F(RegistryKeyTest, KeysStayInTheirViewAndTreesAreDeletedThere) {
  CheckedRegistryKey t32 = CheckedRegistryKey::Open(RegistryRoot::LocalMachine32(), "SOFTWARE\\T32", 0);
  EXPECT_EQ(CheckedRegistryKey::Open(t32, "Sub", 0).QueryStringValue("v"), "32");
  EXPECT_FALSE(CheckedRegistryKey::Exists(RegistryRoot::LocalMachine64(), "SOFTWARE\\T32"));
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
