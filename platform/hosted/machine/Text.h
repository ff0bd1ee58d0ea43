// Text helpers of the layer: ASCII case rules and the encodings Windows uses.
// Wide strings hold UTF-16 code units, one per wchar_t, on every host.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hosted {

char asciiUpper(char c);
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);
std::string asciiUpper(std::string_view text);

// UTF-8 to UTF-16 code units; invalid sequences become U+FFFD.
std::wstring utf8ToWide(std::string_view text);
// UTF-16 code units to UTF-8; unpaired surrogates become U+FFFD.
std::string wideToUtf8(std::wstring_view text);
// True when the bytes are well-formed UTF-8.
bool isValidUtf8(std::string_view text);

// The ANSI code page the narrow functions convert through: 1252 (the default), 1251 or
// one of the East Asian double-byte pages 932, 936, 949 and 950, which the host C
// library converts. The machine sets it from its facts when it is loaded.
bool isSupportedCodePage(uint64_t codePage);
std::string supportedCodePages();  // for messages: "1252, 932, ..."
// An unsupported page leaves 1252.
void setAnsiCodePage(unsigned codePage);
unsigned ansiCodePage();
// The code page of the user's format locale, which CP_THREAD_ACP names; an unsupported
// page leaves the ANSI code page. Set after setAnsiCodePage.
void setThreadCodePage(unsigned codePage);
unsigned threadCodePage();

// From the ANSI code page. In 1252 bytes without a character map to the control
// character of the same value, as MultiByteToWideChar does; in a double-byte page an
// invalid or cut-off sequence becomes U+FFFD.
std::wstring ansiToWide(std::string_view text);
// Characters the code page lacks become their best-fit look-alike where Windows' tables
// give one (a Latin letter without its mark, a full-width form as ASCII), else '?',
// which sets *usedDefault.
std::string wideToAnsi(std::wstring_view text, bool* usedDefault = nullptr);
// The same for a code page named explicitly (one isSupportedCodePage accepts).
std::wstring codePageToWide(std::string_view text, unsigned codePage);
std::string wideToCodePage(std::wstring_view text, unsigned codePage, bool* usedDefault = nullptr);
// How WideCharToMultiByte replaces a character the page lacks: best fit unless
// WC_NO_BEST_FIT_CHARS, then the caller's default character (null: '?').
struct WideConversion {
  bool bestFit = true;
  const char* defaultChar = nullptr;
};
std::string wideToCodePage(std::wstring_view text, unsigned codePage, const WideConversion& how,
                           bool* usedDefault = nullptr);
// Windows paths and names as the program passes them (ANSI) to host UTF-8 and back.
std::string ansiToUtf8(std::string_view text);
std::string utf8ToAnsi(std::string_view text);

}  // namespace hosted
