#include "common/share/ZunaVersion.h"

#include <stdexcept>

#include "common/share/Errors.h"
#include "common/share/tstrings.h"

namespace ZunaVersionDetails {

namespace {

constexpr const char* kFunction = "ZunaVersionDetails::Parser::operator ()";

// Each sub-parser takes the unparsed tail and returns how many of its characters
// remain after it: the tail's length when it recognised nothing.

// The characters up to the first "_" or "-" (or all of them), as the micro component.
size_t parseMicro(const std::string& tail, int32_t& micro) {
  size_t end = tail.find_first_of("_-");
  if (end == std::string::npos) end = tail.size();
  if (!VersionDetails::tryParseComponent(tail.substr(0, end), micro)) return tail.size();
  return tail.size() - end;
}

// "_" and a component up to the next "-" or the end.
size_t parseUpdate(const std::string& tail, int32_t& update) {
  if (tail.empty() || tail.front() != '_') return tail.size();
  size_t end = tail.find('-', 1);
  if (end == std::string::npos) end = tail.size();
  if (!VersionDetails::tryParseComponent(tail.substr(1, end - 1), update)) return tail.size();
  return tail.size() - end;
}

// "-b" and a component up to the next "-" or the end.
size_t parseBuild(const std::string& tail, int32_t& build) {
  if (tail.size() < 3 || tail.compare(0, 2, "-b") != 0) return tail.size();
  size_t end = tail.find('-', 2);
  if (end == std::string::npos) end = tail.size();
  if (!VersionDetails::tryParseComponent(tail.substr(2, end - 2), build)) return tail.size();
  return tail.size() - end;
}

// "-" segments before a build segment; all of them when no build segment follows.
size_t skipQualifiers(const std::string& tail, int32_t& scratch) {
  if (tail.empty() || tail.front() != '-') return tail.size();
  size_t position = 0;
  while (position < tail.size()) {
    if (parseBuild(tail.substr(position), scratch) < tail.size() - position) break;
    position = tail.find('-', position + 1);
    if (position == std::string::npos) position = tail.size();
  }
  // A lone "-" before the build is left in place.
  if (position == 1) return tail.size();
  return tail.size() - position;
}

}  // namespace

size_t Parser::operator()(const std::string& text, int32_t* out, size_t& count) const {
  if (count < 5) {
    throw ZdsError<std::length_error>(std::length_error("Insufficient size of destination buffer"),
                                      SourceLocation{__FILE__, kFunction, __LINE__});
  }
  size_t n = 3;
  size_t remaining = VersionDetails::Parser()(text, out, n);
  count = n;
  if (remaining == 0 && n == 3) return 0;
  if (n != 2) return remaining;

  int32_t scratch = 0;
  enum Step { Micro, Update, Qualifiers, Build };
  for (int step = Micro; step <= Build; ++step) {
    if (remaining == 0) return remaining;
    std::string tail = text.substr(text.size() - remaining);
    size_t left = 0;
    switch (step) {
      case Micro: left = parseMicro(tail, out[2]); break;
      case Update: left = parseUpdate(tail, out[3]); break;
      case Qualifiers: left = skipQualifiers(tail, scratch); break;
      case Build: left = parseBuild(tail, out[4]); break;
    }
    if (left > remaining) {
      throw ZdsError<std::runtime_error>(
          std::runtime_error(tstrings::format("[%d < %d] failed", static_cast<int>(remaining), static_cast<int>(left))),
          SourceLocation{__FILE__, kFunction, __LINE__});
    }
    if (left < remaining) {
      remaining = left;
      ++count;
    } else if (step == Micro) {
      return remaining;
    }
  }
  return remaining;
}

}  // namespace ZunaVersionDetails
