// kernel32: anonymous pipes, as the Windows headers declare them.
#pragma once

#include "windef.h"

#ifdef __cplusplus
extern "C" {
#endif

WINBASEAPI BOOL WINAPI CreatePipe(PHANDLE hReadPipe, PHANDLE hWritePipe, LPSECURITY_ATTRIBUTES lpPipeAttributes,
                                  DWORD nSize);
WINBASEAPI BOOL WINAPI PeekNamedPipe(HANDLE hNamedPipe, LPVOID lpBuffer, DWORD nBufferSize, LPDWORD lpBytesRead,
                                     LPDWORD lpTotalBytesAvail, LPDWORD lpBytesLeftThisMessage);

#ifdef __cplusplus
}
#endif
