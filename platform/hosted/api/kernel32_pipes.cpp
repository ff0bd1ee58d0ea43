// kernel32: anonymous pipes and handle flags. ReadFile and WriteFile on pipe handles
// are in kernel32_createfile.cpp, beside those on files.
#include <windows.h>

#include <memory>

#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Pipes.h"
#include "platform/hosted/machine/Run.h"

using hosted::machine;
using hosted::setLastError;

extern "C" {

BOOL WINAPI CreatePipe(PHANDLE hReadPipe, PHANDLE hWritePipe, LPSECURITY_ATTRIBUTES lpPipeAttributes, DWORD) {
  if (!hReadPipe || !hWritePipe) {
    setLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (auto error = machine().faults().take("CreatePipe")) {
    setLastError(*error);
    return FALSE;
  }
  uint32_t error = 0;
  auto fds = hosted::createHostPipe(&error);
  if (!fds) {
    setLastError(error);
    return FALSE;
  }
  // The size asked for is a hint Windows may round; the machine's pipes all take the
  // largest buffer the host gives.
  bool inheritable = lpPipeAttributes && lpPipeAttributes->bInheritHandle;
  *hReadPipe = machine().handles().add(std::make_shared<hosted::PipeEnd>(fds->first, true, inheritable));
  *hWritePipe = machine().handles().add(std::make_shared<hosted::PipeEnd>(fds->second, false, inheritable));
  return TRUE;
}

BOOL WINAPI PeekNamedPipe(HANDLE hNamedPipe, LPVOID lpBuffer, DWORD nBufferSize, LPDWORD lpBytesRead,
                          LPDWORD lpTotalBytesAvail, LPDWORD lpBytesLeftThisMessage) {
  auto pipe = machine().handles().get<hosted::PipeEnd>(hNamedPipe);
  if (!pipe) {
    setLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!pipe->readEnd) {
    setLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  uint32_t error = 0;
  auto available = hosted::bytesWaiting(pipe->fd, &error);
  if (!available) {
    setLastError(error);
    return FALSE;
  }
  DWORD copied = 0;
  if (lpBuffer && nBufferSize > 0 && *available > 0) {
    copied = static_cast<DWORD>(hosted::peekPipe(pipe->fd, lpBuffer, std::min<size_t>(nBufferSize, *available)));
  }
  if (lpBytesRead) *lpBytesRead = copied;
  if (lpTotalBytesAvail) *lpTotalBytesAvail = static_cast<DWORD>(*available);
  // An anonymous pipe is a byte stream: there are no messages.
  if (lpBytesLeftThisMessage) *lpBytesLeftThisMessage = 0;
  return TRUE;
}

BOOL WINAPI SetHandleInformation(HANDLE hObject, DWORD dwMask, DWORD dwFlags) {
  if (auto pipe = machine().handles().get<hosted::PipeEnd>(hObject)) {
    if (dwMask & HANDLE_FLAG_INHERIT) pipe->inheritable = (dwFlags & HANDLE_FLAG_INHERIT) != 0;
    return TRUE;
  }
  // Only pipes are ever handed to a child; for other objects the flags change nothing.
  if (machine().handles().get<hosted::HandleObject>(hObject)) return TRUE;
  setLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

}  // extern "C"
