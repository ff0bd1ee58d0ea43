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
