// ole32: entering and leaving COM, object creation and task memory.
#include <objbase.h>
#include <shobjidl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/hosted/api/ShellLinkObject.h"
#include "platform/hosted/machine/Com.h"
#include "platform/hosted/machine/Machine.h"

using hosted::ComApartment;
using hosted::machine;

// The interface and class ids the program names (uuid.lib on Windows).
extern "C" {
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IPersist = {0x0000010C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const CLSID CLSID_ShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IShellLinkA = {0x000214EE, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IShellLinkW = {0x000214F9, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
}

namespace {

// "{00021401-0000-0000-C000-000000000046}", the form fault injection names a class by.
std::string guidText(REFGUID id) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", id.Data1, id.Data2,
                id.Data3, id.Data4[0], id.Data4[1], id.Data4[2], id.Data4[3], id.Data4[4], id.Data4[5],
                id.Data4[6], id.Data4[7]);
  return text;
}

HRESULT enter(const char* function, bool multithreaded) {
  if (auto error = machine().faults().take(function)) return static_cast<HRESULT>(*error);
  switch (ComApartment::current().enter(multithreaded)) {
    case ComApartment::Entry::First: return S_OK;
    case ComApartment::Entry::Again: return S_FALSE;
    case ComApartment::Entry::ChangedMode: return RPC_E_CHANGED_MODE;
  }
  return E_UNEXPECTED;
}

}  // namespace

extern "C" {

HRESULT CoInitialize(LPVOID) { return enter("CoInitialize", false); }

HRESULT CoInitializeEx(LPVOID, DWORD dwCoInit) {
  return enter("CoInitializeEx", (dwCoInit & COINIT_APARTMENTTHREADED) == 0);
}

void CoUninitialize(void) { ComApartment::current().leave(); }

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (auto error = machine().faults().take("CoCreateInstance", guidText(rclsid))) return static_cast<HRESULT>(*error);
  if (!ComApartment::current().initialized()) return CO_E_NOTINITIALIZED;
  // The shell link is an in-process server only.
  if (!IsEqualCLSID(rclsid, CLSID_ShellLink) || !(dwClsContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
  if (pUnkOuter) return CLASS_E_NOAGGREGATION;
  return hosted::createShellLinkObject(riid, ppv);
}

LPVOID CoTaskMemAlloc(SIZE_T cb) { return std::malloc(cb ? cb : 1); }

void CoTaskMemFree(LPVOID pv) { std::free(pv); }

}  // extern "C"
