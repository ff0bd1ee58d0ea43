// Text operations the program relies on: printf-style formatting, trimming,
// splitting, case folding, numbers, and conversions between UTF-8, UTF-16 and the
// ANSI code page. Narrow strings are bytes; wide strings hold UTF-16 code units.
#pragma once

#include <string>
#include <vector>

namespace tstrings {

// printf-style formatting into a string that grows as needed. A null format throws
// ZdsError<std::invalid_argument> "Destination buffer can't be NULL".
std::string format(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// The text without its leading and trailing characters that occur in `characters`.
std::string trim(const std::string& text, const std::string& characters = " \t");

// The pieces between successive delimiters, empty pieces kept. An empty text or an
// empty delimiter gives no pieces.
std::vector<std::string> split(const std::string& text, const std::string& delimiter);

// Every byte folded by the C runtime's tolower in the current locale.
std::string toLower(const std::string& text);

std::string toString(int value);
std::string toString(unsigned value);

// Strict UTF-8 to UTF-16; invalid input throws std::range_error "bad conversion".
std::wstring fromUtf8(const std::string& text);
// UTF-16 to UTF-8; an unpaired surrogate throws std::range_error "bad conversion".
std::string toUtf8(const std::wstring& text);
// UTF-16 to the ANSI code page; characters it lacks become the default character. A
// failed conversion gives an empty string.
std::string toACP(const std::wstring& text);
std::string utf8ToACP(const std::string& text);
// UTF-16 to the ANSI code page only where the page names every character exactly: false
// when it would need a best-fit look-alike or the default character, which could name
// another file. `out` is empty then, and when the conversion fails.
bool toACPExactly(const std::wstring& text, std::string& out);
// ANSI code-page text (what the narrow Windows functions hand out) to UTF-16; never
// fails, every byte sequence has a meaning in the page.
std::wstring fromACP(const std::string& text);
// UTF-16 to ANSI code-page text for the log and messages: a character the page cannot
// hold exactly (no best-fit look-alike) is written as <U+XXXX>, which no Windows path
// can contain, so the text stays readable and unambiguous. For text the page holds
// this is toACP.
std::string toAnsiText(const std::wstring& text);

}  // namespace tstrings
