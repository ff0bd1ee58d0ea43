// shell32's command-line splitting, declared as the Windows headers declare it.
#pragma once

#include "windef.h"

#ifdef __cplusplus
extern "C" {
#endif

WINSHELLAPI LPWSTR* WINAPI CommandLineToArgvW(LPCWSTR lpCmdLine, int* pNumArgs);

#ifdef __cplusplus
}
#endif
