// The access bridge: its library in the system directory and its registration as an
// assistive technology, removed and re-established, with the failures of both.
#include "windows/installerdll/AccessBridge.h"

#include <filesystem>
#include <regex>

#include <gtest/gtest.h>

#include "tests/windows/installerdll/ZunaPathTestMachine.h"
#include "windows/common/RegistryKey.h"

namespace {

namespace fs = std::filesystem;
using zutest::Runtime;

constexpr const char* kBridgeKey =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Accessibility\\ATs\\Vantor_ZunaAccessBridge";
constexpr const char* kSystem64Library = "C:\\Windows\\System32\\HostAccessBridge-64.dll";
constexpr const char* kProfile =
    "<HCIModel><Accommodation type=\"mild vision\"/><Accommodation type=\"severe vision\"/>"
    "<Accommodation type=\"mild cognitive\"/><Accommodation type=\"severe cognitive\"/></HCIModel>";
constexpr const char* kWow = R"({"process":{"bitness":32}})";
constexpr const char* kX86 = R"({"os":{"architecture":"x86"},"process":{"bitness":32}})";

struct Value {
  std::string name;
  DWORD type;
  std::string data;
  bool operator==(const Value&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Value& v) {
  return out << v.name << " (" << v.type << ") " << v.data;
}

class AccessBridgeTest : public zutest::RuntimeMachineTest {
 protected:
  // The registration as it stands, in the given view (the program's own by default).
  std::optional<std::vector<Value>> registration(REGSAM view = KEY_WOW64_64KEY) {
    RegistryKey key(HKEY_LOCAL_MACHINE);
    if (key.OpenKey(kBridgeKey, KEY_READ | view) != ERROR_SUCCESS) return std::nullopt;
    std::vector<Value> values;
    for (DWORD i = 0;; ++i) {
      char name[256];
      DWORD nameSize = sizeof name;
      DWORD type = 0;
      BYTE data[4096];
      DWORD dataSize = sizeof data;
      if (RegEnumValueA(key.Handle(), i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
      values.push_back({name, type, std::string(reinterpret_cast<char*>(data), dataSize)});
    }
    return values;
  }
  static std::string registrationKey(bool wow = false) {
    return std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\") + (wow ? "Wow6432Node\\" : "") +
           "Microsoft\\Windows NT\\CurrentVersion\\Accessibility\\ATs\\Vantor_ZunaAccessBridge]\n"
           "\"StartExe\"=\"C:\\\\old\\\\bin\\\\zabswitch.exe\"\n\n";
  }
  static std::vector<Value> expectedValues(const std::string& home) {
    auto text = [](const std::string& s) { return s + std::string(1, '\0'); };
    return {{"StartExe", REG_EXPAND_SZ, text(home + "\\bin\\zabswitch.exe")},
            {"ApplicationName", REG_SZ, text("Enable Zuna Access Bridge")},
            {"Description", REG_SZ,
             text("Zuna Access Bridge, from Vantor, Inc. providing Assistive Technology access to Zuna applications")},
            {"Profile", REG_SZ, text(kProfile)},
            {"SimpleProfile", REG_SZ, text("screenreader")},
            {"StartParams", REG_SZ, text("-enable")}};
  }
  std::vector<std::string> systemFiles() {
    std::vector<std::string> names;
    for (auto& entry : fs::directory_iterator(hostPath("C:\\Windows\\System32"))) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

// --- Registration -------------------------------------------------------------------

TEST_F(AccessBridgeTest, RegistrationWritesSixValuesInOrderWithTheirTypes) {
  build({{"1.8.0_25"}});
  EXPECT_EQ(RegisterVantorZunaAccessBridgeKey("C:\\zre"), 1);
  auto values = registration();
  ASSERT_TRUE(values);
  EXPECT_EQ(*values, expectedValues("C:\\zre"));
  EXPECT_FALSE(registration(KEY_WOW64_32KEY)) << "only the program's own view";
}

TEST_F(AccessBridgeTest, AThirtyTwoBitProgramRegistersInTheThirtyTwoBitView) {
  build({{"1.8.0_25"}}, "C:\\Windows", kWow);
  EXPECT_EQ(RegisterVantorZunaAccessBridgeKey("C:\\zre"), 1);
  EXPECT_FALSE(registration(KEY_WOW64_64KEY));
  ASSERT_TRUE(registration(KEY_WOW64_32KEY));
  EXPECT_EQ(registration(KEY_WOW64_32KEY)->size(), 6u);
}

TEST_F(AccessBridgeTest, TheFirstFailingValueEndsTheRegistration) {
  build({});
  machine().faults().failNext("RegSetValueExW", ERROR_ACCESS_DENIED,
                              std::string("HKEY_LOCAL_MACHINE\\") + kBridgeKey + "\\Description");
  EXPECT_EQ(RegisterVantorZunaAccessBridgeKey("C:\\zre"), 0);
  auto values = registration();
  ASSERT_TRUE(values);
  ASSERT_EQ(values->size(), 2u) << "StartExe and ApplicationName were written before";
  EXPECT_NE(log().find("SetVantorZunaAccessBridgeKeyValues - Could not set Description zabswitch key"),
            std::string::npos);
}

TEST_F(AccessBridgeTest, AKeyThatCannotBeCreatedIsReported) {
  build({});
  machine().faults().failNext("RegCreateKeyExA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegisterVantorZunaAccessBridgeKey("C:\\zre"), 0);
  EXPECT_FALSE(registration());
  EXPECT_NE(log().find("RegisterVantorZunaAccessBridgeKeynot open Vantor_ZunaAccessBridge key"), std::string::npos);
}

// --- Removal ------------------------------------------------------------------------

TEST_F(AccessBridgeTest, RemovalDeletesTheLibraryAndTheKeyInTheSixtyFourBitView) {
  build({}, "C:\\Windows", "", registrationKey() + registrationKey(true));
  zutest::writeFile(hostPath(kSystem64Library), "bridge");
  zutest::writeFile(hostPath("C:\\Windows\\System32\\HostAccessBridge-32.dll"), "other");
  EXPECT_TRUE(DeleteZABFilesAndKeys());
  EXPECT_FALSE(fs::exists(hostPath(kSystem64Library)));
  EXPECT_TRUE(fs::exists(hostPath("C:\\Windows\\System32\\HostAccessBridge-32.dll")));
  EXPECT_FALSE(registration(KEY_WOW64_64KEY));
  EXPECT_TRUE(registration(KEY_WOW64_32KEY)) << "the other view is not this program's";
  std::string text = log();
  EXPECT_NE(text.find("DeleteZABFilesAndKeys - OS is 64-bit, Installer is 64-bit"), std::string::npos);
  EXPECT_NE(text.find("DeleteZABFilesAndKeys- calling _RegDeleteKeyEx"), std::string::npos);
}

TEST_F(AccessBridgeTest, RemovalOfWhatIsNotThereIsFine) {
  build({}, "C:\\Windows", "",
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Accessibility\\ATs]\n\n");
  EXPECT_TRUE(DeleteZABFilesAndKeys());
  EXPECT_TRUE(pendingRenames().empty());
}

TEST_F(AccessBridgeTest, WithoutTheAccessibilityKeyRemovalReportsFalse) {
  build({});
  zutest::writeFile(hostPath(kSystem64Library), "bridge");
  EXPECT_FALSE(DeleteZABFilesAndKeys());
  EXPECT_FALSE(fs::exists(hostPath(kSystem64Library))) << "the library goes first";
  EXPECT_NE(log().find("DeleteZABFilesAndKeys- ERROR - could open the registry with RegOpenKeyEx"), std::string::npos);
}

TEST_F(AccessBridgeTest, WithoutRegDeleteKeyExTheKeyStays) {
  build({}, "C:\\Windows", "", registrationKey());
  machine().faults().failNext("GetProcAddress", ERROR_PROC_NOT_FOUND, "RegDeleteKeyExA");
  EXPECT_TRUE(DeleteZABFilesAndKeys());
  EXPECT_TRUE(registration());
  EXPECT_NE(log().find("DeleteZABFilesAndKeys - RegDeleteKeyEx could not GetProcAddress"), std::string::npos);

  machine().faults().failNext("LoadLibraryA", ERROR_MOD_NOT_FOUND);
  EXPECT_TRUE(DeleteZABFilesAndKeys());
  EXPECT_TRUE(registration());
  EXPECT_NE(log().find("DeleteZABFilesAndKeys - RegDeleteKeyEx could not load advapi32.dll"), std::string::npos);
}

TEST_F(AccessBridgeTest, OnAThirtyTwoBitSystemThePlainLibraryAndKeyGo) {
  build({}, "C:\\Windows", kX86, registrationKey());
  zutest::writeFile(hostPath("C:\\Windows\\System32\\HostAccessBridge.dll"), "bridge");
  EXPECT_TRUE(DeleteZABFilesAndKeys());
  EXPECT_FALSE(fs::exists(hostPath("C:\\Windows\\System32\\HostAccessBridge.dll")));
  EXPECT_FALSE(registration(0));
  std::string text = log();
  EXPECT_NE(text.find("DeleteZABFilesAndKeys- Installer is 32-bit "), std::string::npos);
  EXPECT_NE(text.find("DeleteZABFilesAndKeys - OS is 32-bit "), std::string::npos);
  EXPECT_NE(text.find("DeleteZABFilesAndKeys- RegDeleteKey"), std::string::npos);
}

TEST_F(AccessBridgeTest, ALibraryInUseIsDeletedAtTheNextRestart) {
  build({}, "C:\\Windows", "", registrationKey());
  zutest::writeFile(hostPath(kSystem64Library), "bridge");
  HANDLE held = CreateFileA(kSystem64Library, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(DeleteZABFilesAndKeys());
  CloseHandle(held);
  EXPECT_TRUE(fs::exists(hostPath(kSystem64Library)));
  EXPECT_EQ(pendingRenames(), (std::vector<std::string>{std::string("\\??\\") + kSystem64Library, ""}));
  EXPECT_FALSE(registration());
}

TEST_F(AccessBridgeTest, ALibraryThatCannotGoForAnotherReasonIsLeftAlone) {
  build({}, "C:\\Windows", "", registrationKey());
  zutest::writeFile(hostPath(kSystem64Library), "bridge");
  machine().faults().failNext("DeleteFileA", ERROR_ACCESS_DENIED, kSystem64Library);
  EXPECT_TRUE(DeleteZABFilesAndKeys());
  EXPECT_TRUE(fs::exists(hostPath(kSystem64Library)));
  EXPECT_TRUE(pendingRenames().empty());
}

TEST_F(AccessBridgeTest, WithoutTheSystemDirectoryNoLibraryIsTouched) {
  Runtime zre("1.8.0_25");
  build({zre}, "C:\\Windows", "", registrationKey());
  zutest::writeFile(hostPath("C:\\HostAccessBridge-64.dll"), "unrelated");
  machine().faults().failNext("GetSystemDirectoryA", ERROR_PATH_NOT_FOUND);
  EXPECT_TRUE(DeleteZABFilesAndKeys());
  EXPECT_EQ(zutest::readFile(hostPath("C:\\HostAccessBridge-64.dll")), "unrelated");
  EXPECT_FALSE(registration()) << "the key still goes";
  machine().faults().failNext("GetSystemDirectoryA", ERROR_PATH_NOT_FOUND);
  EXPECT_TRUE(CopyZABFilesToWindowsDir(zre.home()));
  EXPECT_EQ(zutest::readFile(hostPath("C:\\HostAccessBridge-64.dll")), "unrelated");
  EXPECT_TRUE(pendingRenames().empty());
}

// --- Copying ------------------------------------------------------------------------

TEST_F(AccessBridgeTest, TheLibraryOfTheBitnessIsCopiedOverAnOldOne) {
  Runtime zre("1.8.0_25");
  build({zre});
  zutest::writeFile(hostPath(kSystem64Library), "old");
  EXPECT_TRUE(CopyZABFilesToWindowsDir(zre.home()));
  EXPECT_EQ(zutest::readFile(hostPath(kSystem64Library)), "1.8.0_25 HostAccessBridge-64.dll");
  EXPECT_NE(log().find("CopyZABFilesToWindowsDir- OS is 64-bit, Installer is 64-bit"), std::string::npos);
}

TEST_F(AccessBridgeTest, AThirtyTwoBitProgramCopiesTheThirtyTwoBitLibrary) {
  Runtime zre("1.8.0_25", true);
  build({zre}, "C:\\Windows", kWow);
  EXPECT_TRUE(CopyZABFilesToWindowsDir(zre.home()));
  EXPECT_EQ(zutest::readFile(hostPath("C:\\Windows\\System32\\HostAccessBridge-32.dll")),
            "1.8.0_25 HostAccessBridge-32.dll");
  EXPECT_FALSE(fs::exists(hostPath(kSystem64Library)));
  EXPECT_NE(log().find("CopyZABFilesToWindowsDir- Installer is 32-bit, OS is 64bit"), std::string::npos);
}

TEST_F(AccessBridgeTest, ARuntimeWithoutTheSwitchGetsNoLibrary) {
  Runtime zre("1.8.0_25");
  zre.zabswitch = false;
  build({zre});
  EXPECT_FALSE(CopyZABFilesToWindowsDir(zre.home()));
  EXPECT_FALSE(fs::exists(hostPath(kSystem64Library)));
  EXPECT_NE(log().find("Not registering this ZRE for AccessBridge, as zabswitch.exe doesn't exist"),
            std::string::npos);
}

TEST_F(AccessBridgeTest, ALibraryInUseIsReplacedAtTheNextRestartThroughATemporaryCopy) {
  Runtime zre("1.8.0_25");
  build({zre});
  zutest::writeFile(hostPath(kSystem64Library), "old");
  HANDLE held = CreateFileA(kSystem64Library, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CopyZABFilesToWindowsDir(zre.home()));
  CloseHandle(held);
  EXPECT_EQ(zutest::readFile(hostPath(kSystem64Library)), "old");
  auto pending = pendingRenames();
  ASSERT_EQ(pending.size(), 2u);
  std::smatch match;
  ASSERT_TRUE(std::regex_match(pending[0], match, std::regex(R"(\\\?\?\\(C:\\Windows\\System32\\REN[0-9A-F]+\.tmp))")))
      << pending[0];
  EXPECT_EQ(pending[1], std::string("\\??\\") + kSystem64Library);
  EXPECT_EQ(zutest::readFile(hostPath(match[1])), "1.8.0_25 HostAccessBridge-64.dll");
  std::string text = log();
  EXPECT_NE(text.find(std::string("-- Start in CopyFileOnReboot: ") + zre.home() +
                      "\\bin\\HostAccessBridge-64.dll to " + kSystem64Library + " --"),
            std::string::npos);
  EXPECT_NE(text.find("---- CopyFileOnReboot: " + match[1].str() + " to " + kSystem64Library + " ----"),
            std::string::npos);
}

TEST_F(AccessBridgeTest, AFailedCopyOnRestartLeavesNoTemporaryFile) {
  Runtime zre("1.8.0_25");
  build({zre});
  fs::remove(hostPath(zre.home() + "\\bin\\HostAccessBridge-64.dll"));
  auto before = systemFiles();
  EXPECT_TRUE(CopyZABFilesToWindowsDir(zre.home())) << "the copy was attempted";
  EXPECT_EQ(systemFiles(), before);
  EXPECT_TRUE(pendingRenames().empty());

  machine().faults().failNext("GetTempFileNameA", ERROR_ACCESS_DENIED);
  EXPECT_TRUE(CopyZABFilesToWindowsDir(zre.home()));
  EXPECT_EQ(systemFiles(), before);
  EXPECT_TRUE(pendingRenames().empty());
}

}  // namespace
