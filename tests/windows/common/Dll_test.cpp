#include "windows/common/Dll.h"

#include <windows.h>

#include <stdexcept>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "tests/support/TestMachine.h"

namespace {

class DllTest : public zutest::MachineTest {
 protected:
  std::string log() { return zutest::readFile(hostPath("C:\\Users\\user\\AppData\\Local\\Temp\\zusched.log")); }
};

TEST_F(DllTest, MissingFunctionWithoutThrowingIsEmptyAndThrowsWhenCalled) {
  Dll kernel = Dll::fromSystemDirectory("kernel32");
  DllFunction<BOOL(HANDLE, PBOOL)> missing(kernel, "NoSuchFunction", false);
  EXPECT_FALSE(missing);
  try {
    BOOL result = FALSE;
    missing(GetCurrentProcess(), &result);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("function NoSuchFunction is not available"), std::string::npos);
  }
  try {
    kernel.getFunction("NoSuchFunction", true);
    FAIL() << "no exception";
  } catch (const SysError& e) {
    EXPECT_NE(std::string(e.what()).find("GetProcAddress(NoSuchFunction) failed. System error [127]"),
              std::string::npos);
  }
}

TEST_F(DllTest, FoundFunctionIsCalledThrough) {
  Dll kernel("kernel32");
  DllFunction<BOOL(HANDLE, PBOOL)> isWow64(kernel, "IsWow64Process", true);
  BOOL wow64 = TRUE;
  EXPECT_TRUE(isWow64(GetCurrentProcess(), &wow64));
  EXPECT_FALSE(wow64);
}

TEST_F(DllTest, LoadFailureThrowsWithTheName) {
  try {
    Dll missing("C:\\nowhere\\none.dll");
    FAIL() << "no exception";
  } catch (const SysError& e) {
    EXPECT_NE(std::string(e.what()).find("LoadLibraryW(C:\\nowhere\\none.dll) failed"), std::string::npos);
  }
}

TEST_F(DllTest, MovingHandsTheLibraryOver) {
  Dll first("kernel32");
  HMODULE module = first.module();
  Dll second(std::move(first));
  EXPECT_EQ(first.module(), nullptr);
  EXPECT_EQ(second.module(), module);
  EXPECT_NE(second.getFunction("GetVersionExA", false), nullptr);
}

TEST_F(DllTest, SystemLoadLibraryJoinsTheSystemDirectory) {
  HMODULE advapi = ZRE_System_LoadLibrary("AdvAPI32.dll");
  EXPECT_NE(advapi, nullptr);
  freeLibraryIfPresent(advapi);
  EXPECT_EQ(ZRE_System_LoadLibrary("absent.dll"), nullptr);
  EXPECT_NE(log().find("LoadLibrary(C:\\Windows\\System32\\absent.dll) failed.  ErrorCode: 126"), std::string::npos);
}

TEST_F(DllTest, SystemLoadLibraryRefusesAPathThatDoesNotFit) {
  // "C:\Windows\System32\" is 20 characters: 239 more make 259, 240 make 260.
  machine().faults().failNext("LoadLibraryA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(ZRE_System_LoadLibrary(std::string(240, 'n').c_str()), nullptr);
  EXPECT_NE(log().find("_snprintf failed.  ErrorCode:"), std::string::npos);
  // The armed failure is still there: LoadLibraryA was never called.
  EXPECT_EQ(ZRE_System_LoadLibrary(std::string(239, 'n').c_str()), nullptr);
  EXPECT_NE(log().find("failed.  ErrorCode: 5"), std::string::npos);
}

TEST_F(DllTest, SystemLoadLibraryLogsAFailedDirectoryQuery) {
  machine().faults().failNext("GetSystemDirectoryA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(ZRE_System_LoadLibrary("advapi32.dll"), nullptr);
  EXPECT_NE(log().find("GetSystemDirectory failed.  Return Code: 0, ErrorCode: 5"), std::string::npos);
  EXPECT_NE(log().find("(ZRE_System_LoadLibrary)]\r\n\tERROR: GetSystemDirectory failed."), std::string::npos) << log();
}

}  // namespace
