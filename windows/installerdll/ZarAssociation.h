// The .zar archive association: archives open with the windowed launcher of the latest
// installed runtime.
//
//   .zar                          (default) "zarfile"
//   zarfile                       (default) "Executable Zar File"
//   zarfile\shell\open\command    (default) "<home>\bin\zunaw.exe" -zar "%1" %*
//   Applications\zuna.exe         (default) and IsHostApp, both ""
//   Applications\zunaw.exe        (default) and IsHostApp, both ""
//
// Nothing here throws; a failure is an INFO line in the log and a false (0) result,
// and a failure part-way leaves the keys written so far.
#pragma once

#include <windows.h>

#include <string>

// The command that opens an archive with the runtime in `home` (no trailing backslash):
// the launcher in double quotes, " -zar ", "%1" in double quotes, a blank and %*.
std::string ZarOpenCommand(const std::string& home);

// Writes .zar, zarfile and its open command for the runtime in `home` under
// HKEY_CLASSES_ROOT, then CurrentVersion = `family` on the runtime main key. False at
// the first key that cannot be created (the rest are not written) or for a null
// argument; value writes are not checked.
BOOL RegCurrentVersion(const char* home, const char* family);

// Creates `keyPath` under `root` (in the 64-bit view on an x64 system) and writes
// `text` as its default value and, when `extraValueName` is given, under that name as
// well. False when the key cannot be created or opened, or the extra value cannot be
// written.
BOOL SetZarOrZfrKeys(HKEY root, const char* keyPath, const char* text, const char* extraValueName);

// Writes all five association keys under HKEY_LOCAL_MACHINE\Software\Classes for the
// latest runtime over both registry views. With no runtime left it writes nothing,
// logs "No ZRE exists on the system" and gives 1; it gives 0 at the first key that
// cannot be written.
int RestoreZarfileAssociation();
