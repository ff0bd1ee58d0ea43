// kernel32's WOW64 queries, declared as the Windows headers declare them. Older
// systems lack them; the program looks them up at run time.
#pragma once

#include "windef.h"

#ifdef __cplusplus
extern "C" {
#endif

#define IMAGE_FILE_MACHINE_UNKNOWN 0
#define IMAGE_FILE_MACHINE_I386 0x014c
#define IMAGE_FILE_MACHINE_IA64 0x0200
#define IMAGE_FILE_MACHINE_ARM64 0xaa64
#define IMAGE_FILE_MACHINE_AMD64 0x8664

WINBASEAPI BOOL WINAPI IsWow64Process(HANDLE hProcess, PBOOL Wow64Process);
WINBASEAPI BOOL WINAPI IsWow64Process2(HANDLE hProcess, USHORT* pProcessMachine, USHORT* pNativeMachine);

#ifdef __cplusplus
}
#endif
