// The main sequence run in-process on a scratch machine, with the layer's fault
// injection standing in for a system that refuses.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/hosted/machine/registry/Registry.h"
#include "tests/support/InstalledMachine.h"
#include "tests/support/TestMachine.h"
#include "windows/uninstallerexe/uninstaller.h"

namespace {

class WinMainTest : public zutest::MachineTest {
 protected:
  int run() { return WinMain(nullptr, nullptr, const_cast<char*>(""), 1); }
};

TEST_F(WinMainTest, FailedCommonControlsAreReportedAndTheRunGoesOn) {
  machine().faults().failNext("InitCommonControlsEx", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(run(), 0);
  auto events = zutest::readJournal(dir());
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]["text"], "Could not initialize common controls!");
  EXPECT_EQ(events[0]["caption"], "Failure");
  EXPECT_EQ(events[0]["style"], MB_ICONERROR);
  EXPECT_NE(log().find("(WinMain)]\r\n\tERROR: Uninstaller could not initialize common controls.\r\n"),
            std::string::npos)
      << log();
}

TEST_F(WinMainTest, TheDebugPrivilegeIsEnabledOnSystemsBeforeVista) {
  zutest::writeFile(dir() / "machine.json", R"({"os": {"version": "5.2"}})");
  load();
  // Such a system refuses the newer SDKs' PROCESS_ALL_ACCESS, and takes its own rights.
  EXPECT_EQ(OpenProcess(0x1FFFFF, FALSE, GetCurrentProcessId()), nullptr);
  HANDLE process = OpenProcess(0x1F0FFF, FALSE, GetCurrentProcessId());
  EXPECT_NE(process, nullptr);
  CloseHandle(process);
  // Armed for the token's adjustment: only a run that gets as far as the token takes it.
  machine().faults().failNext("AdjustTokenPrivileges", ERROR_NOT_ALL_ASSIGNED);
  EXPECT_EQ(run(), 0);
  EXPECT_TRUE(machine().faults().empty());
}

TEST_F(WinMainTest, AReleaseKeyThatCannotBeDeletedIsNeverRegisteredAgain) {
  zutest::InstalledMachine(dir()).withRuntime(zutest::runtimeInstall("1.8.0_25", "11")).write();
  load();
  const std::string main = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment";
  machine().faults().failNext("RegDeleteKeyExA", ERROR_ACCESS_DENIED, main + "\\1.8.0_31");
  EXPECT_EQ(run(), 0);
  EXPECT_NE(log().find("UnregZREUniqueVersion ---- failed to delete 1.8.0_31 ---- "), std::string::npos) << log();
  ASSERT_TRUE(machine().registry().fold());
  zutest::RegistrySnapshot reg(dir());
  EXPECT_TRUE(reg.hasKey(main + "\\1.8.0_31"));
  std::string home25 = "C:\\Program Files\\Zuna\\zre1.8.0_25";
  EXPECT_EQ(reg.text(main, "CurrentVersion"), "1.8");
  EXPECT_EQ(reg.text(main + "\\1.8", "ZunaHome"), home25);
  EXPECT_EQ(reg.text("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\zarfile\\shell\\open\\command", ""),
            "\"" + home25 + "\\bin\\zunaw.exe\" -zar \"%1\" %*");
  EXPECT_EQ(zutest::readFile(dir() / "drives/C/Windows/System32/HostAccessBridge-64.dll"),
            "HostAccessBridge-64.dll of 1.8.0_25");
}

}  // namespace
