// psapi: modules of other processes, declared as the Windows headers declare them.
#pragma once

#include "windef.h"

#ifdef __cplusplus
extern "C" {
#endif

BOOL WINAPI EnumProcessModules(HANDLE hProcess, HMODULE* lphModule, DWORD cb, LPDWORD lpcbNeeded);
DWORD WINAPI GetModuleFileNameExA(HANDLE hProcess, HMODULE hModule, LPSTR lpFilename, DWORD nSize);

#ifdef __cplusplus
}
#endif
