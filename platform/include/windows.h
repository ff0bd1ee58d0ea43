// The Windows API as the program uses it, provided on Linux by the hosted machine.
#pragma once

#include "windef.h"
#include "winerror.h"
#include "winbase.h"
#include "winuser.h"
#include "winreg.h"
#include "processthreadsapi.h"
#include "namedpipeapi.h"
#include "handleapi.h"
#include "synchapi.h"
#include "fileapi.h"
#include "ioapiset.h"
#include "libloaderapi.h"
#include "securitybaseapi.h"
#include "sysinfoapi.h"
#include "wow64apiset.h"
#include "winbase_replacefile.h"
