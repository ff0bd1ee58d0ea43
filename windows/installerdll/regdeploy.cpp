#include "windows/installerdll/regdeploy.h"

#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>
#include <utility>

#include "common/share/tstrings.h"
#include "windows/common/RunResult.h"
#include "windows/common/Logger.h"

namespace {

constexpr DWORD kPathBufferSize = 2048;
constexpr DWORD kEnvironmentBufferSize = 2048;

// A library loaded with LoadLibraryA, freed on every path.
class LoadedLibrary {
 public:
  explicit LoadedLibrary(const char* path) : module_(path ? LoadLibraryA(path) : nullptr) {}
  ~LoadedLibrary() {
    if (module_) FreeLibrary(module_);
  }
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  HMODULE get() const { return module_; }

 private:
  HMODULE module_;
};

// home + tail in a buffer of kPathBufferSize characters; false when it does not fit.
bool formPath(const char* home, const char* tail, char (&out)[kPathBufferSize]) {
  int written = std::snprintf(out, sizeof out, "%s%s", home, tail);
  return written > 0 && static_cast<size_t>(written) < sizeof out;
}

// The text of a path the library handed over, in the ANSI code page for the narrow
// file functions. A path that is not valid UTF-16, or that the code page cannot name
// exactly, converts to an empty text, so that its command fails: a best-fit look-alike
// ("C:\\Lodz" for a Polish name) could name another file, which the command would
// then copy over or delete.
std::string toAnsi(LPCWSTR text) {
  std::string out;
  tstrings::toACPExactly(std::wstring(text, text + std::wcslen(text)), out);
  return out;
}

// What a failed command leaves: false ends the list.
bool excused(const DeployCommandRecord& record) {
  if (record.continueOnError != 1) return false;
  if (record.onFailure && record.onFailure(record.source, record.destination) == 0) return false;
  return true;
}

bool succeeded(const DeployCommandRecord& record) {
  return !record.onSuccess || record.onSuccess(record.source, record.destination) != 0;
}

}  // namespace

bool processCommands(const DeployCommandList& list) {
  if (list.count < 1 || !list.commands) return true;
  DWORD count = static_cast<DWORD>(list.count);
  // The array holds kDeployCommandCapacity records, whatever the library wrote into
  // the count; reading past it would read memory that is not the list's.
  if (count > kDeployCommandCapacity) {
    ZU_LOG_STREAM(LogLevel::Error, "The command list claims " << count << " commands; only the first "
                                                              << kDeployCommandCapacity << " exist");
    count = kDeployCommandCapacity;
  }
  for (DWORD i = 0; i < count; ++i) {
    const DeployCommandRecord& record = list.commands[i];
    if (record.kind == kDeployCommandCopy && record.source && record.destination) {
      std::string source = toAnsi(record.source);
      std::string destination = toAnsi(record.destination);
      if (CopyFileA(source.c_str(), destination.c_str(), FALSE)) {
        RunResult::instance().fileCreated();
        if (!succeeded(record)) return false;
        continue;
      }
      DWORD error = GetLastError();  // before the logger makes calls of its own
      LOG_ERROR(tstrings::format("Executing COPY command fail with error code %i, srcFile %s, dstFile %s",
                                 static_cast<int>(error), source.c_str(), destination.c_str()));
      if (!excused(record)) return false;
    } else if (record.kind == kDeployCommandDelete && record.destination) {
      std::string destination = toAnsi(record.destination);
      if (DeleteFileA(destination.c_str())) {
        RunResult::instance().fileRemoved();
        if (!succeeded(record)) return false;
        continue;
      }
      DWORD error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND) {
        // Already gone is what the command asked for.
        if (!succeeded(record)) return false;
        continue;
      }
      LOG_ERROR(tstrings::format("Executing DELETE command fail with error code %i, dstFile %s",
                                 static_cast<int>(error), destination.c_str()));
      if (!excused(record)) return false;
    }
  }
  return true;
}

UINT RegisterDeploy(BOOL install, const char* home) {
  (void)install;  // this program only unregisters
  char debug[kEnvironmentBufferSize];
  if (GetEnvironmentVariableA("REGDEPLOY_INSTALL_DEBUG", debug, sizeof debug) > 0) {
    MessageBoxA(nullptr, "debug", "debug", MB_OK);
  }

  char runtimePath[kPathBufferSize];
  char deployPath[kPathBufferSize];
  bool runtimeFits = home && formPath(home, "\\bin\\msvcr100.dll", runtimePath);
  bool deployFits = home && formPath(home, "\\bin\\deploy.dll", deployPath);
  // The C runtime first, so that the deployment library finds it in its own folder.
  LoadedLibrary runtime(runtimeFits ? runtimePath : nullptr);
  LoadedLibrary deploy(deployFits ? deployPath : nullptr);
  if (!deploy.get()) return kRegisterDeployNoLibrary;

  auto unregister = reinterpret_cast<UnregisterDeployExFunction>(
      reinterpret_cast<void*>(GetProcAddress(deploy.get(), "UnregisterDeployEx")));
  if (!unregister) {
    LOG_ERROR("UnregisterDeploy not found");
    return kRegisterDeployNoEntryPoint;
  }
  LOG_INFO("UnregisterDeploy found");

  // Ours to free on every path, even should the library point the list elsewhere.
  auto records = std::make_unique<DeployCommandRecord[]>(kDeployCommandCapacity);  // zero-filled
  DeployCommandList list{0, kDeployCommandCapacity, 0, 0, records.get()};
  DeployParameterBlock parameters{sizeof(DeployParameterBlock), 4, 0, 0, 0, {0, 0, 0, 0, 0, 0}};
  if (unregister(&parameters, &list) == 0) {
    LOG_ERROR("UnregisterDeploy return false");
    return kRegisterDeployRefused;
  }
  if (!processCommands(list)) return kRegisterDeployCommandFailed;
  return kRegisterDeployOk;
}
