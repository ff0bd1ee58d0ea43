// The access bridge: the host library that assistive technologies load from the
// Windows system directory, and its registration as an assistive technology (the key
// HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Accessibility\ATs\Vantor_ZunaAccessBridge
// in the registry view of this program's bitness), which starts the runtime's
// bin\zabswitch.exe.
//
// Nothing here throws: failures are logged (mostly at INFO) and show only in the
// results. A library that is in use is deleted or replaced at the next restart.
#pragma once

#include <windows.h>

#include <string>

class RegistryKey;

// Removes the bridge library and its registration, then re-establishes both for the
// latest runtime of the 64-bit registry view when its version key name is 1.7.0_06 or
// greater by lstrcmpiA. 1 when it re-established them (whatever the copy and the
// registration returned), 0 when no runtime remains or it is too old.
int SetUpAccessBridge();

// Deletes the bridge library from the system directory (at the next restart when it is
// in use) and the registration key. False only when the ATs key cannot be opened; the
// results of the deletions themselves are ignored.
bool DeleteZABFilesAndKeys();

// Copies the bridge library of the runtime at `home` into the system directory,
// replacing what is there, or at the next restart through a "REN" temporary file
// beside it when it cannot be replaced now. False, with nothing copied, when the
// runtime has no bin\zabswitch.exe; true otherwise (also when the copy failed).
bool CopyZABFilesToWindowsDir(const std::string& home);

// Creates the registration key and writes its six values in order: StartExe
// (REG_EXPAND_SZ "<home>\bin\zabswitch.exe"), ApplicationName and Description
// (string resources 1021 and 1020), Profile, SimpleProfile "screenreader" and
// StartParams "-enable". 1 when all were written, 0 at the first failure.
int RegisterVantorZunaAccessBridgeKey(const std::string& home);

// Writes one text value of the registration key. On failure it closes `key`, logs
// the value name and returns 0; 1 on success.
int SetVantorZunaAccessBridgeKeyValues(RegistryKey& key, const char* name, DWORD type, const std::string& text);
