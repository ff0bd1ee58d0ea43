#include "windows/filesinuse/FilesInUseSystem.h"

#include <windows.h>
#include <shlobj.h>

#include <stdexcept>

#include "common/share/Errors.h"
#include "windows/common/FileUtils.h"
#include "windows/common/Logger.h"

namespace FilesInUseSystem {

namespace {

// A shell folder without trailing separators; empty on failure, which is logged
// under `label`.
std::string Folder(int csidl, const char* label, HRESULT* result) {
  char buffer[MAX_PATH] = {};
  *result = SHGetFolderPathA(nullptr, csidl, nullptr, 0 /* SHGFP_TYPE_CURRENT */, buffer);
  if (FAILED(*result)) {
    LOG_ERROR(std::string(label) + " failed with " + comErrorText(*result));
    return {};
  }
  return removeTrailingSlashes(buffer);
}

}  // namespace

std::string SystemDir() {
  HRESULT result;
  std::string dir = Folder(CSIDL_SYSTEM, "GetSystem32Dir", &result);
  if (FAILED(result)) throw std::runtime_error("SHGetFolderPath(CSIDL_SYSTEM) failed");
  return dir;
}

std::string SystemWow64Dir() {
  // The 32-bit system folder of a 64-bit system is where GetSystemWow64Directory points.
  HRESULT result;
  std::string dir = Folder(CSIDL_SYSTEMX86, "GetSystemWow64Directory", &result);
  if (FAILED(result)) throw std::runtime_error("GetSystemWow64Directory(LPTSTR lpBuffer, UINT uSize) failed");
  return dir;
}

bool IsX64OS() {
  // Only a 64-bit system has a 32-bit system folder apart from its own.
  char system[MAX_PATH] = {};
  char systemX86[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_SYSTEM, nullptr, 0, system))) return false;
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_SYSTEMX86, nullptr, 0, systemX86))) return false;
  return removeTrailingSlashes(system) != removeTrailingSlashes(systemX86);
}

std::string LongPathName(const std::string& path) {
  // Module paths and the runtime home come in their long form already.
  return path;
}

}  // namespace FilesInUseSystem
