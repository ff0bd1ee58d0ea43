// user32: messages sent to all top-level windows. The machine's scripted windows take
// no part, so a broadcast ends at once and succeeds; it is journaled.
#include <windows.h>

#include <optional>
#include <string>

#include "platform/hosted/machine/Broadcast.h"
#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Run.h"
#include "platform/hosted/machine/Text.h"

using hosted::machine;
using hosted::setLastError;

extern "C" {

LRESULT WINAPI SendMessageTimeoutW(HWND hWnd, UINT Msg, WPARAM, LPARAM lParam, UINT, UINT, PDWORD_PTR lpdwResult) {
  if (auto error = machine().faults().take("SendMessageTimeoutW")) {
    setLastError(*error);
    return 0;
  }
  // Only broadcasts are sent this way; the scripted windows have no window procedure
  // to answer a message of their own.
  if (hWnd != HWND_BROADCAST) {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  std::optional<std::string> text;
  // WM_SETTINGCHANGE names the changed area by a string in lParam (or none).
  if (Msg == WM_SETTINGCHANGE && lParam) text = hosted::wideToUtf8(reinterpret_cast<LPCWSTR>(lParam));
  hosted::recordBroadcast(Msg, text);
  if (lpdwResult) *lpdwResult = 0;
  return 1;
}

}  // extern "C"
