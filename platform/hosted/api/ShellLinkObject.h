// The shell-link object that CoCreateInstance makes for CLSID_ShellLink.
#pragma once

#include <objbase.h>

namespace hosted {

// A new shell-link object asked for `riid` (IUnknown, IShellLinkA, IPersist or
// IPersistFile), holding one reference in *ppv; E_NOINTERFACE and a null *ppv for any
// other interface.
HRESULT createShellLinkObject(REFIID riid, void** ppv);

}  // namespace hosted
