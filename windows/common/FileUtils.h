// The program's layer over the file system. Paths are narrow strings in the ANSI
// code page; both the backslash and the slash separate their parts, and a join
// always inserts a backslash.
#pragma once

#include <string>

// The path up to and including its last separator; ".\" when it has none.
std::string dirname(const std::string& path);
// The text after the last separator: empty when the path ends in one, the whole path
// when it has none. Pass a std::string: with a plain char pointer the C library's own
// basename (which knows only '/') is the better match.
std::string basename(const std::string& path);
// The path without all its trailing separators.
std::string removeTrailingSlashes(const std::string& path);
// a, a backslash and b, without doubling separators at the join; an empty side gives
// the other one unchanged.
std::string combinePath(const std::string& a, const std::string& b);
// True for a path that names the same place whatever the current drive and folder: a
// drive letter, a colon and a separator (C:\zre), or a share (\\server\share, alone
// or followed by a separator). Empty, C:zre, \zre and zre are relative.
bool isAbsolutePath(const std::string& path);

namespace FileUtils {

// Told of each change the functions below make (a file or link created or removed, an
// operation left for the next restart), so that whoever keeps the run's account does
// not have to sit below them. The run's result installs itself; until then, none is.
class ChangeObserver {
 public:
  virtual void fileCreated() = 0;
  virtual void fileRemoved() = 0;
  virtual void linkCreated() = 0;
  virtual void linkRemoved() = 0;
  // `from` is moved onto `to` at the next restart; a null `to`: it is deleted.
  virtual void scheduled(const std::string& from, const char* to) = 0;

 protected:
  ~ChangeObserver() = default;
};
// Installs the observer (null: none).
void setChangeObserver(ChangeObserver* observer);

// True when the file can be opened for reading (shared with other readers).
bool isFileReadable(const std::string& path);
// True when the path names anything: a file, a directory or a link.
bool exists(const std::string& path);
// True when the path is a junction or a symbolic link.
bool isLink(const std::string& path);

// Creates every missing level of `path`; levels that exist already, and a drive root,
// are fine. Logs at ERROR and throws std::runtime_error "FileUtils:createDirectory()
// failed" when some level is not a directory afterwards.
void createDirectory(const std::string& path);

// Creates the folder of `to`, then copies. Logs at ERROR and throws
// std::runtime_error "FileUtils:copyFile() failed" when the copy fails.
void copyFile(const std::string& from, const std::string& to, bool failIfExists);

// Delete a file / an empty directory (or a junction itself). Each logs at ERROR and
// throws std::runtime_error "DeleteFile failed" / "DeleteDirectory failed".
void deleteFile(const std::string& path);
void deleteDirectory(const std::string& path);
// The same, returning false instead of throwing.
bool tryDeleteFile(const std::string& path);
bool tryDeleteDirectory(const std::string& path);

// Deletes every file directly inside `dir`; subdirectories stay. A folder with nothing
// to list is fine; another failure to list throws ZdsError<SysError>, and a file that
// cannot be deleted ends the operation with deleteFile's error.
void deleteFilesInDirectory(const std::string& dir);

// Registers `path` for deletion at the next restart; ZdsError<SysError> on failure.
void deleteOnReboot(const std::string& path);

// Makes `link` (created if missing) a directory junction to `target`, both ANSI
// code-page text like every path here.
// Throws ZdsError<SysError> link + ": cannot open" / ": cannot set reparse point";
// a target too long for a reparse point throws ZdsError<std::runtime_error> before
// anything is created.
void createJunction(const std::string& link, const std::string& target);
// Removes a junction (not what it points at); ZdsError<std::runtime_error>
// path + ": is not a junction" when the path is no link.
void deleteJunction(const std::string& path);
// Removes a symbolic link; ZdsError<std::runtime_error> "Not a symlink: <path>" when
// the path is no link.
void deleteSymLink(const std::string& path);
// The target of a junction or symbolic link, in the ANSI code page, without the "\??\"
// prefix. Throws ZdsError<std::runtime_error> (": not a link", ": unknown reparse tag
// N", ": invalid reparse data" for a buffer whose names lie outside it, or "... is
// outside the code page" for a target the code page cannot name exactly) or
// ZdsError<SysError> (": cannot open", ": cannot get reparse point").
std::string getLinkTarget(const std::string& path);
// Creates a file symbolic link `link` -> `target` (both ANSI) through the system
// function found at run time. Throws ZdsError<std::runtime_error> "CreateSymbolicLink
// is not available" where the system lacks it, ZdsError<SysError> when it fails.
void createSymLink(const std::string& link, const std::string& target);

}  // namespace FileUtils

// Schedules `from` to be moved onto `to` (or deleted, when `to` is null) at the next
// restart, replacing what is there, after an INFO record. Returns MoveFileExA's
// result, or 0 when `from` is null. Never throws.
int MoveFileOnReboot(const char* from, const char* to);
