// The shell-link object's interface, declared as the Windows headers declare it.
#pragma once

#include "objidl.h"
#include "fileapi.h"

typedef struct _SHITEMID {
  USHORT cb;
  BYTE abID[1];
} SHITEMID;
typedef struct _ITEMIDLIST {
  SHITEMID mkid;
} ITEMIDLIST;
typedef ITEMIDLIST* LPITEMIDLIST;
typedef const ITEMIDLIST* LPCITEMIDLIST;
typedef ITEMIDLIST* PIDLIST_ABSOLUTE;
typedef const ITEMIDLIST* PCIDLIST_ABSOLUTE;

// IShellLinkA::GetPath flags.
#define SLGP_SHORTPATH 0x1
#define SLGP_UNCPRIORITY 0x2
#define SLGP_RAWPATH 0x4

EXTERN_C const CLSID CLSID_ShellLink;
EXTERN_C const IID IID_IShellLinkA;
EXTERN_C const IID IID_IShellLinkW;

struct IShellLinkA : public IUnknown {
  STDMETHOD(GetPath)(LPSTR pszFile, int cch, WIN32_FIND_DATAA* pfd, DWORD fFlags) PURE;
  STDMETHOD(GetIDList)(PIDLIST_ABSOLUTE* ppidl) PURE;
  STDMETHOD(SetIDList)(PCIDLIST_ABSOLUTE pidl) PURE;
  STDMETHOD(GetDescription)(LPSTR pszName, int cch) PURE;
  STDMETHOD(SetDescription)(LPCSTR pszName) PURE;
  STDMETHOD(GetWorkingDirectory)(LPSTR pszDir, int cch) PURE;
  STDMETHOD(SetWorkingDirectory)(LPCSTR pszDir) PURE;
  STDMETHOD(GetArguments)(LPSTR pszArgs, int cch) PURE;
  STDMETHOD(SetArguments)(LPCSTR pszArgs) PURE;
  STDMETHOD(GetHotkey)(WORD* pwHotkey) PURE;
  STDMETHOD(SetHotkey)(WORD wHotkey) PURE;
  STDMETHOD(GetShowCmd)(int* piShowCmd) PURE;
  STDMETHOD(SetShowCmd)(int iShowCmd) PURE;
  STDMETHOD(GetIconLocation)(LPSTR pszIconPath, int cch, int* piIcon) PURE;
  STDMETHOD(SetIconLocation)(LPCSTR pszIconPath, int iIcon) PURE;
  STDMETHOD(SetRelativePath)(LPCSTR pszPathRel, DWORD dwReserved) PURE;
  STDMETHOD(Resolve)(HWND hwnd, DWORD fFlags) PURE;
  STDMETHOD(SetPath)(LPCSTR pszFile) PURE;
};

struct IShellLinkW : public IUnknown {
  STDMETHOD(GetPath)(LPWSTR pszFile, int cch, WIN32_FIND_DATAW* pfd, DWORD fFlags) PURE;
  STDMETHOD(GetIDList)(PIDLIST_ABSOLUTE* ppidl) PURE;
  STDMETHOD(SetIDList)(PCIDLIST_ABSOLUTE pidl) PURE;
  STDMETHOD(GetDescription)(LPWSTR pszName, int cch) PURE;
  STDMETHOD(SetDescription)(LPCWSTR pszName) PURE;
  STDMETHOD(GetWorkingDirectory)(LPWSTR pszDir, int cch) PURE;
  STDMETHOD(SetWorkingDirectory)(LPCWSTR pszDir) PURE;
  STDMETHOD(GetArguments)(LPWSTR pszArgs, int cch) PURE;
  STDMETHOD(SetArguments)(LPCWSTR pszArgs) PURE;
  STDMETHOD(GetHotkey)(WORD* pwHotkey) PURE;
  STDMETHOD(SetHotkey)(WORD wHotkey) PURE;
  STDMETHOD(GetShowCmd)(int* piShowCmd) PURE;
  STDMETHOD(SetShowCmd)(int iShowCmd) PURE;
  STDMETHOD(GetIconLocation)(LPWSTR pszIconPath, int cch, int* piIcon) PURE;
  STDMETHOD(SetIconLocation)(LPCWSTR pszIconPath, int iIcon) PURE;
  STDMETHOD(SetRelativePath)(LPCWSTR pszPathRel, DWORD dwReserved) PURE;
  STDMETHOD(Resolve)(HWND hwnd, DWORD fFlags) PURE;
  STDMETHOD(SetPath)(LPCWSTR pszFile) PURE;
};
