// COM, as the Windows headers offer it.
#pragma once

#include "combaseapi.h"
#include "objidl.h"

#ifdef __cplusplus
extern "C" {
#endif

WINOLEAPI CoInitialize(LPVOID pvReserved);

#ifdef __cplusplus
}
#endif
