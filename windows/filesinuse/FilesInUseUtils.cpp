#include "windows/filesinuse/FilesInUseUtils.h"

#include <windows.h>
#include <psapi.h>

#include <cstring>
#include <set>
#include <vector>

#include "common/share/ScopedHandle.h"
#include "resources/filesinuse.h"
#include "windows/filesinuse/FilesInUse.h"
#include "windows/filesinuse/WindowIterator.h"

namespace {

constexpr int kWindowTextLength = 1024;
constexpr DWORD kModuleRoom = 1024;
// The runtime's browser plug-in libraries: a program below a browser that loaded them
// goes with the browser.
constexpr const char* kPluginLibraries[] = {"npzp2.dll", "zp2iexp.dll"};

bool IsBrowserTabHost(const char* exe) { return SameName(exe, "iexplore.exe") || SameName(exe, "chrome.exe"); }

// The text of the first visible top-level window of the process, if it has one.
bool MainWindowText(DWORD processId, std::string* text) {
  CMainWindowIterator windows(processId);
  if (windows.Collect() == 0) return false;
  char buffer[kWindowTextLength] = {};
  GetWindowTextA(windows.Window(0), buffer, kWindowTextLength);
  *text = buffer;
  return true;
}

bool HasPluginLoaded(DWORD processId) {
  ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
  if (!process.valid()) return false;
  std::vector<HMODULE> modules(kModuleRoom);
  DWORD needed = 0;
  if (!EnumProcessModules(process.get(), modules.data(), kModuleRoom * sizeof(HMODULE), &needed)) return false;
  DWORD loaded = std::min<DWORD>(needed / sizeof(HMODULE), kModuleRoom);
  for (DWORD i = 0; i < loaded; ++i) {
    char path[MAX_PATH] = {};
    if (GetModuleFileNameExA(process.get(), modules[i], path, MAX_PATH) == 0) continue;
    for (const char* plugin : kPluginLibraries) {
      if (std::strstr(path, plugin)) return true;
    }
  }
  return false;
}

// A string resource in its own UTF-16, whatever the code page.
std::wstring LoadText(HINSTANCE instance, UINT id) {
  WCHAR buffer[256] = {};
  LoadStringW(instance, id, buffer, 256);
  return buffer;
}

}  // namespace

int CloseProcessWindows(DWORD processId, DWORD timeoutMs, bool destroy) {
  ScopedHandle process(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId));
  if (!process.valid()) return kCloseFailed;
  // Every top-level window of the process, not only the visible ones: hidden windows keep
  // a process alive too. They are picked while enumerating, so that however many windows
  // other programs have, none of this process's is left without its message.
  CProcessWindowIterator windows(processId);
  windows.Collect();
  for (int i = 0; i < windows.Count(); ++i) {
    if (destroy) {
      DestroyWindow(windows.Window(i));
    } else {
      PostMessageA(windows.Window(i), WM_CLOSE, 0, 0);
    }
  }
  if (WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0) return kClosedByWindows;
  TerminateProcess(process.get(), 0);
  return WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0 ? kTerminated : kCloseFailed;
}

bool ProgramListLine(const PROCESSENTRY32& process, std::string* line) {
  if (MainWindowText(process.th32ProcessID, line)) return true;
  DWORD parent = CFilesInUse::GetParentProcessId(process.th32ProcessID);
  if (IsBrowserTabHost(process.szExeFile) && parent != 0 && MainWindowText(parent, line)) return true;
  std::set<DWORD> visited{process.th32ProcessID};
  for (DWORD ancestor = parent; ancestor != 0 && visited.insert(ancestor).second;
       ancestor = CFilesInUse::GetParentProcessId(ancestor)) {
    if (HasPluginLoaded(ancestor)) return false;
  }
  *line = process.szExeFile;
  return true;
}

DWORD ClosingTarget(const PROCESSENTRY32& process, bool browsersDialog) {
  bool throughBrowser =
      IsBrowserTabHost(process.szExeFile) || (browsersDialog && SameName(process.szExeFile, "zp2launcher.exe"));
  if (!throughBrowser) return process.th32ProcessID;
  DWORD target = process.th32ProcessID;
  std::set<DWORD> visited{target};
  for (DWORD ancestor = CFilesInUse::GetParentProcessId(target);
       ancestor != 0 && (CFilesInUse::ProcessImageContains(ancestor, "iexplore.exe") ||
                         CFilesInUse::ProcessImageContains(ancestor, "chrome.exe"));
       ancestor = CFilesInUse::GetParentProcessId(ancestor)) {
    if (!visited.insert(ancestor).second) return process.th32ProcessID;
    target = ancestor;
  }
  return target;
}

std::wstring BrowserLines(HINSTANCE instance, const CFilesInUse& scan) {
  std::wstring lines;
  if (scan.browserHosted) lines += LoadText(instance, IDS_FIU_BROWSER_IE);
  if (scan.firefoxInUse) lines += LoadText(instance, IDS_FIU_BROWSER_FIREFOX);
  if (scan.safariInUse) lines += LoadText(instance, IDS_FIU_BROWSER_SAFARI);
  if (scan.chromeInUse) lines += LoadText(instance, IDS_FIU_BROWSER_CHROME);
  return lines;
}
