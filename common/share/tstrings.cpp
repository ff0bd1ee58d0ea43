#include "common/share/tstrings.h"

#include <windows.h>

#include <cctype>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "common/share/Errors.h"

namespace tstrings {

namespace {

constexpr size_t kFormatStep = 256;

[[noreturn]] void badConversion() { throw std::range_error("bad conversion"); }

}  // namespace

std::string format(const char* fmt, ...) {
  if (!fmt) {
    throw ZdsError<std::invalid_argument>(std::invalid_argument("Destination buffer can't be NULL"), ZU_HERE);
  }
  std::string buffer;
  for (size_t capacity = kFormatStep;; capacity += kFormatStep) {
    buffer.resize(capacity);
    va_list args;
    va_start(args, fmt);
    int length = std::vsnprintf(buffer.data(), capacity, fmt, args);
    va_end(args);
    if (length < 0) throw ZdsError<std::invalid_argument>(std::invalid_argument("Invalid format"), ZU_HERE);
    if (static_cast<size_t>(length) < capacity) {
      buffer.resize(static_cast<size_t>(length));
      return buffer;
    }
    // Skip the steps that cannot hold the text either.
    capacity = (static_cast<size_t>(length) / kFormatStep) * kFormatStep;
  }
}

std::string trim(const std::string& text, const std::string& characters) {
  size_t begin = text.find_first_not_of(characters);
  if (begin == std::string::npos) return std::string();
  size_t end = text.find_last_not_of(characters);
  return text.substr(begin, end - begin + 1);
}

std::vector<std::string> split(const std::string& text, const std::string& delimiter) {
  std::vector<std::string> pieces;
  if (text.empty() || delimiter.empty()) return pieces;
  size_t start = 0;
  while (true) {
    size_t at = text.find(delimiter, start);
    if (at == std::string::npos) {
      pieces.push_back(text.substr(start));
      return pieces;
    }
    pieces.push_back(text.substr(start, at - start));
    start = at + delimiter.size();
  }
}

std::string toLower(const std::string& text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string toString(int value) {
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out << value;
  return out.str();
}

std::string toString(unsigned value) {
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out << value;
  return out.str();
}

std::wstring fromUtf8(const std::string& text) {
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char b0 = byte(i);
    uint32_t cp;
    size_t length;
    uint32_t min;
    if (b0 < 0x80) {
      cp = b0, length = 1, min = 0;
    } else if ((b0 & 0xE0) == 0xC0) {
      cp = b0 & 0x1Fu, length = 2, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
      cp = b0 & 0x0Fu, length = 3, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
      cp = b0 & 0x07u, length = 4, min = 0x10000;
    } else {
      badConversion();
    }
    if (i + length > text.size()) badConversion();
    for (size_t k = 1; k < length; ++k) {
      if ((byte(i + k) & 0xC0) != 0x80) badConversion();
      cp = (cp << 6) | (byte(i + k) & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) badConversion();
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<wchar_t>(0xD800 + (cp >> 10));
      out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<wchar_t>(cp);
    }
    i += length;
  }
  return out;
}

std::string toUtf8(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = static_cast<uint32_t>(text[i]) & 0xFFFFu;
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (i + 1 >= text.size()) badConversion();
      uint32_t low = static_cast<uint32_t>(text[i + 1]) & 0xFFFFu;
      if (low < 0xDC00 || low > 0xDFFF) badConversion();
      cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
      ++i;
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      badConversion();
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::string toACP(const std::wstring& text) {
  if (text.empty()) return std::string();
  int length = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                   nullptr);
  if (length <= 0) return std::string();
  std::string out(static_cast<size_t>(length), '\0');
  if (WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), out.data(), length, nullptr,
                          nullptr) != length) {
    return std::string();
  }
  return out;
}

std::string utf8ToACP(const std::string& text) { return toACP(fromUtf8(text)); }

bool toACPExactly(const std::wstring& text, std::string& out) {
  out.clear();
  if (text.empty()) return true;
  std::vector<WCHAR> wide(text.begin(), text.end());
  int units = static_cast<int>(wide.size());
  BOOL usedDefault = FALSE;
  int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), units, nullptr, 0, nullptr, &usedDefault);
  if (size <= 0 || usedDefault) return !usedDefault;
  out.assign(static_cast<size_t>(size), '\0');
  if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), units, out.data(), size, nullptr,
                          &usedDefault) != size || usedDefault) {
    out.clear();
  }
  return !usedDefault;
}

std::wstring fromACP(const std::string& text) {
  if (text.empty()) return std::wstring();
  int length = static_cast<int>(text.size());
  int units = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  if (units <= 0) return std::wstring();
  std::vector<WCHAR> wide(static_cast<size_t>(units));
  MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), units);
  return std::wstring(wide.begin(), wide.end());
}

std::string toAnsiText(const std::wstring& text) {
  std::string out;
  char bytes[8];
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t unit = static_cast<uint32_t>(text[i]) & 0xFFFFu;
    if (unit < 0x80) {
      out += static_cast<char>(unit);
      continue;
    }
    // One character at a time, a surrogate pair together.
    WCHAR character[2] = {static_cast<WCHAR>(unit), 0};
    int units = 1;
    uint32_t low = i + 1 < text.size() ? static_cast<uint32_t>(text[i + 1]) & 0xFFFFu : 0;
    if (unit >= 0xD800 && unit <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF) {
      character[1] = static_cast<WCHAR>(low);
      units = 2;
    }
    BOOL usedDefault = FALSE;
    int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, character, units, bytes, sizeof bytes, nullptr,
                                     &usedDefault);
    if (length > 0 && !usedDefault) {
      out.append(bytes, static_cast<size_t>(length));
    } else {
      uint32_t cp = units == 2 ? 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00) : unit;
      std::snprintf(bytes, sizeof bytes, cp > 0xFFFF ? "%06X" : "%04X", static_cast<unsigned>(cp));
      out += std::string("<U+") + bytes + ">";
    }
    i += static_cast<size_t>(units - 1);
  }
  return out;
}

}  // namespace tstrings
