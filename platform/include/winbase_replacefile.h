// kernel32's ReplaceFileW, which Windows declares in winbase.h; <windows.h> brings it
// in here as there.
#pragma once

#include "windef.h"

#ifdef __cplusplus
extern "C" {
#endif

#define REPLACEFILE_WRITE_THROUGH 0x00000001
#define REPLACEFILE_IGNORE_MERGE_ERRORS 0x00000002
#define REPLACEFILE_IGNORE_ACL_ERRORS 0x00000004

#define ERROR_UNABLE_TO_REMOVE_REPLACED 1175L
#define ERROR_UNABLE_TO_MOVE_REPLACEMENT 1176L

// Puts the replacement file in the place of the replaced one, which it takes the
// security settings and attributes of; the replaced file is gone afterwards (no backup
// file is supported here: lpBackupFileName must be null).
WINBASEAPI BOOL WINAPI ReplaceFileW(LPCWSTR lpReplacedFileName, LPCWSTR lpReplacementFileName,
                                    LPCWSTR lpBackupFileName, DWORD dwReplaceFlags, LPVOID lpExclude,
                                    LPVOID lpReserved);

#ifdef __cplusplus
}
#endif
