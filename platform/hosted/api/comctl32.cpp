// comctl32: the common controls are always there to be registered.
#include <windows.h>
#include <commctrl.h>

#include "platform/hosted/machine/Run.h"
#include "platform/hosted/machine/Machine.h"

extern "C" BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce) {
  if (!picce || picce->dwSize != sizeof(INITCOMMONCONTROLSEX)) return FALSE;
  if (auto error = hosted::machine().faults().take("InitCommonControlsEx")) {
    hosted::setLastError(*error);
    return FALSE;
  }
  return TRUE;
}
