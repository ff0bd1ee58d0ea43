// Runtime version texts: "1.8.0_31", "1.8.0_31-b13", "1.8.0_31-ea-b13", "1.8.0-ea".
//
// Components: 0 major, 1 minor, 2 micro, 3 update (after "_"), 4 build (after "-b").
// Qualifier segments ("-ea") before the build, or at the end, are skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/share/Version.h"

namespace ZunaVersionDetails {

// Parses a runtime version into five components, with VersionDetails::Parser's
// contract: `count` is capacity in and components out; the result is the number of
// characters left unrecognised. A capacity below 5 throws
// ZdsError<std::length_error> "Insufficient size of destination buffer".
struct Parser {
  size_t operator()(const std::string& text, int32_t* out, size_t& count) const;
};

// The parser of the runtime's version values.
struct ZreParser : Parser {
  static constexpr const char* name = "struct ZunaVersionDetails::ZreParser";
};

}  // namespace ZunaVersionDetails

// A runtime version, e.g. ZreVersion("1.8.0_31") < ZreVersion("1.8.0_40").
using ZreVersion = VersionDetails::Base<5, ZunaVersionDetails::ZreParser>;
