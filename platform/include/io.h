// The C runtime's low-level file functions, with the Microsoft runtime's flag values.
// The hosted layer interprets these values itself; they are not the host's O_* flags.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define _O_RDONLY 0x0000
#define _O_WRONLY 0x0001
#define _O_RDWR 0x0002
#define _O_APPEND 0x0008
#define _O_CREAT 0x0100
#define _O_TRUNC 0x0200
#define _O_EXCL 0x0400
#define _O_TEXT 0x4000
#define _O_BINARY 0x8000

#ifndef _S_IREAD
#define _S_IREAD 0x0100
#endif
#ifndef _S_IWRITE
#define _S_IWRITE 0x0080
#endif

int _sopen(const char* filename, int oflag, int shflag, ...);
int _write(int fd, const void* buffer, unsigned int count);
int _close(int fd);
// Attaches a CRT descriptor to a file HANDLE, which the descriptor then owns: _close
// closes it. Binary mode unless `flags` holds _O_TEXT. -1 on failure (the handle is
// then still the caller's).
int _open_osfhandle(intptr_t osfhandle, int flags);

#ifdef __cplusplus
}
#endif
