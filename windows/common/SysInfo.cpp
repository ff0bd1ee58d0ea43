#include "windows/common/SysInfo.h"

#include <windows.h>

#include <stdexcept>
#include <vector>

#include "common/share/Errors.h"
#include "windows/common/FileUtils.h"

namespace SysInfo {

std::string getTempDir() {
  std::vector<char> buffer(MAX_PATH);
  DWORD length = GetTempPathA(static_cast<DWORD>(buffer.size()), buffer.data());
  if (length > buffer.size()) {
    buffer.resize(length);
    length = GetTempPathA(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length >= buffer.size()) length = 0;
  }
  return removeTrailingSlashes(std::string(buffer.data(), length));
}

std::string getProcessModulePath() {
  std::vector<char> buffer(MAX_PATH);
  while (true) {
    DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      throw ZdsError<std::runtime_error>(std::runtime_error("GetModuleFileName(NULL) failed"), ZU_HERE);
    }
    if (length < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

std::string getProcessName() {
  try {
    return basename(getProcessModulePath());
  } catch (const std::exception&) {
    return "Unknown";
  }
}

}  // namespace SysInfo
