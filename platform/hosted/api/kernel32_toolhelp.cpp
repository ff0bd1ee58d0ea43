// kernel32: Tool Help snapshots of the machine's processes and of one process's
// modules. A snapshot is a copy taken when it is made; later changes do not show.
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/hosted/machine/Run.h"
#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/api/ProcessModules.h"

using hosted::machine;
using hosted::setLastError;

namespace {

// ERROR_BAD_LENGTH: a record whose dwSize is too small for the snapshot's records.
constexpr DWORD kErrorBadLength = 24;

struct ProcessSnapshot : hosted::HandleObject {
  std::vector<PROCESSENTRY32> entries;
  size_t next = 0;
};

struct ModuleSnapshot : hosted::HandleObject {
  std::vector<MODULEENTRY32> entries;
  size_t next = 0;
};

void copyName(char* out, size_t size, const std::string& text) {
  size_t n = std::min(text.size(), size - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

PROCESSENTRY32 processEntry(uint32_t pid, uint32_t ppid, const std::string& exe) {
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof(PROCESSENTRY32);
  entry.th32ProcessID = pid;
  entry.cntThreads = 1;
  entry.th32ParentProcessID = ppid;
  entry.pcPriClassBase = 8;
  copyName(entry.szExeFile, sizeof(entry.szExeFile), exe);
  return entry;
}

HANDLE processSnapshot() {
  auto snapshot = std::make_shared<ProcessSnapshot>();
  for (const hosted::HostedProcess& p : machine().processes().processes()) {
    snapshot->entries.push_back(processEntry(p.pid, p.ppid, p.exe));
  }
  const hosted::Facts& facts = machine().facts();
  std::string image = facts.image;
  snapshot->entries.push_back(processEntry(facts.pid, 0, image.substr(image.find_last_of("\\/") + 1)));
  return machine().handles().add(snapshot);
}

HANDLE moduleSnapshot(DWORD pid) {
  if (pid == 0) pid = machine().facts().pid;
  std::vector<std::string> modules;
  if (!hosted::modulesOf(pid, &modules)) return INVALID_HANDLE_VALUE;
  auto snapshot = std::make_shared<ModuleSnapshot>();
  for (size_t i = 0; i < modules.size(); ++i) {
    MODULEENTRY32 entry{};
    entry.dwSize = sizeof(MODULEENTRY32);
    entry.th32ModuleID = 1;
    entry.th32ProcessID = pid;
    entry.GlblcntUsage = 0xFFFF;
    entry.ProccntUsage = 0xFFFF;
    entry.hModule = hosted::moduleHandle(i);
    entry.modBaseAddr = reinterpret_cast<BYTE*>(entry.hModule);
    entry.modBaseSize = 0x10000;
    const std::string& path = modules[i];
    copyName(entry.szModule, sizeof(entry.szModule), path.substr(path.find_last_of("\\/") + 1));
    copyName(entry.szExePath, sizeof(entry.szExePath), path);
    snapshot->entries.push_back(entry);
  }
  return machine().handles().add(snapshot);
}

// The next record of a snapshot into the caller's record, which must announce a size
// large enough for it; ERROR_NO_MORE_FILES at the end.
template <class Snapshot, class Entry>
BOOL walk(HANDLE handle, Entry* out, bool first) {
  auto snapshot = machine().handles().get<Snapshot>(handle);
  if (!snapshot) {
    setLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!out || out->dwSize < sizeof(Entry)) {
    setLastError(kErrorBadLength);
    return FALSE;
  }
  if (first) snapshot->next = 0;
  if (snapshot->next >= snapshot->entries.size()) {
    setLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  *out = snapshot->entries[snapshot->next++];
  return TRUE;
}

}  // namespace

extern "C" {

HANDLE WINAPI CreateToolhelp32Snapshot(DWORD dwFlags, DWORD th32ProcessID) {
  if (auto error = machine().faults().take("CreateToolhelp32Snapshot", std::to_string(th32ProcessID))) {
    setLastError(*error);
    return INVALID_HANDLE_VALUE;
  }
  if (dwFlags & TH32CS_SNAPPROCESS) return processSnapshot();
  if (dwFlags & (TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32)) return moduleSnapshot(th32ProcessID);
  setLastError(ERROR_INVALID_PARAMETER);
  return INVALID_HANDLE_VALUE;
}

BOOL WINAPI Process32First(HANDLE hSnapshot, LPPROCESSENTRY32 lppe) {
  return walk<ProcessSnapshot>(hSnapshot, lppe, true);
}
BOOL WINAPI Process32Next(HANDLE hSnapshot, LPPROCESSENTRY32 lppe) {
  return walk<ProcessSnapshot>(hSnapshot, lppe, false);
}
BOOL WINAPI Module32First(HANDLE hSnapshot, LPMODULEENTRY32 lpme) {
  return walk<ModuleSnapshot>(hSnapshot, lpme, true);
}
BOOL WINAPI Module32Next(HANDLE hSnapshot, LPMODULEENTRY32 lpme) {
  return walk<ModuleSnapshot>(hSnapshot, lpme, false);
}

}  // extern "C"
