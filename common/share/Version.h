// Version texts: dotted numeric components parsed into a fixed number of integers and
// compared component by component.
#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <string>

namespace VersionDetails {

// A version component: a non-empty run of decimal digits (no sign, no blanks) that
// fits a signed 32-bit integer; "007" is 7. Anything else throws
// ZdsError<std::runtime_error> "Failed to recognize version component in [<token>]".
int32_t parseComponent(const std::string& token);
// As parseComponent, but false instead of the exception; `value` is written only on
// success.
bool tryParseComponent(const std::string& token, int32_t& value);

// The generic dotted parser: splits at every "." and parses up to `count` leading
// tokens, stopping at the first that is no component. `count` is the capacity on
// entry and the number of components written on return; the result is the number of
// characters left unrecognised. A capacity of 0 throws
// ZdsError<std::length_error> "Destination buffer can't be empty".
struct Parser {
  size_t operator()(const std::string& text, int32_t* out, size_t& count) const;
};

// Throws ZdsError<std::runtime_error> "Failed to parse [<text>] version string
// completely. Number of unrecognised characters is <count>", naming `function`.
[[noreturn]] void throwUnrecognised(const std::string& text, size_t count, const char* function);

// A version of N components parsed by P (a parser with Parser's contract and a static
// `name` for messages). Components the text does not hold are 0. Ordering compares
// the components in order as signed integers; the text takes no part.
template <size_t N, class P>
class Base {
 public:
  Base() = default;
  explicit Base(const std::string& text) { init(text); }

  // Parses `text`; throws (see throwUnrecognised) if any character is left over, and
  // keeps the previous value then.
  void init(const std::string& text) {
    std::array<int32_t, N> parsed{};
    size_t count = N;
    size_t left = P()(text, parsed.data(), count);
    if (left != 0) throwUnrecognised(text, left, functionName().c_str());
    components_ = parsed;
    text_ = text;
  }

  int32_t component(size_t index) const { return components_.at(index); }
  const std::array<int32_t, N>& components() const { return components_; }
  const std::string& text() const { return text_; }

  friend bool operator==(const Base& a, const Base& b) { return a.components_ == b.components_; }
  friend std::strong_ordering operator<=>(const Base& a, const Base& b) {
    return a.components_ <=> b.components_;
  }

 private:
  static std::string functionName() {
    return "VersionDetails::Base<" + std::to_string(N) + "," + P::name + ">::init";
  }

  std::array<int32_t, N> components_{};
  std::string text_;
};

}  // namespace VersionDetails
