// shell32: the well-known folders of the machine (machine.json "folders").
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "platform/hosted/machine/Run.h"
#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Paths.h"
#include "platform/hosted/machine/Text.h"

namespace {

// The folder for a CSIDL as this process sees it, or nullopt when the machine has none.
std::optional<std::string> folderFor(int csidl, HRESULT* result) {
  const hosted::Facts& facts = hosted::machine().facts();
  *result = E_FAIL;
  switch (csidl & ~CSIDL_FLAG_MASK) {
    case CSIDL_COMMON_APPDATA: return facts.folder("commonAppData");
    case CSIDL_SYSTEM: return facts.folder("system");
    case CSIDL_WINDOWS: return facts.folder("windows");
    case CSIDL_COMMON_PROGRAMS: return facts.folder("commonPrograms");
    case CSIDL_PROGRAM_FILES_COMMON:
      // A 32-bit process on a 64-bit system is shown the x86 folder.
      return facts.folder(facts.isWow64() ? "programFilesCommonX86" : "programFilesCommon");
    case CSIDL_PROGRAM_FILES_COMMONX86:
      return facts.folder(facts.runsX64() ? "programFilesCommonX86" : "programFilesCommon");
    case CSIDL_SYSTEMX86: return facts.folder(facts.runsX64() ? "systemWow64" : "system");
    default:
      *result = E_INVALIDARG;
      return std::nullopt;
  }
}

HRESULT getFolder(const char* function, int csidl, std::string* path) {
  if (auto error = hosted::machine().faults().take(function, std::to_string(csidl & ~CSIDL_FLAG_MASK))) {
    return static_cast<HRESULT>(*error);
  }
  HRESULT result;
  auto folder = folderFor(csidl, &result);
  if (!folder) return result;
  if (csidl & CSIDL_FLAG_CREATE) hosted::createDirectories(*folder);
  *path = *folder;
  return S_OK;
}

}  // namespace

extern "C" {

HRESULT WINAPI SHGetFolderPathA(HWND, int csidl, HANDLE, DWORD, LPSTR pszPath) {
  if (!pszPath) return E_INVALIDARG;
  std::string path;
  HRESULT hr = getFolder("SHGetFolderPathA", csidl, &path);
  if (FAILED(hr)) {
    pszPath[0] = '\0';
    return hr;
  }
  if (path.size() >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
  std::memcpy(pszPath, path.c_str(), path.size() + 1);
  return S_OK;
}

HRESULT WINAPI SHGetFolderPathW(HWND, int csidl, HANDLE, DWORD, LPWSTR pszPath) {
  if (!pszPath) return E_INVALIDARG;
  std::string path;
  HRESULT hr = getFolder("SHGetFolderPathW", csidl, &path);
  if (FAILED(hr)) {
    pszPath[0] = L'\0';
    return hr;
  }
  std::wstring wide = hosted::ansiToWide(path);
  if (wide.size() >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
  std::copy(wide.begin(), wide.end(), pszPath);
  pszPath[wide.size()] = L'\0';
  return S_OK;
}

}  // extern "C"
