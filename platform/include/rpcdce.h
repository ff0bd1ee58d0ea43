// rpcrt4's UUID functions, declared as the Windows headers declare them.
#pragma once

#include "windef.h"
#include "guiddef.h"

#ifdef __cplusplus
extern "C" {
#endif

#define RPC_ENTRY
#define RPCRTAPI

typedef LONG RPC_STATUS;
typedef unsigned char* RPC_CSTR;
typedef GUID UUID;

#define RPC_S_OK 0L
#define RPC_S_OUT_OF_MEMORY 14L
#define RPC_S_INVALID_ARG 87L

RPCRTAPI RPC_STATUS RPC_ENTRY UuidToStringA(const UUID* Uuid, RPC_CSTR* StringUuid);
RPCRTAPI RPC_STATUS RPC_ENTRY RpcStringFreeA(RPC_CSTR* String);

#ifdef __cplusplus
}
#endif
