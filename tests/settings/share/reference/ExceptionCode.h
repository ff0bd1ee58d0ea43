// The library's failures by code, and the structural UTF-8 test every text and path
// passes through.
#pragma once

#include <cstdint>
#include <string_view>

#include "settings/share/settings.h"

namespace settings_reference {

template <int32_t N>
class ExceptionCode : public settings::Exception {
 public:
  ExceptionCode() : settings::Exception(N) {}
};

// True when every lead byte is followed by the continuation bytes it announces
// (sequences of up to six bytes). Code point ranges, overlong forms and surrogates are
// not examined. A sequence cut off by the end of the text is not well-formed; the test
// never reads past the end.
bool isWellFormedUtf8(std::string_view text);

}  // namespace settings_reference
