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
using zutest::writeFile;

TEST(ToolhelpRecords, KeepTheLayoutOf64BitWindows) {
  EXPECT_EQ(sizeof(PROCESSENTRY32), 304u);
  EXPECT_EQ(offsetof(PROCESSENTRY32, th32ProcessID), 8u);
  EXPECT_EQ(offsetof(PROCESSENTRY32, th32DefaultHeapID), 16u);
  EXPECT_EQ(offsetof(PROCESSENTRY32, th32ParentProcessID), 32u);
  EXPECT_EQ(offsetof(PROCESSENTRY32, szExeFile), 44u);
  EXPECT_EQ(sizeof(MODULEENTRY32), 568u);
  EXPECT_EQ(offsetof(MODULEENTRY32, modBaseAddr), 24u);
  EXPECT_EQ(offsetof(MODULEENTRY32, hModule), 40u);
  EXPECT_EQ(offsetof(MODULEENTRY32, szModule), 48u);
  EXPECT_EQ(offsetof(MODULEENTRY32, szExePath), 304u);
}

class HostedProcessesTest : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }

  void SetUp() override {
    writeFile(dir() / "machine.json", R"({
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

  std::vector<nlohmann::json> journal() {
    std::vector<nlohmann::json> events;
    std::string text = readFile(dir() / "journal.jsonl");
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      events.push_back(nlohmann::json::parse(text.substr(start, end - start)));
      start = end + 1;
    }
    return events;
  }

  static std::vector<HWND> windows() {
    std::vector<HWND> all;
    EnumWindows([](HWND w, LPARAM p) -> BOOL {
      reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
      return TRUE;
    }, reinterpret_cast<LPARAM>(&all));
    return all;
  }
};

TEST_F(HostedProcessesTest, ProcessSnapshotListsTheMachinesProcessesAndTheUninstaller) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  ASSERT_NE(snapshot, INVALID_HANDLE_VALUE);
  PROCESSENTRY32 entry{};
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

  // A record that announces too small a size is refused and left as it was.
  HANDLE again = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 small{};
  small.dwSize = 8;
  EXPECT_FALSE(Process32First(again, &small));
  EXPECT_EQ(small.th32ProcessID, 0u);
  CloseHandle(again);
}

TEST_F(HostedProcessesTest, ModulesStartWithTheImageAndAreRefusedForProtectedProcesses) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 100);
  ASSERT_NE(snapshot, INVALID_HANDLE_VALUE);
  MODULEENTRY32 module{};
  module.dwSize = sizeof(module);
  ASSERT_TRUE(Module32First(snapshot, &module));
  EXPECT_STREQ(module.szExePath, "C:\\App\\app.exe");
  ASSERT_TRUE(Module32Next(snapshot, &module));
  EXPECT_STREQ(module.szModule, "zvm.dll");
  EXPECT_FALSE(Module32Next(snapshot, &module));
  CloseHandle(snapshot);

  EXPECT_EQ(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 300), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, 300), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, 999), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(HostedProcessesTest, PsapiNeedsQueryAndReadAccess) {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, 100);
  ASSERT_NE(process, nullptr);
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

  HANDLE weak = OpenProcess(SYNCHRONIZE, FALSE, 100);
  EXPECT_EQ(GetModuleFileNameExA(weak, nullptr, path, MAX_PATH), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CloseHandle(weak);
}

TEST_F(HostedProcessesTest, WindowsShowTheirProcessStyleAndTitle) {
  std::vector<HWND> all = windows();
  ASSERT_EQ(all.size(), 3u);
  DWORD pid = 0;
  EXPECT_NE(GetWindowThreadProcessId(all[2], &pid), 0u);
  EXPECT_EQ(pid, 200u);
  EXPECT_TRUE(GetWindowLongPtrA(all[0], GWL_STYLE) & WS_VISIBLE);
  EXPECT_FALSE(GetWindowLongPtrA(all[1], GWL_STYLE) & WS_VISIBLE);
  EXPECT_FALSE(IsWindowVisible(all[1]));
  char title[3] = {'x', 'x', 'x'};
  EXPECT_EQ(GetWindowTextA(all[2], title, 3), 2);
  EXPECT_STREQ(title, "St");
}

TEST_F(HostedProcessesTest, ClosingAWindowEndsItsProcessAndRewritesMachineJson) {
  HWND appWindow = windows()[0];
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, 100);
  ASSERT_TRUE(PostMessageA(appWindow, WM_CLOSE, 0, 0));
  EXPECT_EQ(WaitForSingleObject(process, 5000), WAIT_OBJECT_0);
  CloseHandle(process);

  auto events = journal();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]["event"], "postMessage");
  EXPECT_EQ(events[0]["pid"], 100);
  EXPECT_EQ(events[0]["title"], "App");
  EXPECT_EQ(events[0]["message"], 16);

  auto doc = nlohmann::json::parse(readFile(dir() / "machine.json"));
  ASSERT_EQ(doc["processes"].size(), 2u);
  EXPECT_EQ(doc["processes"][0]["pid"], 200);
  EXPECT_EQ(doc["locale"]["country"], "Sweden");
  EXPECT_FALSE(std::filesystem::exists(dir() / "machine.json.tmp"));
  EXPECT_EQ(windows().size(), 1u);
}

TEST_F(HostedProcessesTest, APostedCloseIsHandledOnlyOnceThePosterWaitsAndOnlyByTheMainWindow) {
  HWND appWindow = windows()[0];
  HWND hiddenWindow = windows()[1];
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, 100);
  // A hidden window's WM_CLOSE changes nothing.
  ASSERT_TRUE(PostMessageA(hiddenWindow, WM_CLOSE, 0, 0));
  EXPECT_EQ(WaitForSingleObject(process, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  // The main window's waits in the queue: the windows are all still there for the poster.
  ASSERT_TRUE(PostMessageA(appWindow, WM_CLOSE, 0, 0));
  EXPECT_EQ(windows().size(), 3u);
  EXPECT_EQ(WaitForSingleObject(process, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(windows().size(), 1u);
  CloseHandle(process);
}

TEST_F(HostedProcessesTest, AProcessThatIgnoresEverythingRunsOutTheWaitsOnTheMachineClock) {
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, 200);
  auto before = machine().now();
  auto hostBefore = std::chrono::system_clock::now();
  PostMessageA(windows()[2], WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(process, 5000), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(TerminateProcess(process, 0));
  EXPECT_EQ(WaitForSingleObject(process, 5000), static_cast<DWORD>(WAIT_TIMEOUT));
  CloseHandle(process);
  auto machineWaited = machine().now() - before;
  auto hostWaited = std::chrono::system_clock::now() - hostBefore;
  EXPECT_GE(machineWaited, std::chrono::milliseconds(10000));
  EXPECT_LT(hostWaited, std::chrono::milliseconds(5000));
  auto doc = nlohmann::json::parse(readFile(dir() / "machine.json"));
  EXPECT_EQ(doc["processes"].size(), 3u);
  EXPECT_EQ(journal().back()["event"], "terminateProcess");
}

TEST_F(HostedProcessesTest, TerminationNeedsTheRightAndIsJournaled) {
  HANDLE weak = OpenProcess(SYNCHRONIZE, FALSE, 100);
  EXPECT_FALSE(TerminateProcess(weak, 1));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CloseHandle(weak);

  HANDLE process = OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE, 100);
  EXPECT_TRUE(TerminateProcess(process, 7));
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(process, &code));
  EXPECT_EQ(code, 7u);
  CloseHandle(process);
  auto events = journal();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]["pid"], 100);
  EXPECT_EQ(events[0]["exitCode"], 7);
  EXPECT_EQ(OpenProcess(SYNCHRONIZE, FALSE, 100), nullptr);
}

TEST_F(HostedProcessesTest, DestroyingTheWindowOfAProcessThatIgnoresItKeepsTheProcess) {
  HWND stubborn = windows()[2];
  EXPECT_TRUE(DestroyWindow(stubborn));
  EXPECT_EQ(windows().size(), 2u);
  EXPECT_FALSE(PostMessageA(stubborn, WM_CLOSE, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, 200);
  EXPECT_NE(process, nullptr);
  CloseHandle(process);
}

class InvalidProcessesTest : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }
};

TEST_F(InvalidProcessesTest, AreADataErrorNamingTheFile) {
  const char* cases[] = {
      R"({"processes": {}})",
      R"({"processes": [ {"exe": "a.exe"} ]})",
      R"({"processes": [ {"pid": 0, "exe": "a.exe"} ]})",
      R"({"processes": [ {"pid": 5} ]})",
      R"({"processes": [ {"pid": 5, "exe": "a.exe", "onClose": "maybe"} ]})",
      R"({"processes": [ {"pid": 5, "image": "relative\\a.exe"} ]})",
      R"({"processes": [ {"pid": 5, "exe": "a.exe", "modules": ["x.dll"]} ]})",
      R"({"processes": [ {"pid": 5, "exe": "a.exe", "windows": [ {"visible": "yes"} ]} ]})",
      R"({"processes": [ {"pid": 5, "exe": "a.exe"}, {"pid": 5, "exe": "b.exe"} ]})",
  };
  for (const char* text : cases) {
    writeFile(dir() / "machine.json", text);
    try {
      load();
      ADD_FAILURE() << "accepted " << text;
    } catch (const hosted::HostFailure& failure) {
      EXPECT_EQ(failure.status, hosted::kExitDataError) << text;
      EXPECT_NE(failure.message.find("machine.json"), std::string::npos) << failure.message;
    }
  }
}

}  // namespace
