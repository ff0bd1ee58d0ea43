// kernel32: file mappings over the paging file, shared through MACHINE/shm.
#include <windows.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Run.h"
#include "platform/hosted/machine/SharedMemory.h"

using hosted::machine;
using hosted::setLastError;

namespace {

HANDLE fail(DWORD error) {
  setLastError(error);
  return nullptr;
}

}  // namespace

extern "C" {

// Mappings of files on the drives are not offered: the program maps the paging file only.
HANDLE WINAPI CreateFileMappingA(HANDLE hFile, LPSECURITY_ATTRIBUTES, DWORD flProtect, DWORD dwMaximumSizeHigh,
                                 DWORD dwMaximumSizeLow, LPCSTR lpName) {
  std::string name = lpName ? lpName : "";
  if (auto error = machine().faults().take("CreateFileMappingA", name)) return fail(*error);
  if (hFile != INVALID_HANDLE_VALUE) return fail(ERROR_NOT_SUPPORTED);
  DWORD protection = flProtect & 0xFF;
  if (protection != PAGE_READWRITE && protection != PAGE_READONLY) return fail(ERROR_INVALID_PARAMETER);
  uint64_t size = (static_cast<uint64_t>(dwMaximumSizeHigh) << 32) | dwMaximumSizeLow;
  bool existed = false;
  uint32_t error = 0;
  auto block = machine().sharedMemory().create(name, size, protection == PAGE_READWRITE, &existed, &error);
  if (!block) return fail(error);
  auto object = std::make_shared<hosted::MappingObject>();
  object->block = std::move(block);
  object->mayWrite = object->block->writable();
  HANDLE handle = machine().handles().add(object);
  // The caller tells a new object from an existing one by the last error alone.
  setLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

HANDLE WINAPI OpenFileMappingA(DWORD dwDesiredAccess, BOOL, LPCSTR lpName) {
  if (!lpName) return fail(ERROR_INVALID_PARAMETER);
  if (auto error = machine().faults().take("OpenFileMappingA", lpName)) return fail(*error);
  uint32_t error = 0;
  auto block = machine().sharedMemory().open(lpName, &error);
  if (!block) return fail(error);
  bool wantsWrite = (dwDesiredAccess & FILE_MAP_WRITE) != 0;
  if (wantsWrite && !block->writable()) return fail(ERROR_ACCESS_DENIED);
  auto object = std::make_shared<hosted::MappingObject>();
  object->block = std::move(block);
  object->mayRead = (dwDesiredAccess & (FILE_MAP_READ | FILE_MAP_WRITE)) != 0;
  object->mayWrite = wantsWrite;
  return machine().handles().add(object);
}

LPVOID WINAPI MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh,
                            DWORD dwFileOffsetLow, SIZE_T dwNumberOfBytesToMap) {
  auto object = machine().handles().get<hosted::MappingObject>(hFileMappingObject);
  if (!object) return fail(ERROR_INVALID_HANDLE);
  if (auto error = machine().faults().take("MapViewOfFile", object->block->name())) return fail(*error);
  bool write = (dwDesiredAccess & FILE_MAP_WRITE) != 0;
  bool read = write || (dwDesiredAccess & (FILE_MAP_READ | FILE_MAP_COPY)) != 0;
  if (!read) return fail(ERROR_INVALID_PARAMETER);
  if ((write && !object->mayWrite) || !object->mayRead) return fail(ERROR_ACCESS_DENIED);
  uint64_t offset = (static_cast<uint64_t>(dwFileOffsetHigh) << 32) | dwFileOffsetLow;
  uint32_t error = 0;
  void* view = machine().sharedMemory().map(object->block, offset, dwNumberOfBytesToMap, write, &error);
  if (!view) return fail(error);
  return view;
}

BOOL WINAPI FlushViewOfFile(LPCVOID lpBaseAddress, SIZE_T) {
  if (auto error = machine().faults().take("FlushViewOfFile")) {
    setLastError(*error);
    return FALSE;
  }
  uint32_t error = 0;
  if (!machine().sharedMemory().flush(lpBaseAddress, &error)) {
    setLastError(error);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI UnmapViewOfFile(LPCVOID lpBaseAddress) {
  if (auto error = machine().faults().take("UnmapViewOfFile")) {
    setLastError(*error);
    return FALSE;
  }
  uint32_t error = 0;
  if (!machine().sharedMemory().unmap(lpBaseAddress, &error)) {
    setLastError(error);
    return FALSE;
  }
  return TRUE;
}

}  // extern "C"
