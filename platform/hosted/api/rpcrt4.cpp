// rpcrt4: UUIDs as text.
#include <windows.h>

#include <rpc.h>

#include <cstdio>
#include <cstdlib>

#include "platform/hosted/machine/Machine.h"

using hosted::machine;

extern "C" {

// The text form "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" in lower case, without braces,
// in a buffer that RpcStringFreeA releases.
RPC_STATUS RPC_ENTRY UuidToStringA(const UUID* Uuid, RPC_CSTR* StringUuid) {
  if (!StringUuid) return RPC_S_INVALID_ARG;
  if (auto error = machine().faults().take("UuidToStringA")) return static_cast<RPC_STATUS>(*error);
  UUID nil{};
  const UUID& u = Uuid ? *Uuid : nil;  // a null UUID is the nil UUID
  constexpr size_t kLength = 36;
  auto* text = static_cast<char*>(std::malloc(kLength + 1));
  if (!text) return RPC_S_OUT_OF_MEMORY;
  std::snprintf(text, kLength + 1, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", static_cast<unsigned>(u.Data1),
                u.Data2, u.Data3, u.Data4[0], u.Data4[1], u.Data4[2], u.Data4[3], u.Data4[4], u.Data4[5], u.Data4[6],
                u.Data4[7]);
  *StringUuid = reinterpret_cast<RPC_CSTR>(text);
  return RPC_S_OK;
}

RPC_STATUS RPC_ENTRY RpcStringFreeA(RPC_CSTR* String) {
  if (!String) return RPC_S_INVALID_ARG;
  std::free(*String);
  *String = nullptr;
  return RPC_S_OK;
}

}  // extern "C"
