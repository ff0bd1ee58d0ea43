// GUIDs and their comparisons, declared as the Windows headers declare them.
#pragma once

#include "windef.h"

#ifndef EXTERN_C
#ifdef __cplusplus
#define EXTERN_C extern "C"
#else
#define EXTERN_C extern
#endif
#endif

#ifndef GUID_DEFINED
#define GUID_DEFINED
typedef struct _GUID {
  DWORD Data1;  // unsigned long on Windows: 32 bits there, so DWORD here
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
} GUID;
#endif

typedef GUID IID;
typedef GUID CLSID;
typedef IID* LPIID;
typedef CLSID* LPCLSID;
typedef GUID* LPGUID;

#ifdef __cplusplus
#define REFGUID const GUID&
#define REFIID const IID&
#define REFCLSID const IID&

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
  const BYTE* x = reinterpret_cast<const BYTE*>(&a);
  const BYTE* y = reinterpret_cast<const BYTE*>(&b);
  for (unsigned i = 0; i < sizeof(GUID); ++i) {
    if (x[i] != y[i]) return false;
  }
  return true;
}
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }
#define IsEqualIID(a, b) IsEqualGUID(a, b)
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)
#endif
