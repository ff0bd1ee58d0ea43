// The command-path links: the zunapath directory under the common application data
// folder ("Vantor\Zuna\zunapath") holds links to the launchers zuna.exe, zunaw.exe and
// zunaws.exe of the latest runtime, and is an entry of the machine's Path.
//
// On Vista and later the directory is a plain directory of three file symbolic links;
// on older systems it is a junction to a sibling directory (zunapath_target_<n>) that
// holds copies of the launchers. The directory and the junction target are protected:
// full access for the local system and administrators, read and execute for everyone.
//
// Nothing here catches: registry, file and security failures travel as the exceptions
// of the platform layer (std::runtime_error and its ZdsError / SysError kin), so that
// the caller reports them and skips what follows. A failed broadcast is the one
// failure that is only logged.
#pragma once

#include <string>

// The zunapath directory: the common application data folder joined with
// "Vantor\Zuna\zunapath". Throws when the folder cannot be had.
std::string GetZunapathDir();

// At uninstall: when no runtime remains, or the latest remaining one (over both
// registry views) is older than 1.8.0_20 by its full version, takes the directory out
// of Path and removes links and directory; otherwise repoints the links at the latest
// runtime. Lets through every exception of the steps below: a launcher entry that is
// missing or no link ends it with ZdsError<std::runtime_error> "Not a symlink: <path>"
// and leaves the directory; a missing Path value ends it with std::runtime_error
// "query value (Path) error: 2" before anything is removed. A full version that does
// not parse throws ZdsError<std::runtime_error> from the version parser.
void UninstallZunaZunawExecutables();

// At re-registration: rebuilds the directory (a junction, or any directory before
// Vista, is removed first), protects it, creates the links (Vista and later) or the
// junction with copies, and puts the directory first in Path. Lets every exception
// through, as UninstallZunaZunawExecutables does.
void SetUpZunapath();

// Empties the directory of its files and links the launchers to the bin directory of
// the latest runtime (GetLatestZREOrZDK32or64BitHome). When no runtime is registered
// it logs that and leaves the directory as it is. Throws what deleteFilesInDirectory
// and createSymLink throw.
void UpdateZunapathSymlinks();

// Before Vista: copies the launchers of the latest runtime into a new protected
// directory zunapath_target_<tick count> beside the zunapath directory and makes the
// zunapath directory a junction to it. Throws ZdsError<std::runtime_error> "failed to
// get homeDir for the the latest ZRE" when no runtime is registered, and the file
// utilities' errors.
void CreateZunapathJunction();

// Removes the links and the directory (plain directory), or the junction, the copies
// and the junction target (a copy or directory that cannot go now is deleted at the
// next restart). A missing directory is a WARNING, not an error. Throws "Not a
// symlink: <path>" for a launcher entry that is missing or no link, leaving it and the
// directory.
void DeleteSymlinksAndzunapathDir();

// Puts the directory in front of Path (HKLM\SYSTEM\CurrentControlSet\Control\Session
// Manager\Environment, written as REG_EXPAND_SZ) and broadcasts the change, unless an
// entry already names it (letter case ignored): then nothing is written or sent.
void AddZunapathToPath();

// Rewrites Path without the entries that name the directory (letter case ignored),
// the others kept in order, always as REG_EXPAND_SZ and always followed by a
// broadcast, even when nothing was removed.
void RemoveZunapathFromPath();

// Tells running programs that the environment changed (WM_SETTINGCHANGE,
// "Environment", to all top-level windows, 5 seconds, skipping hung ones). A failure
// is logged at ERROR and otherwise ignored.
void NotifySytemChanges();

// Sets the directory protection on `path` as its discretionary access list. Throws
// ZdsError<SysError> "ConvertStringSecurityDescriptorToSecurityDescriptor failed" or
// "SetFileSecurity failed" with the system error.
void setFilePersissions(const std::string& path);
