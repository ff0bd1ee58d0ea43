// The persistence interfaces of COM objects, declared as the Windows headers declare them.
#pragma once

#include "unknwn.h"

EXTERN_C const IID IID_IPersist;
EXTERN_C const IID IID_IPersistFile;

struct IPersist : public IUnknown {
  STDMETHOD(GetClassID)(CLSID* pClassID) PURE;
};

struct IPersistFile : public IPersist {
  STDMETHOD(IsDirty)() PURE;
  STDMETHOD(Load)(LPCOLESTR pszFileName, DWORD dwMode) PURE;
  STDMETHOD(Save)(LPCOLESTR pszFileName, BOOL fRemember) PURE;
  STDMETHOD(SaveCompleted)(LPCOLESTR pszFileName) PURE;
  STDMETHOD(GetCurFile)(LPOLESTR* ppszFileName) PURE;
};
typedef IPersistFile* LPPERSISTFILE;
