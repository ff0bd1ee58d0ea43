// advapi32's security descriptor text conversions, declared as the Windows headers
// declare them.
#pragma once

#include "windef.h"
#include "winbase.h"
#include "securitybaseapi.h"

#ifdef __cplusplus
extern "C" {
#endif

#define SDDL_REVISION_1 1
#define SDDL_REVISION SDDL_REVISION_1

WINADVAPI BOOL WINAPI ConvertStringSecurityDescriptorToSecurityDescriptorA(
    LPCSTR StringSecurityDescriptor, DWORD StringSDRevision, PSECURITY_DESCRIPTOR* SecurityDescriptor,
    PULONG SecurityDescriptorSize);
WINADVAPI BOOL WINAPI ConvertStringSecurityDescriptorToSecurityDescriptorW(
    LPCWSTR StringSecurityDescriptor, DWORD StringSDRevision, PSECURITY_DESCRIPTOR* SecurityDescriptor,
    PULONG SecurityDescriptorSize);

// The SID's text form ("S-1-5-21-..."), allocated with LocalAlloc.
WINADVAPI BOOL WINAPI ConvertSidToStringSidW(PSID Sid, LPWSTR* StringSid);

#ifdef __cplusplus
}
#endif
