// kernel32: opening, reading and writing files by handle.
#include <windows.h>

#include <unistd.h>

#include <cerrno>

#include "platform/hosted/machine/Run.h"
#include "platform/hosted/machine/Files.h"
#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Pipes.h"
#include "platform/hosted/machine/Text.h"

using hosted::machine;
using hosted::setLastError;

namespace {

const void* descriptorOf(LPSECURITY_ATTRIBUTES attributes) {
  return attributes ? attributes->lpSecurityDescriptor : nullptr;
}

}  // namespace

extern "C" {

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE) {
  if (!lpFileName) {
    setLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (auto error = machine().faults().take("CreateFileA", lpFileName)) {
    setLastError(*error);
    return INVALID_HANDLE_VALUE;
  }
  return hosted::createFile(lpFileName, dwDesiredAccess, dwShareMode, descriptorOf(lpSecurityAttributes),
                            dwCreationDisposition, dwFlagsAndAttributes);
}

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE) {
  if (!lpFileName) {
    setLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string path = hosted::wideToAnsi(lpFileName);
  if (auto error = machine().faults().take("CreateFileW", path)) {
    setLastError(*error);
    return INVALID_HANDLE_VALUE;
  }
  return hosted::createFile(std::wstring(lpFileName), dwDesiredAccess, dwShareMode, descriptorOf(lpSecurityAttributes),
                            dwCreationDisposition, dwFlagsAndAttributes);
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED) {
  if (auto pipe = machine().handles().get<hosted::PipeEnd>(hFile)) {
    if (!pipe->readEnd) {
      setLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    uint32_t error = 0;
    auto n = hosted::readPipe(pipe->fd, lpBuffer, nNumberOfBytesToRead, &error);
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = n ? static_cast<DWORD>(*n) : 0;
    if (!n) setLastError(error);
    return n ? TRUE : FALSE;
  }
  auto file = machine().handles().get<hosted::FileObject>(hFile);
  if (!file) {
    setLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!(file->access & (GENERIC_READ | GENERIC_ALL))) {
    setLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  ssize_t n;
  do n = ::read(file->fd, lpBuffer, nNumberOfBytesToRead);
  while (n < 0 && errno == EINTR);
  if (n < 0) {
    setLastError(ERROR_CANTREAD);
    return FALSE;
  }
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = static_cast<DWORD>(n);
  return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED) {
  if (auto pipe = machine().handles().get<hosted::PipeEnd>(hFile)) {
    if (pipe->readEnd) {
      setLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    uint32_t error = 0;
    auto n = hosted::writePipe(pipe->fd, lpBuffer, nNumberOfBytesToWrite, &error);
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = n ? static_cast<DWORD>(*n) : 0;
    if (!n) setLastError(error);
    return n ? TRUE : FALSE;
  }
  auto file = machine().handles().get<hosted::FileObject>(hFile);
  if (!file) {
    setLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!(file->access & (GENERIC_WRITE | GENERIC_ALL))) {
    setLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (auto error = machine().faults().take("WriteFile", file->windowsPath)) {
    setLastError(*error);
    return FALSE;
  }
  DWORD done = 0;
  auto bytes = static_cast<const char*>(lpBuffer);
  while (done < nNumberOfBytesToWrite) {
    ssize_t n = ::write(file->fd, bytes + done, nNumberOfBytesToWrite - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
      setLastError(errno == ENOSPC ? ERROR_DISK_FULL : ERROR_CANTWRITE);
      return FALSE;
    }
    done += static_cast<DWORD>(n);
  }
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
  return TRUE;
}

}  // extern "C"
