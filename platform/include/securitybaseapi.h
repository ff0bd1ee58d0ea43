// advapi32's file security call, declared as the Windows headers declare it.
#pragma once

#include "windef.h"
#include "winbase.h"

#ifdef __cplusplus
extern "C" {
#endif

WINADVAPI BOOL WINAPI SetFileSecurityA(LPCSTR lpFileName, SECURITY_INFORMATION SecurityInformation,
                                       PSECURITY_DESCRIPTOR pSecurityDescriptor);

#ifdef __cplusplus
}
#endif
