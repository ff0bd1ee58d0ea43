// ole32: new GUIDs. Random (version 4, RFC 4122 variant), as CoCreateGuid makes them.
#include <windows.h>

#include <objbase.h>

#include <random>

#include "platform/hosted/machine/Machine.h"

using hosted::machine;

extern "C" {

HRESULT WINAPI CoCreateGuid(GUID* pguid) {
  if (!pguid) return E_INVALIDARG;
  if (auto error = machine().faults().take("CoCreateGuid")) {
    // An armed Win32 code arrives as its HRESULT; an HRESULT as itself.
    return static_cast<HRESULT>(*error) < 0 ? static_cast<HRESULT>(*error) : HRESULT_FROM_WIN32(*error);
  }
  std::random_device source;
  unsigned char bytes[16];
  for (unsigned char& b : bytes) b = static_cast<unsigned char>(source());
  pguid->Data1 = static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
                 static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
  pguid->Data2 = static_cast<unsigned short>(bytes[4] << 8 | bytes[5]);
  pguid->Data3 = static_cast<unsigned short>(((bytes[6] & 0x0F) | 0x40) << 8 | bytes[7]);
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
  for (int i = 0; i < 8; ++i) pguid->Data4[i] = bytes[8 + i];
  return S_OK;
}

}  // extern "C"
