// kernel32's library loader, declared as the Windows headers declare it.
#pragma once

#include "windef.h"

#ifdef __cplusplus
extern "C" {
#endif

WINBASEAPI HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
WINBASEAPI HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName);
WINBASEAPI FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
WINBASEAPI BOOL WINAPI FreeLibrary(HMODULE hLibModule);
WINBASEAPI HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName);

#ifdef __cplusplus
}
#endif
