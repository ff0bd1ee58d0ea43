// The hosted processes and windows behave as Windows does for the calls the scan and
// the dialogs make, and ended processes leave machine.json.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstddef>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/TestMachine.h"

namespace {

using zutest::readFile;

TEST(WindowsRecords, KeepTheLayoutOf64BitWindows) {
  EXPECT_EQ(sizeof(STARTUPINFOA), 104u);
  EXPECT_EQ(offsetof(STARTUPINFOA, hStdInput), 80u);
  EXPECT_EQ(sizeof(PROCESS_INFORMATION), 24u);
  EXPECT_EQ(sizeof(SECURITY_ATTRIBUTES), 24u);
  EXPECT_EQ(sizeof(PROCESSENTRY32), 304u);
  EXPECT_EQ(offsetof(PROCESSENTRY32, szExeFile), 44u);
  EXPECT_EQ(sizeof(MODULEENTRY32), 568u);
  EXPECT_EQ(offsetof(MODULEENTRY32, szExePath), 304u);
  EXPECT_EQ(sizeof(WIN32_FIND_DATAA), 320u);
  EXPECT_EQ(offsetof(WIN32_FIND_DATAA, cFileName), 44u);
  EXPECT_EQ(sizeof(OSVERSIONINFOEXA), 156u);
}

class HostedProcessesTest : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }

  void SetUp() override {
    zutest::writeFile(dir() / "machine.json", R"({
      "locale": { "country": "Sweden" },
      "processes": [
        { "pid": 100, "ppid": 0, "exe": "app.exe", "image": "C:\\App\\app.exe",
          "modules": ["C:\\Zuna\\bin\\server\\zvm.dll"],
          "windows": [ { "title": "App", "visible": true }, { "title": "hidden", "visible": false } ] },
        { "pid": 200, "ppid": 100, "exe": "stubborn.exe", "image": "C:\\stubborn.exe",
          "windows": [ { "title": "Stubborn" } ], "onClose": "ignore", "onTerminate": "ignore" },
        { "pid": 300, "exe": "guarded.exe", "image": "C:\\guarded.exe", "access": "denied" }
      ] })");
    load();
  }

  static std::vector<HWND> windows() {
    std::vector<HWND> all;
    EnumWindows([](HWND w, LPARAM p) -> BOOL {
      reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
      return TRUE;
    }, reinterpret_cast<LPARAM>(&all));
    return all;
  }
  template <class T>
  void expectFailure(T result, T failed, DWORD error) {
    EXPECT_EQ(result, failed);
    EXPECT_EQ(GetLastError(), error);
  }
};

TEST_F(HostedProcessesTest, ToolhelpAndPsapiSeeTheMachinesProcessesAndRefuseWhatWindowsRefuses) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  ASSERT_NE(snapshot, INVALID_HANDLE_VALUE);
  PROCESSENTRY32 entry{};
  entry.dwSize = 8;  // a record that announces too small a size is refused and left as it was
  EXPECT_FALSE(Process32First(snapshot, &entry));
  EXPECT_EQ(entry.th32ProcessID, 0u);
  entry.dwSize = sizeof(entry);
  std::vector<std::pair<DWORD, std::string>> seen;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    seen.emplace_back(entry.th32ProcessID, entry.szExeFile);
  }
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[1], (std::pair<DWORD, std::string>{200, "stubborn.exe"}));
  EXPECT_EQ(seen[3], (std::pair<DWORD, std::string>{4242, "uninstaller.exe"}));
  EXPECT_TRUE(CloseHandle(snapshot));

  snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 100);
  MODULEENTRY32 module{};
  module.dwSize = sizeof(module);
  ASSERT_TRUE(Module32First(snapshot, &module));
  EXPECT_STREQ(module.szExePath, "C:\\App\\app.exe");
  ASSERT_TRUE(Module32Next(snapshot, &module));
  EXPECT_STREQ(module.szModule, "zvm.dll");
  EXPECT_FALSE(Module32Next(snapshot, &module));
  CloseHandle(snapshot);

  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, 100);
  HMODULE modules[4] = {};
  DWORD needed = 0;
  ASSERT_TRUE(EnumProcessModules(process, modules, sizeof(modules), &needed));
  EXPECT_EQ(needed, 2 * sizeof(HMODULE));
  char path[MAX_PATH] = {};
  EXPECT_EQ(GetModuleFileNameExA(process, modules[1], path, MAX_PATH), 26u);
  EXPECT_STREQ(path, "C:\\Zuna\\bin\\server\\zvm.dll");
  EXPECT_EQ(GetModuleFileNameExA(process, nullptr, path, 5), 4u);
  EXPECT_STREQ(path, "C:\\A");
  CloseHandle(process);

  expectFailure(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 300), INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
  expectFailure(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, 300), HANDLE{}, ERROR_ACCESS_DENIED);
  expectFailure(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, 999), HANDLE{}, ERROR_INVALID_PARAMETER);
  HANDLE weak = OpenProcess(SYNCHRONIZE, FALSE, 100);
  expectFailure(GetModuleFileNameExA(weak, nullptr, path, MAX_PATH), DWORD{0}, ERROR_ACCESS_DENIED);
  expectFailure(TerminateProcess(weak, 1), BOOL{FALSE}, ERROR_ACCESS_DENIED);
  CloseHandle(weak);
}

TEST_F(HostedProcessesTest, WindowsShowTheirProcessStyleAndTitleUntilDestroyed) {
  std::vector<HWND> all = windows();
  ASSERT_EQ(all.size(), 3u);
  DWORD pid = 0;
  EXPECT_NE(GetWindowThreadProcessId(all[2], &pid), 0u);
  EXPECT_EQ(pid, 200u);
  EXPECT_TRUE(GetWindowLongPtrA(all[0], GWL_STYLE) & WS_VISIBLE);
  EXPECT_FALSE(IsWindowVisible(all[1]));
  char title[3] = {'x', 'x', 'x'};
  EXPECT_EQ(GetWindowTextA(all[2], title, 3), 2);
  EXPECT_STREQ(title, "St");
  // Destroying the window of a process that ignores it keeps the process.
  EXPECT_TRUE(DestroyWindow(all[2]));
  EXPECT_EQ(windows().size(), 2u);
  expectFailure(PostMessageA(all[2], WM_CLOSE, 0, 0), BOOL{FALSE}, ERROR_INVALID_WINDOW_HANDLE);
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, 200);
  EXPECT_NE(process, nullptr);
  CloseHandle(process);
}

// On Windows the target handles a posted message on its own thread after the poster
// goes on, and a hidden window's WM_CLOSE does not end a program; the whole-run tests
// check the journal. A process that ignores everything runs out the waits on the
// machine's clock.
TEST_F(HostedProcessesTest, APostedCloseEndsTheProcessOnceThePosterWaitsAndItLeavesMachineJson) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, 100);
  ASSERT_TRUE(PostMessageA(windows()[1], WM_CLOSE, 0, 0));
  EXPECT_EQ(WaitForSingleObject(process, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  ASSERT_TRUE(PostMessageA(windows()[0], WM_CLOSE, 0, 0));
  EXPECT_EQ(windows().size(), 3u);
  EXPECT_EQ(WaitForSingleObject(process, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(windows().size(), 1u);
  CloseHandle(process);
  auto doc = nlohmann::json::parse(readFile(dir() / "machine.json"));
  ASSERT_EQ(doc["processes"].size(), 2u);
  EXPECT_EQ(doc["processes"][0]["pid"], 200);
  EXPECT_EQ(doc["locale"]["country"], "Sweden");
  EXPECT_FALSE(std::filesystem::exists(dir() / "machine.json.tmp"));

  HANDLE stubborn = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, 200);
  auto before = machine().now();
  auto hostBefore = std::chrono::system_clock::now();
  PostMessageA(windows()[0], WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(stubborn, 5000), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(TerminateProcess(stubborn, 0));
  EXPECT_EQ(WaitForSingleObject(stubborn, 5000), static_cast<DWORD>(WAIT_TIMEOUT));
  CloseHandle(stubborn);
  EXPECT_GE(machine().now() - before, std::chrono::milliseconds(10000));
  EXPECT_LT(std::chrono::system_clock::now() - hostBefore, std::chrono::milliseconds(5000));
  EXPECT_EQ(nlohmann::json::parse(readFile(dir() / "machine.json"))["processes"].size(), 2u);
}

}  // namespace
