// The C runtime's directory functions with wide-character paths, as the Microsoft
// runtime declares them. On the hosted machine they work on its drives.
#pragma once

#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

// The process's current directory, into `buffer` (at most `size` characters with the
// terminator); a null buffer is allocated with malloc. Null on failure (errno ERANGE
// when the buffer is too small).
wchar_t* _wgetcwd(wchar_t* buffer, int size);
// 0, or -1 with errno EEXIST (the name exists) or ENOENT (the parent does not).
int _wmkdir(const wchar_t* dirname);

#ifdef __cplusplus
}
#endif
