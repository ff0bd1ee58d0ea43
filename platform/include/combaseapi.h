// ole32's COM base functions, declared as the Windows headers declare them.
#pragma once

#include "windef.h"
#include "guiddef.h"

#ifdef __cplusplus
extern "C" {
#endif

#define WINOLEAPI HRESULT

WINOLEAPI CoCreateGuid(GUID* pguid);

#ifdef __cplusplus
}
#endif
