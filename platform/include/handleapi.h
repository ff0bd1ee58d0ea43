// kernel32: handle flags, as the Windows headers declare them.
#pragma once

#include "windef.h"

#ifdef __cplusplus
extern "C" {
#endif

#define HANDLE_FLAG_INHERIT 0x00000001
#define HANDLE_FLAG_PROTECT_FROM_CLOSE 0x00000002

WINBASEAPI BOOL WINAPI SetHandleInformation(HANDLE hObject, DWORD dwMask, DWORD dwFlags);

#ifdef __cplusplus
}
#endif
