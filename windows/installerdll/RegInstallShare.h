// The version keys of installed runtimes and kits under HKEY_LOCAL_MACHINE:
//
//   SOFTWARE\Corvane\Zuna Runtime Environment          CurrentVersion, BrowserZunaVersion
//     <family> ("1.8")                                 ZunaHome, RuntimeLib, MicroVersion
//     <unique> ("1.8.0_31")                            ... and BuildNumber; subkey MSI
//   SOFTWARE\Corvane\Zuna Development Kit              the same without RuntimeLib
//
// None of these functions throws. Each failure is a false (or 0) result and an INFO
// line in the log; a missing main key, a missing version key and a value of the
// wrong type look alike to the caller.
#pragma once

#include <windows.h>

#include <string>

#include "windows/installerdll/utils.h"

// Reads ZunaHome of the runtime `version` (default view) into `home` (`homeSize`
// bytes, NUL included), without a trailing backslash. False, with `home` untouched,
// when the main key or the version key cannot be opened, or the value is not a
// string, does not fit, lacks its NUL or is not an absolute path (isAbsolutePath). `product` selects the runtime (0), the only product this program looks up.
BOOL FindZunaHome(const char* version, char* home, DWORD homeSize, int product = 0);

// The greatest subkey name of the runtime main key under lstrcmpiA (family and unique
// keys in one list; the first of equal names stays; the release being removed never
// counts), into `latest` (`latestSize` bytes). True with an empty name when the main key has no subkeys; false when
// SOFTWARE\Corvane or the main key cannot be opened.
BOOL GetLatestZunaKey(char* latest, DWORD latestSize);

// Writes the family key ("Software\Corvane\Zuna Runtime Environment\<family>") with
// ZunaHome, RuntimeLib ("<home>\bin\<vmDir>\zvm.dll") and MicroVersion. False only
// when the key cannot be created; value writes are not checked.
bool RegZREFamilyVersion(const std::string& home, const std::string& family, const std::string& micro,
                         const std::string& vmDir);
// The same for the unique version's key, adding BuildNumber "13".
bool RegZREUniqueVersion(const std::string& home, const std::string& version, const std::string& micro,
                         const std::string& vmDir);

// Deletes the family key of the runtime (only when it has no subkeys).
bool UnregZREFamilyVersion(const std::string& family);
// Deletes "<version>\MSI" and then the version key with all its subkeys; both are
// tried.
bool UnregZREUniqueVersion(const std::string& version);
// Deletes the archive association keys (each only when it has no subkeys) and the
// CurrentVersion and BrowserZunaVersion values of the runtime main key.
bool UnregZRECurrentVersion();

// The REG_SZ value `valueName` of the kit's MSI key of this release, into `out`
// (empty on failure). 1 when found, else 0.
int GetMSIKeyValue(const char* valueName, std::string& out);

// Splits "1.8.0_31" into "1", "8", "0", "31": major up to the first '.', minor up to
// the next '.', micro up to the next '_', update the rest. Missing parts are "0"
// (update ""). False only for a null version.
bool SplitVersion(const char* version, std::string& major, std::string& minor, std::string& micro,
                  std::string& update);

// Removes the registration of release `version` and brings what the runtime registered
// outside its keys (association, shortcuts, command-path links, access bridge) in line
// with the runtimes that remain. Always 0; every failure is logged. An exception is
// reported and ends the sequence where it arose, except in one of the closing steps
// (association, shortcuts, links, bridge), after which the next still runs. The
// deployment call and the deletion of the private msvcr100.dll (kept with a non-zero
// `skipFileRemoval`) come before the version key goes, so that a run ended before they
// are done finds the release's home again. Without the version key, the main key and
// the current runtime are still brought in line with what remains.
int UninstallZRE(const char* version, int skipFileRemoval);

// Deletes the keys of `version` (association, current-version values, the 1.8 family key,
// every user's key of the version, the version key) and repairs the main key. False,
// with nothing deleted, when the version is not registered.
bool UninstallZunaRegSet(const char* version);

// Deletes "<home>\bin\msvcr100.dll": 0, or 1627 when it cannot be deleted (a missing
// file included).
DWORD RemoveInstalledFiles(const char* home);

// Deletes the product keys under SOFTWARE\Corvane that have no subkeys, then Corvane
// itself when empty; once Corvane is gone, every user's Software\Corvane goes too.
void RemoveEmptyCorvaneKeys();

// Deletes, in every user hive, Software\Corvane with everything under it (`all`), or
// only its Zuna Runtime Environment and Zuna Update keys.
void RemoveUserKeys(bool all);

// Re-registers the latest runtime that remains: true when InstallZuna ran and succeeded.
// A lone family key "1.4" is deleted instead.
bool ReregisterCurrentZRE();

// Registers the runtime `version` at `home` and makes it the current one: version and
// family keys, association, shortcuts, command-path links, configured files. The
// operation is announced on the progress mailbox while it runs.
bool InstallZuna(const char* home, const char* version, int product);

// Rewrites CurrentVersion and the 1.8 family key from the version keys that remain, or
// removes the runtime main key and the users' runtime keys when none remains.
bool CanonicalizeZuna2Registry(int product);

// Deletes installer leftovers (core.zip, patchzre.exe, tools.zip) from `home`.
void CleanupTempFiles(const char* home);

// Copies the configured deployment rule set and usage-tracker configuration into place;
// a failed copy throws std::runtime_error.
void InstallDRSFile();
void InstallZUTConfigFile(const char* home, int product);
