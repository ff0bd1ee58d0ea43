// kernel32: temporary file names.
#include <windows.h>

#include <chrono>
#include <cstring>
#include <string>

#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Run.h"
#include "platform/hosted/machine/TempFiles.h"

using hosted::machine;
using hosted::setLastError;

extern "C" {

UINT WINAPI GetTempFileNameA(LPCSTR lpPathName, LPCSTR lpPrefixString, UINT uUnique, LPSTR lpTempFileName) {
  if (!lpPathName || !lpTempFileName) {
    setLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (std::strlen(lpPathName) > MAX_PATH - 14) {
    setLastError(ERROR_BUFFER_OVERFLOW);
    return 0;
  }
  if (auto error = machine().faults().take("GetTempFileNameA", lpPathName)) {
    setLastError(*error);
    return 0;
  }
  std::string prefix = lpPrefixString ? lpPrefixString : "";
  std::string name;
  UINT result = uUnique & 0xFFFFu;
  if (uUnique != 0) {
    // A given number only forms the name; nothing is created or checked.
    name = hosted::tempFileName(lpPathName, prefix, uUnique);
    result = uUnique;
  } else {
    // Windows starts from the system time and counts up past names that exist.
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(machine().now().time_since_epoch()).count();
    uint32_t error = 0;
    result = hosted::createTempFile(lpPathName, prefix, static_cast<uint32_t>(ms), &name, &error);
    if (result == 0) {
      setLastError(error);
      return 0;
    }
  }
  // The length test above keeps the whole name within MAX_PATH characters.
  std::memcpy(lpTempFileName, name.c_str(), name.size() + 1);
  return result;
}

}  // extern "C"
