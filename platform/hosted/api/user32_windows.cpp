// user32: the top-level windows of the machine's other processes. Closing or
// destroying one acts as its process's onClose says; every action is journaled.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/hosted/machine/Run.h"
#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Text.h"

using hosted::machine;
using hosted::setLastError;

namespace {

// ERROR_INVALID_INDEX: a window field the window does not have.
constexpr DWORD kErrorInvalidIndex = 1413;

// The window and its process, or nullopt with ERROR_INVALID_WINDOW_HANDLE.
std::optional<hosted::ProcessTable::WindowRef> windowOf(HWND hWnd) {
  auto ref = machine().processes().findWindow(hWnd);
  if (!ref) setLastError(ERROR_INVALID_WINDOW_HANDLE);
  return ref;
}

LONG_PTR styleOf(const hosted::HostedWindow& window) {
  return WS_OVERLAPPEDWINDOW | (window.visible ? WS_VISIBLE : 0);
}

LONG_PTR windowLong(HWND hWnd, int nIndex) {
  auto ref = windowOf(hWnd);
  if (!ref) return 0;
  switch (nIndex) {
    case GWL_STYLE: return styleOf(*ref->window);
    case GWL_EXSTYLE: return 0;
    default:
      setLastError(kErrorInvalidIndex);
      return 0;
  }
}

nlohmann::ordered_json windowEvent(const char* name, const hosted::ProcessTable::WindowRef& ref) {
  auto event = hosted::Journal::event(name);
  event["pid"] = ref.process->pid;
  event["title"] = hosted::ansiToUtf8(ref.window->title);
  return event;
}

// A process that ends when asked to close ends with exit code 0, as one that closes
// its last window and returns from its message loop.
bool isMainWindow(const hosted::ProcessTable::WindowRef& ref) {
  return hosted::ProcessTable::mainWindow(*ref.process) == ref.window;
}

}  // namespace

extern "C" {

BOOL WINAPI EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam) {
  if (auto error = machine().faults().take("EnumWindows")) {
    setLastError(*error);
    return FALSE;
  }
  // The callback may close windows and end processes; walk the windows as they were.
  for (HWND handle : machine().processes().windowHandles()) {
    if (!machine().processes().findWindow(handle)) continue;
    if (!lpEnumFunc(handle, lParam)) return FALSE;
  }
  return TRUE;
}

DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
  auto ref = windowOf(hWnd);
  if (!ref) return 0;
  if (lpdwProcessId) *lpdwProcessId = ref->process->pid;
  // Each hosted process has one thread, whose id follows its process id.
  return ref->process->pid + 4;
}

LONG WINAPI GetWindowLongA(HWND hWnd, int nIndex) { return static_cast<LONG>(windowLong(hWnd, nIndex)); }

LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex) { return windowLong(hWnd, nIndex); }

BOOL WINAPI IsWindowVisible(HWND hWnd) {
  auto ref = machine().processes().findWindow(hWnd);
  return ref && ref->window->visible ? TRUE : FALSE;
}

int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
  if (lpString && nMaxCount > 0) lpString[0] = '\0';
  auto ref = windowOf(hWnd);
  if (!ref || !lpString || nMaxCount <= 0) return 0;
  const std::string& title = ref->window->title;
  size_t n = std::min(title.size(), static_cast<size_t>(nMaxCount - 1));
  std::memcpy(lpString, title.data(), n);
  lpString[n] = '\0';
  return static_cast<int>(n);
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM, LPARAM) {
  if (auto error = machine().faults().take("PostMessageA")) {
    setLastError(*error);
    return FALSE;
  }
  auto ref = windowOf(hWnd);
  if (!ref) return FALSE;
  auto event = windowEvent("postMessage", *ref);
  event["message"] = Msg;
  machine().journal().append(event);
  // The message waits in the target's queue; the target handles it on its own thread,
  // after the poster goes on. Only the main window's WM_CLOSE ends a program.
  if (Msg == WM_CLOSE && isMainWindow(*ref)) machine().processes().postClose(ref->process->pid);
  return TRUE;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
  if (auto error = machine().faults().take("DestroyWindow")) {
    setLastError(*error);
    return FALSE;
  }
  auto ref = windowOf(hWnd);
  if (!ref) return FALSE;
  machine().journal().append(windowEvent("destroyWindow", *ref));
  if (ref->process->endsOnClose && isMainWindow(*ref)) {
    machine().processes().end(ref->process->pid, 0);
  } else {
    machine().processes().removeWindow(hWnd);
  }
  return TRUE;
}

}  // extern "C"
