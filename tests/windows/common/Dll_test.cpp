// Libraries loaded at run time: functions found or missing, and the loader that takes
// libraries from the system folder only.
#include "windows/common/Dll.h"

#include <windows.h>

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/TestMachine.h"

namespace {

class DllTest : public zutest::MachineTest {
 protected:
};

TEST_F(DllTest, FunctionsAreFoundOrFailWhenCalled) {
  EXPECT_NE(zutest::exceptionText([] { Dll missing("C:\\nowhere\\none.dll"); }).find("LoadLibraryW(C:\\nowhere\\none.dll) failed"),
            std::string::npos);
  Dll kernel = Dll::fromSystemDirectory("kernel32");
  DllFunction<BOOL(HANDLE, PBOOL)> missing(kernel, "NoSuchFunction", false);
  EXPECT_FALSE(missing);
  BOOL wow64 = TRUE;
  EXPECT_NE(zutest::exceptionText([&] { missing(GetCurrentProcess(), &wow64); }).find("function NoSuchFunction is not available"),
            std::string::npos);
  EXPECT_NE(zutest::exceptionText([&] { kernel.getFunction("NoSuchFunction", true); })
                .find("GetProcAddress(NoSuchFunction) failed. System error [127]"),
            std::string::npos);

  DllFunction<BOOL(HANDLE, PBOOL)> isWow64(kernel, "IsWow64Process", true);
  EXPECT_TRUE(isWow64(GetCurrentProcess(), &wow64));
  EXPECT_FALSE(wow64);
}

TEST_F(DllTest, SystemLoadLibraryTakesOnlyWhatFitsInTheSystemFolder) {
  HMODULE advapi = ZRE_System_LoadLibrary("AdvAPI32.dll");
  EXPECT_NE(advapi, nullptr);
  freeLibraryIfPresent(advapi);
  EXPECT_EQ(ZRE_System_LoadLibrary("absent.dll"), nullptr);
  EXPECT_TRUE(logHas("LoadLibrary(C:\\Windows\\System32\\absent.dll) failed.  ErrorCode: 126"));
  // "C:\Windows\System32\" is 20 characters: 239 more make 259, 240 make 260.
  machine().faults().failNext("LoadLibraryA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(ZRE_System_LoadLibrary(std::string(240, 'n').c_str()), nullptr);
  EXPECT_TRUE(logHas("_snprintf failed.  ErrorCode:"));
  // The armed failure is still there: LoadLibraryA was never called.
  EXPECT_EQ(ZRE_System_LoadLibrary(std::string(239, 'n').c_str()), nullptr);
  EXPECT_TRUE(logHas("failed.  ErrorCode: 5"));
  // A failed folder query is logged under the caller.
  machine().faults().failNext("GetSystemDirectoryA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(ZRE_System_LoadLibrary("advapi32.dll"), nullptr);
  EXPECT_TRUE(logHas("(ZRE_System_LoadLibrary)]\r\n\tERROR: GetSystemDirectory failed.  Return Code: 0, ErrorCode: 5"));
}

}  // namespace
