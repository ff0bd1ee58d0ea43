// advapi32: stand-ins for the registry functions until the hosted registry is part of
// the layer. They show an empty registry: every key is missing.
// Remove this file when the hosted registry lands; it defines the same functions.
#include <windows.h>

extern "C" {

LSTATUS WINAPI RegOpenKeyExA(HKEY, LPCSTR, DWORD, REGSAM, PHKEY phkResult) {
  if (phkResult) *phkResult = nullptr;
  return ERROR_FILE_NOT_FOUND;
}

LSTATUS WINAPI RegDeleteKeyExA(HKEY, LPCSTR, REGSAM, DWORD) { return ERROR_FILE_NOT_FOUND; }

LSTATUS WINAPI RegCloseKey(HKEY) { return ERROR_INVALID_HANDLE; }

}  // extern "C"
