// The C runtime's stream and status functions with wide-character paths, as the
// Microsoft runtime declares them (its tchar.h brings them in through wchar.h).
// On the hosted machine they work on its drives; streams opened in text mode store
// each line feed as CR LF and read CR LF back as a line feed, as on Windows.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <time.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

#define _S_IFMT 0xF000
#define _S_IFDIR 0x4000
#define _S_IFCHR 0x2000
#define _S_IFREG 0x8000

// The layout of the 64-bit runtime's struct _stat (_stat64i32). The host's
// <sys/stat.h> defines st_atime and its kin as macros for its own struct stat; they
// are set aside while this one is declared, and a source file that has both can
// read these three members only after undefining the macros.
#pragma push_macro("st_atime")
#pragma push_macro("st_mtime")
#pragma push_macro("st_ctime")
#undef st_atime
#undef st_mtime
#undef st_ctime
struct _stat {
  unsigned int st_dev;
  unsigned short st_ino;
  unsigned short st_mode;
  short st_nlink;
  short st_uid;
  short st_gid;
  unsigned int st_rdev;
  int32_t st_size;
  int64_t st_atime;
  int64_t st_mtime;
  int64_t st_ctime;
};
#pragma pop_macro("st_atime")
#pragma pop_macro("st_mtime")
#pragma pop_macro("st_ctime")

FILE* _wfopen(const wchar_t* filename, const wchar_t* mode);
int _wstat(const wchar_t* path, struct _stat* buffer);
int _wremove(const wchar_t* filename);

#ifdef __cplusplus
}
#endif
