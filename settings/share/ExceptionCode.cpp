#include "settings/share/ExceptionCode.h"

#include <cstring>

namespace settings_impl {

bool isWellFormedUtf8(std::string_view text) {
  size_t i = 0;
  const size_t size = text.size();
  while (i < size) {
    // Configuration text is mostly ASCII: pass it eight bytes at a time.
    while (size - i >= 8) {
      uint64_t word;
      std::memcpy(&word, text.data() + i, sizeof word);
      if (word & 0x8080808080808080ull) break;
      i += 8;
    }
    if (i == size) break;
    unsigned char lead = static_cast<unsigned char>(text[i++]);
    size_t follow;
    if (lead < 0x80) continue;
    if ((lead & 0xE0) == 0xC0) follow = 1;
    else if ((lead & 0xF0) == 0xE0) follow = 2;
    else if ((lead & 0xF8) == 0xF0) follow = 3;
    else if ((lead & 0xFC) == 0xF8) follow = 4;
    else if ((lead & 0xFE) == 0xFC) follow = 5;
    else return false;  // a stray continuation byte, 0xFE or 0xFF
    if (size - i < follow) return false;
    for (size_t k = 0; k < follow; ++k) {
      if ((static_cast<unsigned char>(text[i++]) & 0xC0) != 0x80) return false;
    }
  }
  return true;
}

}  // namespace settings_impl
