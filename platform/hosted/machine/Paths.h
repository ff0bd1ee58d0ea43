// Windows paths on the hosted machine: C:\Program Files\Zuna is drives/C/Program Files/Zuna.
//
// Lookup ignores ASCII letter case, as Windows does; names that do not exist yet keep
// the case given. Both separators are accepted. A path that would leave drives/ is
// refused; links met on the way are resolved by their Windows target text, never by
// the host.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hosted {

struct ResolvedPath {
  std::filesystem::path host;  // where the path lives on the host
  std::string windows;         // the full Windows path, normalised ("C:\Dir\file"), ANSI code page
  std::string windowsUtf8;     // the same in UTF-8, with every character the path has
  bool exists = false;         // the last component exists (a link counts, not followed)
  bool parentExists = false;   // every component before the last exists as a directory
};

// Resolves a Windows path, relative ones against the process's current directory.
// Links before the last component are always followed; the last one only when
// `followLastLink` is set (opening a file follows it; deleting a link does not).
// Returns nullopt and the Windows error (ERROR_ACCESS_DENIED for a path that leaves
// drives/, ERROR_INVALID_NAME for malformed text, ERROR_PATH_NOT_FOUND for an unknown
// drive form) in *error. The text is in the ANSI code page, as the narrow ("A")
// functions take it: longer than MAX_PATH characters once converted, it fails with
// ERROR_FILENAME_EXCED_RANGE, as those functions fail in a program that has not
// declared itself aware of long paths.
std::optional<ResolvedPath> resolvePath(std::string_view windowsPath, uint32_t* error,
                                        bool followLastLink = false);

// The same for a path the program gave as wide text (the "W" functions and the C
// runtime's wide ones), which reaches the host without passing through the ANSI code
// page, so that every character of it counts; and for UTF-8 text.
std::optional<ResolvedPath> resolveWidePath(std::wstring_view windowsPath, uint32_t* error,
                                            bool followLastLink = false);
std::optional<ResolvedPath> resolveUtf8Path(std::string_view windowsPath, uint32_t* error,
                                            bool followLastLink = false);

// The full Windows path of a path text ("C:\\Dir\\file"), relative ones against the
// process's current directory, with "." and ".." folded by the text alone and links
// not looked at, as GetFullPathName gives it. nullopt and the error as resolvePath,
// the length limit included.
std::optional<std::string> fullPathName(std::string_view windowsPath, uint32_t* error);

// Creates a Windows directory and its missing parents on the machine; false on failure.
bool createDirectories(const std::string& windowsPath);

// The resolution remembers what it found on the host within a run, so that each folder
// of a path is looked at once. Whatever changes an entry of the drives calls this with
// its host path first (the resolution forgets the entry's folder and everything below
// it); without a path, everything is forgotten (a new machine, a child process that may
// have changed the drives).
void forgetResolvedPaths(const std::filesystem::path& host = {});

}  // namespace hosted
