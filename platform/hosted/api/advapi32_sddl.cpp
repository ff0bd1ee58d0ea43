// advapi32: security descriptors from their text form.
#include <windows.h>
#include <sddl.h>

#include <cstring>

#include "platform/hosted/machine/Run.h"
#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Security.h"
#include "platform/hosted/machine/Text.h"

namespace {

BOOL convert(const std::string& text, DWORD revision, PSECURITY_DESCRIPTOR* descriptor, PULONG size) {
  if (!descriptor || revision != SDDL_REVISION_1) {
    hosted::setLastError(revision != SDDL_REVISION_1 ? ERROR_UNKNOWN_REVISION : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (auto error = hosted::machine().faults().take("ConvertStringSecurityDescriptorToSecurityDescriptor")) {
    hosted::setLastError(*error);
    return FALSE;
  }
  if (!hosted::isValidSddl(text)) {
    hosted::setLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto bytes = hosted::encodeSecurityDescriptor(text);
  void* block = LocalAlloc(LPTR, bytes.size());
  if (!block) return FALSE;
  std::memcpy(block, bytes.data(), bytes.size());
  *descriptor = block;
  if (size) *size = static_cast<ULONG>(bytes.size());
  return TRUE;
}

}  // namespace

extern "C" {

BOOL WINAPI ConvertStringSecurityDescriptorToSecurityDescriptorA(LPCSTR StringSecurityDescriptor,
                                                                 DWORD StringSDRevision,
                                                                 PSECURITY_DESCRIPTOR* SecurityDescriptor,
                                                                 PULONG SecurityDescriptorSize) {
  if (!StringSecurityDescriptor) {
    hosted::setLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return convert(hosted::ansiToUtf8(StringSecurityDescriptor), StringSDRevision, SecurityDescriptor,
                 SecurityDescriptorSize);
}

BOOL WINAPI ConvertStringSecurityDescriptorToSecurityDescriptorW(LPCWSTR StringSecurityDescriptor,
                                                                 DWORD StringSDRevision,
                                                                 PSECURITY_DESCRIPTOR* SecurityDescriptor,
                                                                 PULONG SecurityDescriptorSize) {
  if (!StringSecurityDescriptor) {
    hosted::setLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return convert(hosted::wideToUtf8(StringSecurityDescriptor), StringSDRevision, SecurityDescriptor,
                 SecurityDescriptorSize);
}

}  // extern "C"
