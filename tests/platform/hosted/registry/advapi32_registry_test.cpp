// The registry functions against Windows behaviour: statuses, buffer rules, case,
// enumeration order, views and aliases.
#include <windows.h>

#include <cstring>

#include <gtest/gtest.h>

#include "platform/hosted/machine/PendingRenames.h"
#include "platform/hosted/machine/registry/Registry.h"
#include "tests/support/TestMachine.h"

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;

class RegistryApiTest : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }

  void loadWith(const std::string& machineJson, const std::string& reg) {
    if (!machineJson.empty()) zutest::writeFile(dir() / "machine.json", machineJson);
    zutest::writeFile(dir() / "registry.reg", "Windows Registry Editor Version 5.00\n\n" + reg);
    load();
  }

  HKEY open(HKEY root, const char* path, REGSAM access = KEY_READ, LSTATUS expected = ERROR_SUCCESS) {
    HKEY key = reinterpret_cast<HKEY>(static_cast<uintptr_t>(kSentinel));
    EXPECT_EQ(RegOpenKeyExA(root, path, 0, access, &key), expected) << path;
    return key;
  }

  HKEY create(HKEY root, const char* path, REGSAM access = KEY_ALL_ACCESS, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, access, nullptr, &key, disposition), ERROR_SUCCESS) << path;
    return key;
  }

  std::string text(HKEY key, const char* name) {
    char buffer[256] = {};
    DWORD size = sizeof buffer;
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS) {
      return "<missing>";
    }
    return std::string(buffer, size);
  }

  std::vector<std::string> subkeys(HKEY key) {
    std::vector<std::string> names;
    char name[256];
    for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i) names.push_back(name);
    return names;
  }
};

const char* kCorvane =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment\\1.8]\n\"ZunaHome\"=\"C:\\\\zre64\"\n\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Corvane\\Zuna Runtime Environment\\1.7]\n"
    "\"ZunaHome\"=\"C:\\\\zre32\"\n\n";

TEST_F(RegistryApiTest, OpenFindsKeysWithoutCaseAndReportsMissingOnes) {
  loadWith("", kCorvane);
  HKEY key = open(HKEY_LOCAL_MACHINE, "software\\CORVANE\\zuna runtime environment\\1.8");
  EXPECT_EQ(text(key, "zunahome"), std::string("C:\\zre64\0", 9));
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  HKEY missing = open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Nothing", KEY_READ, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing, nullptr);
  EXPECT_EQ(RegOpenKeyExA(reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234)), "x", 0, KEY_READ, &missing),
            ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  EXPECT_EQ(machine().handles().openCount(), 0u);
}

// The 32-bit view has keys of its own, the default of a 32-bit process; HKEY_CLASSES_ROOT
// and HKEY_CURRENT_USER are aliases, CLSID kept apart in the 32-bit view, .zar shared.
TEST_F(RegistryApiTest, ViewsFollowTheProcessAndTheFlagsAndAliasesResolve) {
  loadWith("{\"user\":{\"sid\":\"S-1-5-21-9\"}}", std::string(kCorvane) +
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.zar]\n@=\"zarfile\"\n\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Wow6432Node\\CLSID\\{1}]\n\n"
           "[HKEY_USERS\\S-1-5-21-9\\Software\\Corvane]\n\n");
  const char* zre = "SOFTWARE\\Corvane\\Zuna Runtime Environment";
  HKEY zre32 = open(HKEY_LOCAL_MACHINE, zre, KEY_READ | KEY_WOW64_32KEY);
  EXPECT_EQ(subkeys(zre32), std::vector<std::string>{"1.7"});
  HKEY zar = open(HKEY_CLASSES_ROOT, ".ZAR");
  EXPECT_EQ(text(zar, nullptr), std::string("zarfile\0", 8));
  EXPECT_EQ(text(zar, ""), std::string("zarfile\0", 8));
  // CLSID is kept apart in the 32-bit view; .zar is shared by both.
  HKEY clsid = open(HKEY_CLASSES_ROOT, "CLSID", KEY_READ | KEY_WOW64_32KEY);
  EXPECT_EQ(subkeys(clsid), std::vector<std::string>{"{1}"});
  for (HKEY k : {zre32, zar, clsid, open(HKEY_CURRENT_USER, "Software\\Corvane"),
                 open(HKEY_CLASSES_ROOT, ".zar", KEY_READ | KEY_WOW64_32KEY)}) {
    RegCloseKey(k);
  }
  // A 32-bit process sees the 32-bit view unless it asks for the other.
  hosted::Machine::unload();
  zutest::writeFile(dir() / "machine.json", "{\"process\":{\"bitness\":32}}");
  load();
  for (auto [view, sees] : {std::pair<REGSAM, const char*>{0, "1.7"}, {KEY_WOW64_64KEY, "1.8"}}) {
    HKEY key = open(HKEY_LOCAL_MACHINE, zre, KEY_READ | view);
    EXPECT_EQ(subkeys(key), std::vector<std::string>{sees});
    RegCloseKey(key);
  }
}

// Keys read from the file and made since, in Windows' order: by upper-cased name, '_'
// after the letters, each keeping its case; the buffers follow Windows' rules.
TEST_F(RegistryApiTest, EnumerationAndQueriesFollowWindowsRules) {
  loadWith("", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Order\\b]\n\"v\"=\"1\"\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Order\\_x]\n\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Order\\A]\n\"z\"=dword:00000001\n\"a\"=hex:00\n\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Order\\C\\Sub]\n\n");
  HKEY root = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Order");
  for (const char* name : {"1.8.0_31", "1.8", "a1", "Bz"}) RegCloseKey(create(root, name));
  DWORD disposition = 0;
  RegCloseKey(create(root, "B", KEY_ALL_ACCESS, &disposition));
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  ASSERT_EQ(RegDeleteKeyA(root, "b"), ERROR_SUCCESS);
  EXPECT_EQ(subkeys(root), (std::vector<std::string>{"1.8", "1.8.0_31", "A", "a1", "Bz", "C", "_x"}));
  char name[16] = "zzzzzzzzzzzzzzz";
  EXPECT_EQ(RegEnumKeyA(root, 7, name, sizeof name), ERROR_NO_MORE_ITEMS);
  // RegEnumKeyA needs room for the name and its NUL, and writes no more.
  EXPECT_EQ(RegEnumKeyA(root, 1, name, 8), ERROR_MORE_DATA);
  EXPECT_EQ(name[0], 'z');
  EXPECT_EQ(RegEnumKeyA(root, 1, name, 9), ERROR_SUCCESS);
  EXPECT_STREQ(name, "1.8.0_31");
  EXPECT_EQ(name[9], 'z');
  DWORD size = 8;
  EXPECT_EQ(RegEnumKeyExA(root, 1, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  EXPECT_EQ(size, 8u);
  size = 9;
  EXPECT_EQ(RegEnumKeyExA(root, 1, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(size, 8u);
  RegCloseKey(root);

  // Values: in the order they came, whether read from the file or set since; a query
  // without room says how much it needs and leaves the buffer, one of a missing value
  // leaves everything.
  HKEY key = open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Order\\A", KEY_ALL_ACCESS);
  ASSERT_EQ(RegSetValueExA(key, "s", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 4), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "raw", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3), ERROR_SUCCESS);
  std::vector<std::string> values;
  DWORD type = kSentinel, length = sizeof name;
  BYTE buffer[8] = "zzzzzzz";
  LSTATUS status;
  for (DWORD i = 0; (status = RegEnumValueA(key, i, name, &length, nullptr, &type, buffer, &(size = sizeof buffer))) ==
                    ERROR_SUCCESS; ++i, length = sizeof name) {
    values.push_back(std::string(name) + ":" + std::to_string(type) + ":" + std::to_string(size));
  }
  EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(values, (std::vector<std::string>{"z:4:4", "a:3:1", "s:1:4", "raw:1:3"}));
  EXPECT_EQ(RegQueryValueExA(key, "S", nullptr, &type, nullptr, &(size = kSentinel)), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 4u);
  std::memcpy(buffer, "zzzzzzz", 8);
  EXPECT_EQ(RegQueryValueExA(key, "s", nullptr, &type, buffer, &(size = 3)), ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(buffer[0], 'z');
  type = size = kSentinel;
  EXPECT_EQ(RegQueryValueExA(key, "missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(type, kSentinel);
  EXPECT_EQ(size, kSentinel);
  EXPECT_EQ(RegQueryValueExA(key, "z", nullptr, &type, buffer, nullptr), ERROR_INVALID_PARAMETER);
  RegCloseKey(key);
}

// A handle has the rights it was opened with (RegFlushKey asks for the right to query
// values, as Windows documents it); one to a deleted key reports that, even once a key
// of its name is made again; roots take no new keys and lose none.
TEST_F(RegistryApiTest, HandlesKeepTheirRightsAndTheirKey) {
  loadWith("", kCorvane);
  HKEY readOnly = open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Zuna Runtime Environment\\1.8");
  EXPECT_EQ(RegSetValueExA(readOnly, "ZunaHome", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(readOnly, "ZunaHome"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(text(readOnly, "ZunaHome"), std::string("C:\\zre64\0", 9));
  HKEY child = nullptr;
  EXPECT_EQ(RegCreateKeyExA(readOnly, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegFlushKey(readOnly), ERROR_SUCCESS);
  EXPECT_EQ(RegFlushKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  HKEY setOnly = open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane", KEY_SET_VALUE);
  EXPECT_EQ(RegFlushKey(setOnly), ERROR_ACCESS_DENIED);
  RegCloseKey(setOnly);
  RegCloseKey(readOnly);
  EXPECT_EQ(RegFlushKey(readOnly), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "NEWHIVE\\x", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE"), ERROR_ACCESS_DENIED);

  HKEY main = open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane", KEY_ALL_ACCESS);
  EXPECT_EQ(RegDeleteKeyA(main, "Nothing"), ERROR_FILE_NOT_FOUND);
  HKEY family = open(main, "Zuna Runtime Environment\\1.8", KEY_ALL_ACCESS);
  EXPECT_EQ(RegDeleteValueA(family, "Missing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(main, "zuna runtime environment\\1.8"), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(family, "ZunaHome", nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  EXPECT_EQ(RegSetValueExA(family, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2), ERROR_KEY_DELETED);
  RegCloseKey(create(main, "Zuna Runtime Environment\\1.8"));
  EXPECT_EQ(RegEnumKeyA(family, 0, nullptr, 0), ERROR_KEY_DELETED);
  RegCloseKey(family);
  RegCloseKey(main);
}

// As after a crash: the log alone holds the changes, names in the code page included. A
// key the file names only on the way to its last subkey outlives that subkey's deletion.
TEST_F(RegistryApiTest, ChangesSurviveAReloadWithoutAFold) {
  loadWith("", kCorvane);
  HKEY key = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\New \xDC");
  ASSERT_EQ(RegSetValueExA(key, "Gr\xFC\xDF", 0, REG_SZ, reinterpret_cast<const BYTE*>("\x80"), 2), ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Zuna Runtime Environment\\1.8"), ERROR_SUCCESS);
  hosted::Machine::unload();
  EXPECT_TRUE(std::filesystem::exists(dir() / "registry.reg.log"));
  load();
  EXPECT_FALSE(std::filesystem::exists(dir() / "registry.reg.log"));
  std::string file = zutest::readFile(dir() / "registry.reg");
  EXPECT_NE(file.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\New \xC3\x9C]\n\"Gr\xC3\xBC\xC3\x9F\"=\"\xE2\x82\xAC\""),
            std::string::npos)
      << file;
  key = open(HKEY_LOCAL_MACHINE, "software\\corvane\\NEW \xDC");
  EXPECT_EQ(text(key, "GR\xFC\xDF"), std::string("\x80\0", 2));
  RegCloseKey(key);
  open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Zuna Runtime Environment\\1.8", KEY_READ, ERROR_FILE_NOT_FOUND);
  key = open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Zuna Runtime Environment");
  EXPECT_TRUE(subkeys(key).empty());
  RegCloseKey(key);
}

TEST_F(RegistryApiTest, PendingRenamesAreAppendedAsWindowsRecordsThem) {
  loadWith("", "");
  ASSERT_EQ(hosted::recordPendingFileRename("C:\\a.dll", std::nullopt), 0u);
  ASSERT_EQ(hosted::recordPendingFileRename("C:\\b.tmp", std::string("C:\\b.dll")), 0u);
  HKEY key = open(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager");
  char buffer[128];
  DWORD size = sizeof buffer, type = 0;
  ASSERT_EQ(RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
  EXPECT_EQ(std::string(buffer, size), std::string("\\??\\C:\\a.dll\0\0\\??\\C:\\b.tmp\0\\??\\C:\\b.dll\0\0", 41));
  RegCloseKey(key);
}

}  // namespace
