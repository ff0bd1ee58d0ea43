#include "platform/hosted/machine/Text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include <cerrno>

#include <iconv.h>

namespace hosted {

namespace {

unsigned currentCodePage = 1252;
unsigned currentThreadCodePage = 1252;

// The host C library's converter names of the East Asian code pages Windows uses.
const char* iconvName(unsigned codePage) {
  switch (codePage) {
    case 1251: return "CP1251";
    case 932: return "CP932";
    case 936: return "CP936";
    case 949: return "CP949";
    case 950: return "CP950";
    default: return nullptr;
  }
}

// Owns one host converter.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts `in`; where a sequence cannot be converted, `skip` says how many bytes it
  // spans and `replacement` stands for it in the output.
  template <typename Skip>
  std::string convert(std::string_view in, std::string_view replacement, Skip skip, bool* replaced) {
    std::string out;
    std::string chunk(4 * in.size() + 16, '\0');
    size_t at = 0;
    while (at < in.size()) {
      char* src = const_cast<char*>(in.data() + at);
      size_t srcLeft = in.size() - at;
      char* dst = chunk.data();
      size_t dstLeft = chunk.size();
      size_t result = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      out.append(chunk.data(), static_cast<size_t>(dst - chunk.data()));
      at = static_cast<size_t>(src - in.data());
      if (result != static_cast<size_t>(-1)) break;
      if (errno == E2BIG) continue;
      // An invalid or cut-off sequence: stands for one character, then go on after it.
      out += replacement;
      if (replaced) *replaced = true;
      at += std::max<size_t>(1, std::min(skip(in, at), in.size() - at));
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  iconv_t cd_;
};

size_t utf8SequenceLength(std::string_view text, size_t at) {
  unsigned char lead = static_cast<unsigned char>(text[at]);
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

// Windows-1252 0x80-0x9F; 0 marks the five bytes without a character.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The best-fit look-alikes Windows' tables give for Latin letters a single-byte page
// lacks: the letter without its mark. Index is the code point minus the table's first;
// a space marks a character with none.
constexpr std::string_view kLatin1BaseLetters =  // U+00C0..U+00FF
    "AAAAAA CEEEEIIIIDNOOOOO OUUUUY  "
    "aaaaaa ceeeeiiii nooooo ouuuuy y";
constexpr std::string_view kLatinExtendedABaseLetters =  // U+0100..U+017F
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGg"
    "GgGgHhHhIiIiIiIiIi  JjKk LlLlLlL"
    "lLlNnNnNn   OoOoOo  RrRrRrSsSsSs"
    "SsTtTtTtUuUuUuUuUuUuWwYy ZzZz   ";

// The best-fit byte for a character `codePage` lacks, or -1. Beside the letters
// above, the full-width forms of ASCII (U+FF01..U+FF5E) fit their ASCII character.
int bestFit(uint32_t unit, unsigned codePage) {
  if (unit >= 0xFF01 && unit <= 0xFF5E) return static_cast<int>(unit - 0xFF00 + 0x20);
  char base = ' ';
  if (codePage == 1251 && unit >= 0xC0 && unit <= 0xFF) base = kLatin1BaseLetters[unit - 0xC0];
  if (unit >= 0x100 && unit < 0x100 + kLatinExtendedABaseLetters.size()) base = kLatinExtendedABaseLetters[unit - 0x100];
  // The dotless i has no look-alike in the Cyrillic page.
  if (codePage == 1251 && unit == 0x131) base = ' ';
  return base == ' ' ? -1 : base;
}

// Decodes one UTF-8 sequence at text[i]; returns the code point or -1, advancing i.
int32_t decodeUtf8(std::string_view text, size_t& i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char b0 = byte(i);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int length;
  int32_t cp;
  int32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    length = 2, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    length = 3, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    length = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    ++i;
    return -1;
  }
  if (i + length > text.size()) {
    ++i;
    return -1;
  }
  for (int k = 1; k < length; ++k) {
    unsigned char b = byte(i + k);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return -1;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  i += length;
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
  return cp;
}

void appendUtf8(std::string& out, uint32_t cp) {
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

}  // namespace

char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string asciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = asciiUpper(c);
  return out;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (asciiUpper(a[i]) != asciiUpper(b[i])) return false;
  }
  return true;
}

std::wstring utf8ToWide(std::string_view text) {
  std::wstring out;
  for (size_t i = 0; i < text.size();) {
    int32_t cp = decodeUtf8(text, i);
    if (cp < 0) cp = 0xFFFD;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<wchar_t>(0xD800 + (cp >> 10));
      out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<wchar_t>(cp);
    }
  }
  return out;
}

std::string wideToUtf8(std::wstring_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t unit = static_cast<uint32_t>(text[i]) & 0xFFFF;
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size()) {
      uint32_t next = static_cast<uint32_t>(text[i + 1]) & 0xFFFF;
      if (next >= 0xDC00 && next <= 0xDFFF) {
        appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
        ++i;
        continue;
      }
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) unit = 0xFFFD;
    appendUtf8(out, unit);
  }
  return out;
}

bool isValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    // Runs of ASCII, which is nearly all of a registry file, 32 and eight bytes at a time.
    if (i + 32 <= text.size()) {
      uint64_t blocks[4];
      std::memcpy(blocks, text.data() + i, sizeof blocks);
      if (((blocks[0] | blocks[1] | blocks[2] | blocks[3]) & 0x8080808080808080ull) == 0) {
        i += 32;
        continue;
      }
    }
    if (i + 8 <= text.size()) {
      uint64_t block;
      std::memcpy(&block, text.data() + i, sizeof block);
      if ((block & 0x8080808080808080ull) == 0) {
        i += 8;
        continue;
      }
    }
    if (decodeUtf8(text, i) < 0) return false;
  }
  return true;
}

std::wstring ansiToWide(std::string_view text) { return codePageToWide(text, currentCodePage); }

std::wstring codePageToWide(std::string_view text, unsigned codePage) {
  if (const char* name = iconvName(codePage)) {
    Converter converter("UTF-8", name);
    if (converter.ok()) {
      return utf8ToWide(converter.convert(
          text, "\xEF\xBF\xBD", [](std::string_view, size_t) { return size_t{1}; }, nullptr));
    }
  }
  std::wstring out;
  out.reserve(text.size());
  for (char c : text) {
    unsigned char b = static_cast<unsigned char>(c);
    char16_t mapped = (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : b;
    out += static_cast<wchar_t>(mapped ? mapped : b);
  }
  return out;
}

std::string wideToAnsi(std::wstring_view text, bool* usedDefault) {
  return wideToCodePage(text, currentCodePage, usedDefault);
}

std::string wideToCodePage(std::wstring_view text, unsigned codePage, bool* usedDefault) {
  return wideToCodePage(text, codePage, WideConversion{}, usedDefault);
}

std::string wideToCodePage(std::wstring_view text, unsigned codePage, const WideConversion& how, bool* usedDefault) {
  std::string out;
  out.reserve(text.size());
  const std::string fallback = how.defaultChar ? std::string(how.defaultChar) : std::string("?");
  auto lacking = [&](uint32_t unit) {
    int fit = how.bestFit ? bestFit(unit, codePage) : -1;
    if (fit >= 0) {
      out += static_cast<char>(fit);
      return;
    }
    if (usedDefault) *usedDefault = true;
    out += fallback;
  };
  if (const char* name = iconvName(codePage)) {
    Converter converter(name, "UTF-8");
    if (converter.ok()) {
      // Character by character, so that each one the page lacks is replaced on its own.
      for (size_t i = 0; i < text.size(); ++i) {
        uint32_t unit = static_cast<uint32_t>(text[i]) & 0xFFFF;
        size_t units = 1;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size()) units = 2;
        if (unit < 0x80) {
          out += static_cast<char>(unit);
          continue;
        }
        bool replaced = false;
        std::string bytes = converter.convert(wideToUtf8(text.substr(i, units)), "", utf8SequenceLength, &replaced);
        if (replaced || bytes.empty()) {
          lacking(unit);
        } else {
          out += bytes;
        }
        i += units - 1;
      }
      return out;
    }
  }
  for (wchar_t w : text) {
    uint32_t unit = static_cast<uint32_t>(w) & 0xFFFF;
    int byte = -1;
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
      byte = static_cast<int>(unit);
    } else {
      for (int k = 0; k < 32; ++k) {
        if (kCp1252High[k] == unit || (kCp1252High[k] == 0 && unit == 0x80u + k)) byte = 0x80 + k;
      }
    }
    if (byte < 0) {
      lacking(unit);
    } else {
      out += static_cast<char>(byte);
    }
  }
  return out;
}

bool isSupportedCodePage(uint64_t codePage) { return codePage == 1252 || iconvName(static_cast<unsigned>(codePage)); }

std::string supportedCodePages() { return "1252, 1251, 932, 936, 949, 950"; }

void setAnsiCodePage(unsigned codePage) { currentCodePage = isSupportedCodePage(codePage) ? codePage : 1252; }

unsigned ansiCodePage() { return currentCodePage; }

void setThreadCodePage(unsigned codePage) {
  currentThreadCodePage = isSupportedCodePage(codePage) ? codePage : currentCodePage;
}

unsigned threadCodePage() { return currentThreadCodePage; }

std::string ansiToUtf8(std::string_view text) { return wideToUtf8(ansiToWide(text)); }
std::string utf8ToAnsi(std::string_view text) { return wideToAnsi(utf8ToWide(text)); }

}  // namespace hosted
