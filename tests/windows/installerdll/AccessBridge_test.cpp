// The access bridge where a whole run of the 64-bit program does not show it: the
// library and view of a 32-bit program or system, and the failures of each step.
#include "windows/installerdll/AccessBridge.h"

#include <gtest/gtest.h>

#include "tests/support/InstalledMachine.h"
#include "tests/support/Runs.h"
#include "windows/common/RegistryKey.h"
#include "windows/common/SysInfo.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kBridgeKey =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Accessibility\\ATs\\Vantor_ZunaAccessBridge";
constexpr const char* kLibrary = "C:\\Windows\\System32\\HostAccessBridge-64.dll";
const std::string kHome = "C:\\Program Files\\Zuna\\zre1.8.0_25";

// The release being removed, with its bridge, beside 1.8.0_25.
class AccessBridgeTest : public zutest::InstalledMachineTest {
 protected:
  void loadWith(const std::string& machineJson = "") {
    zutest::RuntimeInstall runtime = zutest::runtimeInstall("1.8.0_25", "", "1.8.0_25-b17");
    runtime.binFiles.push_back("HostAccessBridge.dll");
    installed.withRuntime(runtime);
    installed.withMachineJson(machineJson);
    loadInstalled();
    SysInfo::initialize();
  }
  // How many of its six values the registration holds in a view, or nothing without the key.
  std::optional<int> registration(const CheckedRegistryKey& view = RegistryRoot::LocalMachine64()) {
    if (!CheckedRegistryKey::Exists(view, kBridgeKey)) return std::nullopt;
    CheckedRegistryKey key = CheckedRegistryKey::Open(view, kBridgeKey, 0);
    int values = 0;
    for (const char* name : {"StartExe", "ApplicationName", "Description", "Profile", "SimpleProfile", "StartParams"}) {
      values += key.ValueExists(name, nullptr);
    }
    return values;
  }
  std::string system(const char* name) { return zutest::readFile(hostPath(std::string("C:\\Windows\\System32\\") + name)); }
};

// A 32-bit program copies the library of its bitness and registers in its own view;
// on a 32-bit system the library has no suffix and there is one view.
struct Bitness {
  const char* machineJson;
  const char* library;
  const CheckedRegistryKey* view;
  const CheckedRegistryKey* otherView;  // nullptr: the system has one view
};
void PrintTo(const Bitness& b, std::ostream* out) { *out << b.library; }

class AccessBridgeBitness : public AccessBridgeTest, public ::testing::WithParamInterface<Bitness> {};

TEST_P(AccessBridgeBitness, TheLibraryAndKeyOfTheProgramsBitnessComeAndGo) {
  const Bitness& b = GetParam();
  loadWith(b.machineJson);
  zutest::writeFile(hostPath(std::string("C:\\Windows\\System32\\") + b.library), "old");
  EXPECT_TRUE(CopyZABFilesToWindowsDir(kHome));
  EXPECT_EQ(RegisterVantorZunaAccessBridgeKey(kHome), 1);
  EXPECT_EQ(system(b.library), std::string(b.library) + " of 1.8.0_25");
  EXPECT_EQ(registration(*b.view), 6);
  EXPECT_TRUE(!b.otherView || registration(*b.otherView) == 2) << "the release's, as it was";
  EXPECT_TRUE(DeleteZABFilesAndKeys());
  EXPECT_FALSE(fs::exists(hostPath(std::string("C:\\Windows\\System32\\") + b.library)));
  EXPECT_FALSE(registration(*b.view));
  EXPECT_EQ(system("HostAccessBridge-64.dll"), "bridge of 1.8.0_31") << "not this program's library";
}

INSTANTIATE_TEST_SUITE_P(Programs, AccessBridgeBitness,
                         ::testing::Values(Bitness{R"({"process":{"bitness":32}})", "HostAccessBridge-32.dll",
                                                   &RegistryRoot::LocalMachine32(), &RegistryRoot::LocalMachine64()},
                                           Bitness{R"({"os":{"architecture":"x86"},"process":{"bitness":32}})",
                                                   "HostAccessBridge.dll", &RegistryRoot::LocalMachine(), nullptr}));

TEST_F(AccessBridgeTest, TheFirstValueThatFailsEndsTheRegistration) {
  loadWith();
  machine().faults().failNext("RegSetValueExW", ERROR_ACCESS_DENIED, std::string("HKEY_LOCAL_MACHINE\\") + kBridgeKey + "\\Description");
  EXPECT_EQ(RegisterVantorZunaAccessBridgeKey(kHome), 0);
  EXPECT_EQ(registration(), 3) << "StartExe and ApplicationName written, the release's StartParams kept";
  EXPECT_NE(log().find("SetVantorZunaAccessBridgeKeyValues - Could not set Description zabswitch key"), std::string::npos);

  DeleteZABFilesAndKeys();
  machine().faults().failNext("RegCreateKeyExA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegisterVantorZunaAccessBridgeKey(kHome), 0);
  EXPECT_FALSE(registration());
  EXPECT_NE(log().find("RegisterVantorZunaAccessBridgeKeynot open Vantor_ZunaAccessBridge key"), std::string::npos);
}

// A library that cannot go for another reason than use is left alone, not scheduled;
// without RegDeleteKeyEx the key stays.
TEST_F(AccessBridgeTest, WhatCannotBeRemovedStays) {
  loadWith();
  machine().faults().failNext("DeleteFileA", ERROR_ACCESS_DENIED, kLibrary);
  machine().faults().failNext("GetProcAddress", ERROR_PROC_NOT_FOUND, "RegDeleteKeyExA");
  EXPECT_TRUE(DeleteZABFilesAndKeys());
  EXPECT_EQ(system("HostAccessBridge-64.dll"), "bridge of 1.8.0_31");
  RegistryKey manager(HKEY_LOCAL_MACHINE);
  RegistryValue pending;
  ASSERT_EQ(manager.OpenKey("SYSTEM\\CurrentControlSet\\Control\\Session Manager", KEY_READ), ERROR_SUCCESS);
  EXPECT_NE(manager.QueryValue("PendingFileRenameOperations", pending), ERROR_SUCCESS);
  EXPECT_TRUE(registration());
  EXPECT_NE(log().find("DeleteZABFilesAndKeys - RegDeleteKeyEx could not GetProcAddress"), std::string::npos);
  machine().faults().failNext("LoadLibraryA", ERROR_MOD_NOT_FOUND);
  EXPECT_TRUE(DeleteZABFilesAndKeys());
  EXPECT_TRUE(registration());
  EXPECT_NE(log().find("DeleteZABFilesAndKeys - RegDeleteKeyEx could not load advapi32.dll"), std::string::npos);
}

// Without the system folder the library's name would point at the root of the current
// drive, where another file of that name may be.
TEST_F(AccessBridgeTest, WithoutTheSystemDirectoryNoLibraryIsTouched) {
  loadWith();
  zutest::writeFile(hostPath("C:\\HostAccessBridge-64.dll"), "unrelated");
  machine().faults().failNext("GetSystemDirectoryA", ERROR_PATH_NOT_FOUND);
  EXPECT_TRUE(DeleteZABFilesAndKeys());
  EXPECT_FALSE(registration()) << "the key still goes";
  machine().faults().failNext("GetSystemDirectoryA", ERROR_PATH_NOT_FOUND);
  EXPECT_TRUE(CopyZABFilesToWindowsDir(kHome));
  EXPECT_EQ(zutest::readFile(hostPath("C:\\HostAccessBridge-64.dll")), "unrelated");
  EXPECT_EQ(system("HostAccessBridge-64.dll"), "bridge of 1.8.0_31");
}

// A library in use is replaced at the next restart through a copy beside it; when that
// copy cannot be made, no placeholder stays behind.
TEST_F(AccessBridgeTest, AFailedCopyForTheRestartLeavesNoTemporaryFile) {
  loadWith();
  HANDLE held = CreateFileA(kLibrary, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  auto before = zutest::contentsOf(hostPath("C:\\Windows\\System32"));
  machine().faults().failNext("GetTempFileNameA", ERROR_ACCESS_DENIED);
  EXPECT_TRUE(CopyZABFilesToWindowsDir(kHome));
  fs::remove(hostPath(kHome + "\\bin\\HostAccessBridge-64.dll"));
  EXPECT_TRUE(CopyZABFilesToWindowsDir(kHome));
  CloseHandle(held);
  EXPECT_EQ(zutest::contentsOf(hostPath("C:\\Windows\\System32")), before);
}

}  // namespace
