// File-system control codes and reparse tags, with the values Windows gives them.
#pragma once

#include "windef.h"
#include "ioapiset.h"

#define FSCTL_SET_REPARSE_POINT 0x000900A4
#define FSCTL_GET_REPARSE_POINT 0x000900A8
#define FSCTL_DELETE_REPARSE_POINT 0x000900AC

#define IO_REPARSE_TAG_MOUNT_POINT 0xA0000003L
#define IO_REPARSE_TAG_SYMLINK 0xA000000CL
#define MAXIMUM_REPARSE_DATA_BUFFER_SIZE (16 * 1024)
#define SYMLINK_FLAG_RELATIVE 0x00000001
