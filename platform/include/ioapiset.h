// kernel32's device control, declared as the Windows headers declare it.
#pragma once

#include "windef.h"
#include "winbase.h"

#ifdef __cplusplus
extern "C" {
#endif

WINBASEAPI BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                                       LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                                       LPOVERLAPPED lpOverlapped);

#ifdef __cplusplus
}
#endif
