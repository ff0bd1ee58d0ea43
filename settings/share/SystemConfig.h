// File paths handed to the library, the machine-wide configuration file, and the
// protected creation of a new configuration file.
#pragma once

#include <string>
#include <vector>

namespace settings_impl {

// A path as the library works on it. Only canonicalize() makes canonical ones:
// absolute, "/"-joined, without "." or "..", tested.
struct FilePath {
  std::string utf8;
  std::wstring wide;
  bool canonical = false;
};

struct SplitPath {
  std::vector<std::string> components;  // without empty and "." components
  bool absolute = false;                // starts with a drive ("C:")
};

// Splits at "\" and "/". Absolute when the text before the first separator is an ASCII
// letter and a colon. An empty text throws ExceptionCode<311>.
SplitPath splitPath(const std::string& path);

// Returns the path when it is well-formed UTF-8 (else 312), shorter than 260 bytes
// (else 310), and no component other than the drive is a reserved device name
// ("CON", "LPT1", ... matched case-sensitively) or holds a control character or one
// of <>:"|?*/\ (else 311). Codes are thrown as settings::Exception.
std::string testPathArgument(const std::string& path);

// The canonical form: relative paths are taken from the process's current directory,
// ".." removes the component before it, and the result is joined with "/"
// ("C:\a\.\b\..\c.cfg" is "C:/a/c.cfg"). Letter case is kept. Throws 311 when ".."
// would climb above the drive or nothing is left, 200 when the current directory or
// a conversion is unavailable, and the codes of testPathArgument.
FilePath canonicalize(const FilePath& path);
FilePath canonicalize(const std::string& utf8Path);

// Creates the missing directories above a canonical file path, from the top down
// (never the drive's root). Throws ExceptionCode<311> when one cannot be created and
// std::logic_error for a path that is not canonical.
void makeParentDirectories(const FilePath& path);

// Creates a new file readable by everyone and by the domain users of the current user's
// domain, and fully accessible to administrators only, and returns a binary descriptor
// of the C runtime for it; -1 on any failure (the file then is not created, or exists).
int createProtectedFile(const FilePath& path);

// The domain users group of the running user, as a SID string (S-1-5-21-...-513).
// Empty when the token or SIDs cannot be read.
std::wstring domainUsersSidString();

// "<common application data>\Vantor\Zuna\zuna.settings.cfg" in UTF-8; throws
// settings::Exception 200 when the folder cannot be found.
std::string systemConfigFilePath();

// UTF-8 to UTF-16 and back; invalid input throws settings::Exception 200.
std::wstring utf8ToWide(const std::string& text);
std::string wideToUtf8(const std::wstring& text);

}  // namespace settings_impl
