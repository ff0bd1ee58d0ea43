// lstrcmpiA: the user locale's word sort, case ignored, for the texts the program
// compares (version names of digits, '.', '_', '-' and letters).
//
// Symbols sort before digits and digits before letters; among symbols the order is
// the locale's (space ! " # $ % & ( ) * , . / : ; ? @ [ \ ] ^ _ ` { | } ~ + < = >).
// Hyphens and apostrophes are passed over first and only decide between texts that
// are otherwise equal. Characters beyond ASCII follow the letters by code.
#include <windows.h>

#include <cstring>
#include <string>

namespace {

constexpr const char* kSymbolOrder = " !\"#$%&()*,./:;?@[\\]^_`{|}~+<=>";

int weight(unsigned char c) {
  if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
  if (c >= '0' && c <= '9') return 0x100 + c;
  if (c >= 'A' && c <= 'Z') return 0x200 + c;
  if (c >= 0x80) return 0x300 + c;
  if (const char* at = c ? std::strchr(kSymbolOrder, c) : nullptr) return 0x10 + static_cast<int>(at - kSymbolOrder);
  return c;  // control characters and the hyphen and apostrophe
}

int compareWeights(const std::string& a, const std::string& b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    int wa = weight(static_cast<unsigned char>(a[i]));
    int wb = weight(static_cast<unsigned char>(b[i]));
    if (wa != wb) return wa < wb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::string withoutHyphens(const char* text) {
  std::string out;
  for (; *text; ++text) {
    if (*text != '-' && *text != '\'') out += *text;
  }
  return out;
}

}  // namespace

extern "C" int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2) {
  if (!lpString1 || !lpString2) return lpString1 == lpString2 ? 0 : (lpString1 ? 1 : -1);
  int primary = compareWeights(withoutHyphens(lpString1), withoutHyphens(lpString2));
  if (primary != 0) return primary;
  return compareWeights(lpString1, lpString2);
}
