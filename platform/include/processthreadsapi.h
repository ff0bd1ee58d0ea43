// kernel32: ending processes and reading their exit codes, as the Windows headers declare them.
#pragma once

#include "windef.h"

#ifdef __cplusplus
extern "C" {
#endif

#define STILL_ACTIVE 259L

WINBASEAPI BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode);
WINBASEAPI BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode);

#ifdef __cplusplus
}
#endif
