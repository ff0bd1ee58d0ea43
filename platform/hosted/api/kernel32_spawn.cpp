// kernel32: CreateProcessA. A program on the drives is a host program (a script with
// "#!" or an ELF binary) and runs as a real host process; see machine/Children.h.
//
// Differences from Windows: no search path (a program named without a folder is looked
// for in the current directory only), and an environment block of the caller's own is
// refused with ERROR_INVALID_PARAMETER (the child always gets the host's environment
// plus HOSTED_MACHINE).
#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/hosted/api/CommandLine.h"
#include "platform/hosted/machine/Children.h"
#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Paths.h"
#include "platform/hosted/machine/Pipes.h"
#include "platform/hosted/machine/Run.h"
#include "platform/hosted/machine/Text.h"

using hosted::machine;
using hosted::setLastError;

namespace {

namespace fs = std::filesystem;

// The host folder a child runs in: that of the given directory, or of the process's
// current directory (the machine directory when that folder is missing).
std::optional<fs::path> workingDirectory(LPCSTR requested, DWORD* error) {
  uint32_t resolveError = 0;
  if (requested) {
    auto resolved = hosted::resolvePath(requested, &resolveError, true);
    std::error_code ec;
    if (!resolved || !fs::is_directory(resolved->host, ec)) {
      *error = ERROR_DIRECTORY;
      return std::nullopt;
    }
    return resolved->host;
  }
  auto current = hosted::resolvePath(machine().facts().currentDirectory, &resolveError, true);
  std::error_code ec;
  if (current && fs::is_directory(current->host, ec)) return current->host;
  return fs::absolute(machine().root());
}

// The host descriptor a standard handle of the start-up record stands for; -1 when the
// child cannot use it (not an inheritable pipe end it could write to).
int inheritedOutput(HANDLE handle) {
  auto pipe = machine().handles().get<hosted::PipeEnd>(handle);
  return pipe && pipe->inheritable && !pipe->readEnd ? pipe->fd : -1;
}

// The program a command line names when no application name is given: its first
// argument, with ".exe" added when the name has no extension.
std::string programOf(const std::vector<std::wstring>& arguments) {
  if (arguments.empty()) return {};
  std::string name = hosted::wideToAnsi(arguments.front());
  size_t slash = name.find_last_of("\\/");
  if (name.find('.', slash == std::string::npos ? 0 : slash + 1) == std::string::npos) name += ".exe";
  return name;
}

}  // namespace

extern "C" {

BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine, LPSECURITY_ATTRIBUTES,
                           LPSECURITY_ATTRIBUTES, BOOL bInheritHandles, DWORD dwCreationFlags, LPVOID lpEnvironment,
                           LPCSTR lpCurrentDirectory, LPSTARTUPINFOA lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation) {
  if (!lpStartupInfo || !lpProcessInformation || (!lpApplicationName && !lpCommandLine)) {
    setLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::string commandLine = lpCommandLine ? lpCommandLine : "";
  const bool hidden = ((lpStartupInfo->dwFlags & STARTF_USESHOWWINDOW) && lpStartupInfo->wShowWindow == SW_HIDE) ||
                      (dwCreationFlags & CREATE_NO_WINDOW);
  auto journal = [&](DWORD result) {
    auto event = hosted::Journal::event("createProcess");
    event["application"] = lpApplicationName ? nlohmann::ordered_json(hosted::ansiToUtf8(lpApplicationName))
                                             : nlohmann::ordered_json(nullptr);
    event["commandLine"] = hosted::ansiToUtf8(commandLine);
    event["hidden"] = hidden;
    event["result"] = result;
    machine().journal().append(event);
  };
  auto fail = [&](DWORD error) {
    journal(error);
    setLastError(error);
    return FALSE;
  };

  std::vector<std::wstring> arguments = hosted::splitCommandLine(hosted::ansiToWide(commandLine));
  const std::string program = lpApplicationName ? std::string(lpApplicationName) : programOf(arguments);
  if (auto error = machine().faults().take("CreateProcessA", program)) return fail(*error);
  if (lpEnvironment) return fail(ERROR_INVALID_PARAMETER);

  uint32_t resolveError = 0;
  auto resolved = hosted::resolvePath(program, &resolveError, true);
  if (!resolved) return fail(resolveError);
  if (!resolved->exists) return fail(resolved->parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
  if (DWORD error = hosted::checkProgram(resolved->host)) return fail(error);

  hosted::ChildLaunch launch;
  launch.program = resolved->host;
  for (size_t i = 1; i < arguments.size(); ++i) launch.arguments.push_back(hosted::wideToUtf8(arguments[i]));
  DWORD directoryError = 0;
  auto directory = workingDirectory(lpCurrentDirectory, &directoryError);
  if (!directory) return fail(directoryError);
  launch.workingDirectory = *directory;
  launch.environment = hosted::hostEnvironmentWith("HOSTED_MACHINE", fs::absolute(machine().root()).string());
  // Standard handles reach the child only as Windows passes them: asked for in the
  // start-up record, inheritable, and with inheritance on.
  if ((lpStartupInfo->dwFlags & STARTF_USESTDHANDLES) && bInheritHandles) {
    launch.output = inheritedOutput(lpStartupInfo->hStdOutput);
    launch.errorOutput = inheritedOutput(lpStartupInfo->hStdError);
  }

  uint32_t startError = 0;
  auto pid = machine().children().start(launch, &startError);
  if (!pid) return fail(startError);
  lpProcessInformation->hProcess = machine().handles().add(std::make_shared<hosted::ChildProcessObject>(*pid));
  lpProcessInformation->hThread = machine().handles().add(std::make_shared<hosted::ChildThreadObject>(*pid));
  lpProcessInformation->dwProcessId = static_cast<DWORD>(*pid);
  lpProcessInformation->dwThreadId = static_cast<DWORD>(*pid) + 4;
  journal(0);
  return TRUE;
}

}  // extern "C"
