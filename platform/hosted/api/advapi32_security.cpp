// advapi32: process tokens and privileges. The uninstaller runs elevated, so every
// privilege it asks for is granted; nothing on the machine changes.
#include <windows.h>

#include <cstring>

#include "platform/hosted/machine/Run.h"
#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Processes.h"
#include "platform/hosted/machine/Text.h"

using hosted::machine;
using hosted::setLastError;

namespace {

struct Privilege {
  const char* name;
  DWORD luid;
};

// The well-known privileges with the LUIDs Windows gives them.
constexpr Privilege kPrivileges[] = {
    {"SeCreateTokenPrivilege", 2},     {"SeAssignPrimaryTokenPrivilege", 3}, {"SeLockMemoryPrivilege", 4},
    {"SeIncreaseQuotaPrivilege", 5},   {"SeTcbPrivilege", 7},                {"SeSecurityPrivilege", 8},
    {"SeTakeOwnershipPrivilege", 9},   {"SeLoadDriverPrivilege", 10},        {"SeSystemProfilePrivilege", 11},
    {"SeSystemtimePrivilege", 12},     {"SeBackupPrivilege", 17},            {"SeRestorePrivilege", 18},
    {"SeShutdownPrivilege", 19},       {"SeDebugPrivilege", 20},             {"SeAuditPrivilege", 21},
    {"SeSystemEnvironmentPrivilege", 22}, {"SeChangeNotifyPrivilege", 23},   {"SeUndockPrivilege", 25},
    {"SeManageVolumePrivilege", 28},   {"SeImpersonatePrivilege", 29},       {"SeCreateGlobalPrivilege", 30},
    {"SeCreateSymbolicLinkPrivilege", 35},
};

}  // namespace

extern "C" {

BOOL WINAPI OpenProcessToken(HANDLE ProcessHandle, DWORD, PHANDLE TokenHandle) {
  if (auto error = machine().faults().take("OpenProcessToken")) {
    setLastError(*error);
    return FALSE;
  }
  uint32_t pid = machine().facts().pid;
  if (ProcessHandle != GetCurrentProcess()) {
    auto process = machine().handles().get<hosted::ProcessObject>(ProcessHandle);
    if (!process) {
      setLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    pid = process->pid;
  }
  *TokenHandle = machine().handles().add(std::make_shared<hosted::TokenObject>(pid));
  return TRUE;
}

BOOL WINAPI LookupPrivilegeValueA(LPCSTR lpSystemName, LPCSTR lpName, PLUID lpLuid) {
  if (lpSystemName && *lpSystemName) {
    setLastError(ERROR_INVALID_PARAMETER);  // no other computers on this network
    return FALSE;
  }
  for (const Privilege& p : kPrivileges) {
    if (lpName && hosted::equalsIgnoringAsciiCase(p.name, lpName)) {
      lpLuid->LowPart = p.luid;
      lpLuid->HighPart = 0;
      return TRUE;
    }
  }
  setLastError(ERROR_NO_SUCH_PRIVILEGE);
  return FALSE;
}

BOOL WINAPI AdjustTokenPrivileges(HANDLE TokenHandle, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES,
                                  PDWORD ReturnLength) {
  if (!machine().handles().get<hosted::TokenObject>(TokenHandle)) {
    setLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (auto error = machine().faults().take("AdjustTokenPrivileges")) {
    setLastError(*error);
    return FALSE;
  }
  if (ReturnLength) *ReturnLength = 0;
  // The function reports its outcome through the last error even when it succeeds.
  setLastError(ERROR_SUCCESS);
  return TRUE;
}

}  // extern "C"
