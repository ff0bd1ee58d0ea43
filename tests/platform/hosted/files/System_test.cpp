// System information and library loading on the machine, as machine.json describes it.
#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/TestMachine.h"

namespace fs = std::filesystem;

namespace {

class HostedSystem : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }
  void loadWith(const std::string& json) {
    hosted::Machine::unload();
    zutest::writeFile(dir() / "machine.json", json);
    load();
  }
};

TEST_F(HostedSystem, VersionArchitectureAndWow64ComeFromTheMachine) {
  struct Case {
    const char* json;
    DWORD major, minor;
    WORD architecture;
    BOOL wow64;
    USHORT process, native;
    const char* wow64Folder;  // null: a 32-bit system has none
    const char* commonX86;    // null: the folder query fails
  } const cases[] = {
      {"{}", 10, 0, PROCESSOR_ARCHITECTURE_AMD64, FALSE, IMAGE_FILE_MACHINE_UNKNOWN, IMAGE_FILE_MACHINE_AMD64,
       "C:\\Windows\\SysWOW64", "C:\\Program Files (x86)\\Common Files"},
      {R"({"os": {"version": "6.1", "architecture": "x86"}, "process": {"bitness": 32}})", 6, 1,
       PROCESSOR_ARCHITECTURE_INTEL, FALSE, IMAGE_FILE_MACHINE_UNKNOWN, IMAGE_FILE_MACHINE_I386, nullptr,
       "C:\\Program Files\\Common Files"},
      {R"({"process": {"bitness": 32}, "folders": {"programFilesCommonX86": null}})", 10, 0,
       PROCESSOR_ARCHITECTURE_AMD64, TRUE, IMAGE_FILE_MACHINE_I386, IMAGE_FILE_MACHINE_AMD64, "C:\\Windows\\SysWOW64",
       nullptr},
      // ARM64 keeps the WOW64 views and folders; the x64 program runs emulated, not under WOW64.
      {R"({"os": {"architecture": "arm64"}, "process": {"bitness": 32}})", 10, 0, PROCESSOR_ARCHITECTURE_ARM64, TRUE,
       IMAGE_FILE_MACHINE_I386, IMAGE_FILE_MACHINE_ARM64, "C:\\Windows\\SysWOW64", "C:\\Program Files (x86)\\Common Files"},
      {R"({"os": {"architecture": "arm64"}})", 10, 0, PROCESSOR_ARCHITECTURE_ARM64, FALSE, IMAGE_FILE_MACHINE_UNKNOWN,
       IMAGE_FILE_MACHINE_ARM64, "C:\\Windows\\SysWOW64", "C:\\Program Files (x86)\\Common Files"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    loadWith(c.json);
    OSVERSIONINFOEXA info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&info)));
    EXPECT_EQ(info.dwMajorVersion, c.major);
    EXPECT_EQ(info.dwMinorVersion, c.minor);
    SYSTEM_INFO system{};
    GetNativeSystemInfo(&system);
    EXPECT_EQ(system.wProcessorArchitecture, c.architecture);
    BOOL wow64 = 2;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    EXPECT_EQ(wow64, c.wow64);
    USHORT process = 0, native = 0;
    ASSERT_TRUE(IsWow64Process2(GetCurrentProcess(), &process, &native));
    EXPECT_EQ(process, c.process);
    EXPECT_EQ(native, c.native);
    char buffer[MAX_PATH] = "sentinel";
    SetLastError(0);
    UINT n = GetSystemWow64DirectoryA(buffer, MAX_PATH);
    EXPECT_EQ(c.wow64Folder ? std::string(buffer, n) : std::to_string(GetLastError()),
              c.wow64Folder ? c.wow64Folder : std::to_string(ERROR_CALL_NOT_IMPLEMENTED));
    HRESULT hr = SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES_COMMONX86 | CSIDL_FLAG_CREATE, nullptr, 0, buffer);
    EXPECT_EQ(SUCCEEDED(hr), c.commonX86 != nullptr);
    if (c.commonX86) {
      EXPECT_STREQ(buffer, c.commonX86);
    }
    EXPECT_EQ(GetSystemDirectoryA(buffer, 3), 20u) << "too small: the size needed";
  }
}

TEST_F(HostedSystem, SystemLibrariesAreBuiltInByAnyNameFormWithTheVersionsFunctions) {
  loadWith(R"({"os": {"version": "5.1"}})");
  HMODULE kernel = LoadLibraryA("kernel32");
  ASSERT_NE(kernel, nullptr);
  EXPECT_EQ(LoadLibraryA("KERNEL32.DLL"), kernel);
  EXPECT_EQ(LoadLibraryA("C:\\Windows\\System32\\kernel32"), kernel);
  EXPECT_EQ(LoadLibraryW(L"c:\\windows\\system32\\Kernel32.dll"), kernel);
  EXPECT_EQ(GetModuleHandleA("kernel32"), kernel);
  EXPECT_NE(LoadLibraryA("AdvAPI32.dll"), kernel);
  EXPECT_TRUE(FreeLibrary(kernel));
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA("C:\\Program Files\\nothing.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  // Windows XP has no symbolic links; host library functions are no Windows exports.
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(kernel, "CreateSymbolicLinkW"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")), reinterpret_cast<void*>(&IsWow64Process));
  EXPECT_EQ(GetProcAddress(kernel, "malloc"), nullptr);
  loadWith(R"({"os": {"version": "6.0"}})");
  EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "CreateSymbolicLinkW")),
            reinterpret_cast<void*>(&CreateSymbolicLinkW));
  EXPECT_EQ(GetProcAddress(GetModuleHandleA("advapi32"), "CreateSymbolicLinkW"), nullptr);
}

TEST_F(HostedSystem, ALibraryOnTheDrivesIsAHostSharedObjectMappedUntilItsLastFree) {
  load();
  zutest::writeFile(hostPath("C:\\Zuna\\bin\\broken.dll"), "MZ not really");
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA("C:\\zuna\\BIN\\broken.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
  machine().faults().failNext("LoadLibraryA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(LoadLibraryA("kernel32"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

  fs::copy_file(ZU_TEST_LIBRARY, hostPath("C:\\Zuna\\bin\\deploy.dll"));
  HMODULE deploy = LoadLibraryA("c:\\zuna\\BIN\\Deploy.dll");
  ASSERT_NE(deploy, nullptr);
  EXPECT_EQ(LoadLibraryA("C:\\Zuna\\bin\\deploy"), deploy);  // ".dll" is added, the load counted
  auto unregister = reinterpret_cast<int (*)(int)>(reinterpret_cast<void*>(GetProcAddress(deploy, "UnregisterDeployEx")));
  EXPECT_EQ(unregister(41), 42);
  EXPECT_EQ(GetModuleHandleA("DEPLOY.DLL"), deploy);
  EXPECT_TRUE(FreeLibrary(deploy));
  EXPECT_EQ(GetModuleHandleA("deploy.dll"), deploy);
  SetLastError(0);
  EXPECT_FALSE(DeleteFileA("C:\\Zuna\\bin\\deploy.dll"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(FreeLibrary(deploy));
  EXPECT_TRUE(DeleteFileA("C:\\Zuna\\bin\\deploy.dll"));
  SetLastError(0);
  EXPECT_EQ(GetModuleHandleA("deploy.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

}  // namespace
