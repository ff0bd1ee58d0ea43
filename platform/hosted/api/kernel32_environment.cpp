// kernel32: the environment variables of the run, from machine.json's `environment`.
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Run.h"
#include "platform/hosted/machine/Text.h"

using hosted::machine;
using hosted::setLastError;

extern "C" {

DWORD WINAPI GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize) {
  if (!lpName) {
    setLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (auto error = machine().faults().take("GetEnvironmentVariableA", lpName)) {
    setLastError(*error);
    return 0;
  }
  // Windows compares variable names without regard to case.
  std::string wanted = hosted::ansiToUtf8(lpName);
  for (const auto& [name, value] : machine().facts().environment) {
    if (!hosted::equalsIgnoringAsciiCase(name, wanted)) continue;
    std::string text = hosted::utf8ToAnsi(value);
    // Too small a buffer: the size needed, with its NUL, and the buffer untouched.
    if (!lpBuffer || text.size() + 1 > nSize) return static_cast<DWORD>(text.size() + 1);
    std::memcpy(lpBuffer, text.c_str(), text.size() + 1);
    if (text.empty()) setLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(text.size());
  }
  setLastError(ERROR_ENVVAR_NOT_FOUND);
  return 0;
}

}  // extern "C"
