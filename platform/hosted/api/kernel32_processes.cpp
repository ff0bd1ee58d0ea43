// kernel32: opening, waiting on and ending processes. The uninstaller itself never
// ends under its own eyes; the machine's other processes end as machine.json scripts
// them, and a wait runs out its time-out on the machine's clock. The children the
// program started are real host processes: a wait on one waits for real, and the
// machine's clock moves on by the time waited.
#include <windows.h>

#include <string>

#include "platform/hosted/machine/Run.h"
#include "platform/hosted/machine/Children.h"
#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Processes.h"
#include "platform/hosted/machine/Text.h"

using hosted::machine;
using hosted::setLastError;

namespace {

bool isOwnProcess(uint32_t pid) { return pid == machine().facts().pid; }

// The process object of a handle, GetCurrentProcess() included; null (and the last
// error set) for anything else or without the access the caller needs.
std::shared_ptr<hosted::ProcessObject> processOf(HANDLE handle, DWORD access) {
  if (handle == GetCurrentProcess()) {
    return std::make_shared<hosted::ProcessObject>(machine().facts().pid, PROCESS_ALL_ACCESS);
  }
  auto process = machine().handles().get<hosted::ProcessObject>(handle);
  if (!process) {
    setLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if ((process->access & access) != access && process->access != PROCESS_ALL_ACCESS) {
    setLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return process;
}

std::shared_ptr<hosted::ChildProcessObject> childOf(HANDLE handle) {
  return machine().handles().get<hosted::ChildProcessObject>(handle);
}

bool hasEnded(uint32_t pid) {
  return !isOwnProcess(pid) && machine().processes().exitCodeOf(pid).has_value();
}

}  // namespace

extern "C" {

HANDLE WINAPI OpenProcess(DWORD dwDesiredAccess, BOOL, DWORD dwProcessId) {
  if (auto error = machine().faults().take("OpenProcess", std::to_string(dwProcessId))) {
    setLastError(*error);
    return nullptr;
  }
  // Before Vista a process had twelve specific rights; a mask with the rights Vista added
  // (such as the newer SDKs' PROCESS_ALL_ACCESS) is refused there.
  constexpr DWORD kPreVistaProcessRights = STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0xFFF;
  if (machine().facts().osMajor < 6 && (dwDesiredAccess & ~(kPreVistaProcessRights | MAXIMUM_ALLOWED)) != 0) {
    setLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  if (!isOwnProcess(dwProcessId)) {
    const hosted::HostedProcess* process = machine().processes().find(dwProcessId);
    if (!process) {
      // Windows answers an id that names no running process this way.
      setLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    if (process->accessDenied) {
      setLastError(ERROR_ACCESS_DENIED);
      return nullptr;
    }
  }
  return machine().handles().add(std::make_shared<hosted::ProcessObject>(dwProcessId, dwDesiredAccess));
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  if (auto error = machine().faults().take("WaitForSingleObject")) {
    setLastError(*error);
    return WAIT_FAILED;
  }
  // While the uninstaller waits, the other programs handle what was posted to them.
  machine().processes().deliverPostedMessages();
  if (auto child = childOf(hHandle)) {
    std::optional<std::chrono::milliseconds> timeout;
    if (dwMilliseconds != INFINITE) timeout = std::chrono::milliseconds(dwMilliseconds);
    std::chrono::milliseconds waited{0};
    bool ended = machine().children().wait(child->pid, timeout, &waited);
    machine().advanceClock(waited);
    return ended ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
  }
  auto process = processOf(hHandle, SYNCHRONIZE);
  if (!process) return WAIT_FAILED;
  if (hasEnded(process->pid)) return WAIT_OBJECT_0;
  if (dwMilliseconds == INFINITE) {
    // Nothing on the hosted machine ends a process while the program waits for it.
    hosted::abandonRun(hosted::kExitUnavailable,
                       "the program waits forever for process " + std::to_string(process->pid));
  }
  machine().advanceClock(std::chrono::milliseconds(dwMilliseconds));
  return WAIT_TIMEOUT;
}

BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode) {
  if (auto child = childOf(hProcess)) {
    if (auto error = machine().faults().take("TerminateProcess", std::to_string(child->pid))) {
      setLastError(*error);
      return FALSE;
    }
    if (!machine().children().terminate(child->pid, uExitCode)) {
      // Windows refuses to terminate a process that has already exited.
      setLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    auto event = hosted::Journal::event("terminateProcess");
    event["pid"] = child->pid;
    event["exitCode"] = uExitCode;
    machine().journal().append(event);
    return TRUE;
  }
  auto process = processOf(hProcess, PROCESS_TERMINATE);
  if (!process) return FALSE;
  if (auto error = machine().faults().take("TerminateProcess", std::to_string(process->pid))) {
    setLastError(*error);
    return FALSE;
  }
  if (hasEnded(process->pid)) {
    setLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (isOwnProcess(process->pid)) {
    hosted::abandonRun(hosted::kExitUnavailable, "the program terminates itself");
  }
  auto event = hosted::Journal::event("terminateProcess");
  event["pid"] = process->pid;
  event["exitCode"] = uExitCode;
  machine().journal().append(event);
  const hosted::HostedProcess* target = machine().processes().find(process->pid);
  // A process scripted to survive termination is one stuck in the kernel: the call is
  // accepted and the process just does not go away.
  if (target && target->endsOnTerminate) machine().processes().end(process->pid, uExitCode);
  return TRUE;
}

BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
  if (auto child = childOf(hProcess)) {
    if (!lpExitCode) {
      setLastError(ERROR_NOACCESS);
      return FALSE;
    }
    auto code = machine().children().exitCode(child->pid);
    *lpExitCode = code ? *code : STILL_ACTIVE;
    return TRUE;
  }
  auto process = processOf(hProcess, PROCESS_QUERY_INFORMATION);
  if (!process) process = processOf(hProcess, PROCESS_QUERY_LIMITED_INFORMATION);
  if (!process) return FALSE;
  if (!lpExitCode) {
    setLastError(ERROR_NOACCESS);
    return FALSE;
  }
  auto code = isOwnProcess(process->pid) ? std::nullopt : machine().processes().exitCodeOf(process->pid);
  *lpExitCode = code ? *code : STILL_ACTIVE;
  return TRUE;
}

}  // extern "C"
