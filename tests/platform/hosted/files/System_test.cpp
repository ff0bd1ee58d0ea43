// System information and library loading on the machine, as machine.json describes it.
#include <windows.h>
#include <shlobj.h>

#include <cstddef>
#include <cstdlib>
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
    zutest::writeFile(dir() / "machine.json", json);
    load();
  }
};

TEST(HostedVersionInfo, LayoutIsTheWindowsOne) {
  EXPECT_EQ(sizeof(OSVERSIONINFOEXA), 156u);
  EXPECT_EQ(offsetof(OSVERSIONINFOEXA, wServicePackMajor), 148u);
  EXPECT_EQ(offsetof(SYSTEM_INFO, dwPageSize), 4u);
}

TEST_F(HostedSystem, VersionAndArchitectureComeFromTheMachine) {
  loadWith(R"({"os": {"version": "6.1", "architecture": "x86"}, "process": {"bitness": 32}})");
  OSVERSIONINFOEXA info{};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&info)));
  EXPECT_EQ(info.dwMajorVersion, 6u);
  EXPECT_EQ(info.dwMinorVersion, 1u);
  SYSTEM_INFO system{};
  GetNativeSystemInfo(&system);
  EXPECT_EQ(system.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_INTEL);
  BOOL wow64 = TRUE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
  EXPECT_FALSE(wow64);
  char buffer[MAX_PATH];
  SetLastError(0);
  EXPECT_EQ(GetSystemWow64DirectoryA(buffer, MAX_PATH), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES_COMMONX86, nullptr, 0, buffer), S_OK);
  EXPECT_STREQ(buffer, "C:\\Program Files\\Common Files");
}

TEST_F(HostedSystem, A32BitProcessOnX64RunsUnderWow64) {
  loadWith(R"({"process": {"bitness": 32}})");
  BOOL wow64 = FALSE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
  EXPECT_TRUE(wow64);
  SYSTEM_INFO system{};
  GetNativeSystemInfo(&system);
  EXPECT_EQ(system.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_AMD64);
  char buffer[MAX_PATH];
  UINT n = GetSystemWow64DirectoryA(buffer, MAX_PATH);
  EXPECT_EQ(std::string(buffer, n), "C:\\Windows\\SysWOW64");
  EXPECT_EQ(GetSystemDirectoryA(buffer, 3), n - 1 + 2u);  // too small: the size needed
}

TEST_F(HostedSystem, Arm64KeepsTheWow64ViewsAndFoldersAndNamesItselfNative) {
  loadWith(R"({"os": {"architecture": "arm64"}, "process": {"bitness": 32}})");
  SYSTEM_INFO system{};
  GetNativeSystemInfo(&system);
  EXPECT_EQ(system.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_ARM64);
  BOOL wow64 = FALSE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
  EXPECT_TRUE(wow64);
  USHORT process = 0, native = 0;
  ASSERT_TRUE(IsWow64Process2(GetCurrentProcess(), &process, &native));
  EXPECT_EQ(process, IMAGE_FILE_MACHINE_I386);
  EXPECT_EQ(native, IMAGE_FILE_MACHINE_ARM64);
  char buffer[MAX_PATH];
  ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES_COMMONX86, nullptr, 0, buffer), S_OK);
  EXPECT_STREQ(buffer, "C:\\Program Files (x86)\\Common Files");

  // The x64 program itself runs emulated, not under WOW64.
  hosted::Machine::unload();
  loadWith(R"({"os": {"architecture": "arm64"}})");
  ASSERT_TRUE(IsWow64Process2(GetCurrentProcess(), &process, &native));
  EXPECT_EQ(process, IMAGE_FILE_MACHINE_UNKNOWN);
  EXPECT_EQ(native, IMAGE_FILE_MACHINE_ARM64);
}

TEST_F(HostedSystem, ANullFolderFailsItsQueryWithACOMError) {
  loadWith(R"({"folders": {"programFilesCommonX86": null}})");
  char buffer[MAX_PATH] = "sentinel";
  HRESULT hr = SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES_COMMONX86 | CSIDL_FLAG_CREATE, nullptr, 0, buffer);
  EXPECT_TRUE(FAILED(hr));
  wchar_t wide[MAX_PATH];
  EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, wide), S_OK);
  EXPECT_EQ(std::wstring(wide), L"C:\\ProgramData");
}

TEST_F(HostedSystem, SystemLibrariesAreBuiltInByAnyNameForm) {
  load();
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
}

TEST_F(HostedSystem, FunctionsAreOfferedAsTheWindowsVersionHasThem) {
  loadWith(R"({"os": {"version": "5.1"}})");
  HMODULE kernel = GetModuleHandleA("kernel32");
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(kernel, "CreateSymbolicLinkW"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")), reinterpret_cast<void*>(&IsWow64Process));
  // Host library functions are not Windows exports.
  EXPECT_EQ(GetProcAddress(kernel, "malloc"), nullptr);
  EXPECT_EQ(GetProcAddress(kernel, "NoSuchFunction"), nullptr);

  hosted::Machine::unload();
  loadWith(R"({"os": {"version": "6.0"}})");
  EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "CreateSymbolicLinkW")),
            reinterpret_cast<void*>(&CreateSymbolicLinkW));
  EXPECT_EQ(GetProcAddress(GetModuleHandleA("advapi32"), "CreateSymbolicLinkW"), nullptr);
  EXPECT_NE(GetProcAddress(GetModuleHandleA("kernel32"), "GetVersionExA"), nullptr);
}

TEST_F(HostedSystem, ALibraryOnTheDrivesThatIsNoSharedObjectIsABadImage) {
  load();
  zutest::writeFile(hostPath("C:\\Zuna\\bin\\deploy.dll"), "MZ not really");
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA("C:\\zuna\\BIN\\deploy.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
  machine().faults().failNext("LoadLibraryA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(LoadLibraryA("kernel32"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(HostedSystem, ALibraryOnTheDrivesIsLoadedAsAHostSharedObject) {
  load();
  fs::create_directories(hostPath("C:\\Zuna\\bin"));
  fs::copy_file(ZU_TEST_LIBRARY, hostPath("C:\\Zuna\\bin\\deploy.dll"));
  HMODULE deploy = LoadLibraryA("c:\\zuna\\BIN\\Deploy.dll");
  ASSERT_NE(deploy, nullptr);
  EXPECT_EQ(LoadLibraryA("C:\\Zuna\\bin\\deploy"), deploy);  // ".dll" is added, the load counted
  auto unregister = reinterpret_cast<int (*)(int)>(reinterpret_cast<void*>(GetProcAddress(deploy, "UnregisterDeployEx")));
  ASSERT_NE(unregister, nullptr);
  EXPECT_EQ(unregister(41), 42);
  EXPECT_EQ(GetProcAddress(deploy, "RegisterDeployEx"), nullptr);
  EXPECT_EQ(GetModuleHandleA("DEPLOY.DLL"), deploy);
  EXPECT_TRUE(FreeLibrary(deploy));
  EXPECT_EQ(GetModuleHandleA("deploy.dll"), deploy);
  // A mapped image cannot be deleted until its last load is freed.
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
