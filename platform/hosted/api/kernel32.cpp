// kernel32: the process's own facts, time, errors, text conversion and handles.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/hosted/machine/Run.h"
#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/registry/Registry.h"
#include "platform/hosted/machine/Processes.h"
#include "platform/hosted/machine/Text.h"

using hosted::machine;
using hosted::setLastError;

namespace {

// The code page a conversion function reads: the machine's ANSI page for CP_ACP (the
// OEM page is the same on the machine), the page of the user's format locale for
// CP_THREAD_ACP, a supported page named by its number, else 0.
UINT narrowCodePage(UINT codePage) {
  if (codePage == CP_ACP || codePage == CP_OEMCP) return hosted::ansiCodePage();
  if (codePage == CP_THREAD_ACP) return hosted::threadCodePage();
  return hosted::isSupportedCodePage(codePage) ? codePage : 0;
}

// Copies text and its terminating NUL into a caller's buffer of `size` characters the
// way the Get...PathA functions do: the length without NUL when it fits, else the size
// needed including the NUL and nothing written.
DWORD copyOut(const std::string& text, LPSTR buffer, DWORD size) {
  if (text.size() + 1 > size || !buffer) return static_cast<DWORD>(text.size() + 1);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}

SYSTEMTIME toSystemTime(std::chrono::system_clock::time_point when, bool local) {
  auto since = when.time_since_epoch();
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
  auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(since - seconds).count();
  std::time_t t = static_cast<std::time_t>(seconds.count());
  std::tm tm{};
  if (local) localtime_r(&t, &tm);
  else gmtime_r(&t, &tm);
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(tm.tm_year + 1900);
  st.wMonth = static_cast<WORD>(tm.tm_mon + 1);
  st.wDayOfWeek = static_cast<WORD>(tm.tm_wday);
  st.wDay = static_cast<WORD>(tm.tm_mday);
  st.wHour = static_cast<WORD>(tm.tm_hour);
  st.wMinute = static_cast<WORD>(tm.tm_min);
  st.wSecond = static_cast<WORD>(tm.tm_sec);
  st.wMilliseconds = static_cast<WORD>(millis);
  return st;
}

}  // namespace

extern "C" {

DWORD WINAPI GetLastError(VOID) { return hosted::lastError(); }
VOID WINAPI SetLastError(DWORD dwErrCode) { hosted::setLastError(dwErrCode); }

LPWSTR WINAPI GetCommandLineW(VOID) { return const_cast<LPWSTR>(machine().commandLine().c_str()); }

LPSTR WINAPI GetCommandLineA(VOID) {
  static thread_local std::string ansi;
  ansi = hosted::wideToAnsi(machine().commandLine());
  return ansi.data();
}

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  if (hModule != nullptr) {
    setLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  if (auto error = machine().faults().take("GetModuleFileNameA")) {
    setLastError(*error);
    return 0;
  }
  const std::string& image = machine().facts().image;
  if (nSize == 0) {
    setLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (image.size() + 1 > nSize) {
    // Truncated and terminated; the result is the buffer's size.
    std::memcpy(lpFilename, image.data(), nSize - 1);
    lpFilename[nSize - 1] = '\0';
    setLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  std::memcpy(lpFilename, image.c_str(), image.size() + 1);
  return static_cast<DWORD>(image.size());
}

DWORD WINAPI GetCurrentProcessId(VOID) { return machine().facts().pid; }
DWORD WINAPI GetCurrentThreadId(VOID) { return machine().mainThreadId(); }
HANDLE WINAPI GetCurrentProcess(VOID) { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }

VOID WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) { *lpSystemTime = toSystemTime(machine().now(), true); }
VOID WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime) { *lpSystemTime = toSystemTime(machine().now(), false); }

DWORD WINAPI GetTickCount(VOID) {
  auto since = machine().now().time_since_epoch();
  return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

VOID WINAPI Sleep(DWORD dwMilliseconds) {
  // While the uninstaller sleeps, the other programs handle what was posted to them.
  machine().processes().deliverPostedMessages();
  machine().advanceClock(std::chrono::milliseconds(dwMilliseconds));
}

DWORD WINAPI GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
  auto temp = machine().facts().folder("temp");
  if (!temp) {
    setLastError(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  std::string path = *temp;
  if (path.empty() || (path.back() != '\\' && path.back() != '/')) path += '\\';
  return copyOut(path, lpBuffer, nBufferLength);
}

BOOL WINAPI SetDllDirectoryA(LPCSTR) { return TRUE; }

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
  void* p = (uFlags & LMEM_ZEROINIT) ? std::calloc(1, uBytes ? uBytes : 1) : std::malloc(uBytes ? uBytes : 1);
  if (!p) setLastError(ERROR_NOT_ENOUGH_MEMORY);
  return p;
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
  std::free(hMem);
  return nullptr;
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar, LPBOOL lpUsedDefaultChar) {
  if (!lpWideCharStr || cbMultiByte < 0 || (cbMultiByte > 0 && !lpMultiByteStr)) {
    setLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t length = cchWideChar < 0 ? std::wcslen(lpWideCharStr) + 1 : static_cast<size_t>(cchWideChar);
  std::wstring_view text(lpWideCharStr, length);
  std::string out;
  bool usedDefault = false;
  if (CodePage == CP_UTF8) {
    // UTF-8 has no default character: asking for one is an error.
    if (lpDefaultChar || lpUsedDefaultChar) {
      setLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    out = hosted::wideToUtf8(text);
  } else if (UINT page = narrowCodePage(CodePage)) {
    hosted::WideConversion how;
    how.bestFit = !(dwFlags & WC_NO_BEST_FIT_CHARS);
    // The default character is one byte (or a double-byte character) of the page.
    char fallback[3] = {};
    if (lpDefaultChar) {
      std::strncpy(fallback, lpDefaultChar, 2);
      how.defaultChar = fallback;
    }
    out = hosted::wideToCodePage(text, page, how, &usedDefault);
  } else {
    setLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (lpUsedDefaultChar) *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;
  if (cbMultiByte == 0) return static_cast<int>(out.size());
  if (out.size() > static_cast<size_t>(cbMultiByte)) {
    setLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(lpMultiByteStr, out.data(), out.size());
  return static_cast<int>(out.size());
}

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
  if (!lpMultiByteStr || cchWideChar < 0 || (cchWideChar > 0 && !lpWideCharStr)) {
    setLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t length = cbMultiByte < 0 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
  std::string_view text(lpMultiByteStr, length);
  std::wstring out;
  if (CodePage == CP_UTF8) {
    if ((dwFlags & MB_ERR_INVALID_CHARS) && !hosted::isValidUtf8(text)) {
      setLastError(ERROR_NO_UNICODE_TRANSLATION);
      return 0;
    }
    out = hosted::utf8ToWide(text);
  } else if (UINT page = narrowCodePage(CodePage)) {
    out = hosted::codePageToWide(text, page);
  } else {
    setLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (cchWideChar == 0) return static_cast<int>(out.size());
  if (out.size() > static_cast<size_t>(cchWideChar)) {
    setLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::copy(out.begin(), out.end(), lpWideCharStr);
  return static_cast<int>(out.size());
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
  if (hObject == GetCurrentProcess()) return TRUE;
  if (!machine().handles().close(hObject)) {
    setLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

}  // extern "C"
