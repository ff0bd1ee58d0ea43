// kernel32's WOW64 query, declared as the Windows headers declare it. Older systems
// lack it; the program looks it up at run time.
#pragma once

#include "windef.h"

#ifdef __cplusplus
extern "C" {
#endif

WINBASEAPI BOOL WINAPI IsWow64Process(HANDLE hProcess, PBOOL Wow64Process);

#ifdef __cplusplus
}
#endif
