// What the registration steps share: the runtime's and the kit's main keys, the release
// this program removes, the lookup of the latest version that remains and the small
// helpers behind it. The steps (shortcuts, association, command path, access bridge)
// and the sequence that calls them (RegInstallShare) build on this file; it builds on
// nothing of theirs.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

class RegistryTreeKey;

inline constexpr const char* kZreMainKey = "SOFTWARE\\Corvane\\Zuna Runtime Environment";
inline constexpr const char* kZdkMainKey = "SOFTWARE\\Corvane\\Zuna Development Kit";
// The release this program removes, and its family.
inline constexpr const char* kZreRelease = "1.8.0_31";
inline constexpr const char* kZreFamily = "1.8";

// The value of a version key that holds its home.
inline constexpr const char* kZunaHomeValue = "ZunaHome";
// Longest version name the enumerations read.
inline constexpr DWORD kVersionNameSize = 1024;

// The greatest version name of `mainKey` over both views (a tie goes to the 64-bit
// view; under the runtime main key the release being removed never counts) into
// `name` (`nameSize` bytes) and its ZunaHome, without a trailing backslash, into
// `home`. 1 on success; 0 when no key can be read or the home is missing, not an
// absolute path, or does not fit in `homeSize` (then `home` is empty: never cut).
int GetLatestZREOrZDK32or64BitHome(const char* mainKey, char* name, DWORD nameSize, char* home, DWORD homeSize);

namespace utils {

// Copies `text` into `out` (`outSize` bytes), cut to fit, NUL-terminated; nothing for
// a null or empty buffer.
void copyText(const std::string& text, char* out, DWORD outSize);

// `pattern` with its one "%s" replaced by `a`, cut to 4095 characters.
std::string format(const char* pattern, const std::string& a);

// Whether a runtime key names the release being removed. Its key may outlive its
// deletion (a subkey that cannot go, a refused deletion), but the release never counts
// as a runtime that remains.
bool isRemovedRelease(const char* name);

// The greatest subkey name of an open key under lstrcmpiA; empty when it has none.
// Keys of the runtime main key (`runtimeKeys`) leave out the release being removed.
std::string greatestSubkey(RegistryTreeKey& key, bool runtimeKeys);

// The text of ZunaHome data, up to its first NUL.
std::string storedText(const std::vector<BYTE>& data);

// A stored home without one trailing backslash, when it is an absolute path; nothing
// otherwise (empty, relative, or a drive's root).
std::optional<std::string> usableHome(const std::string& stored);

}  // namespace utils
