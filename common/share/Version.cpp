#include "common/share/Version.h"

#include <cctype>
#include <exception>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "common/share/Errors.h"
#include "common/share/tstrings.h"

namespace VersionDetails {

int32_t parseComponent(const std::string& token) {
  if (!token.empty() && std::isdigit(static_cast<unsigned char>(token.front()))) {
    std::istringstream in(token);
    in.imbue(std::locale::classic());
    int32_t value = 0;
    in >> value;
    // The read must have used the whole token: no fail or bad state, nothing left.
    if (!in.fail() && !in.bad() && in.peek() == std::char_traits<char>::eof()) return value;
  }
  throw ZdsError<std::runtime_error>(
      std::runtime_error(tstrings::format("Failed to recognize version component in [%s]", token.c_str())), ZU_HERE);
}

bool tryParseComponent(const std::string& token, int32_t& value) {
  try {
    value = parseComponent(token);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

size_t Parser::operator()(const std::string& text, int32_t* out, size_t& count) const {
  if (count == 0) {
    throw ZdsError<std::length_error>(std::length_error("Destination buffer can't be empty"),
                                      SourceLocation{__FILE__, "VersionDetails::Parser::operator ()", __LINE__});
  }
  std::vector<std::string> tokens = tstrings::split(text, ".");
  size_t usable = std::min(tokens.size(), count);
  std::vector<int32_t> values;
  size_t consumed = 0;
  for (size_t i = 0; i < usable; ++i) {
    int32_t value = 0;
    if (!tryParseComponent(tokens[i], value)) break;
    values.push_back(value);
    consumed += tokens[i].size();
    // The dot after a parsed token counts when another token follows within capacity.
    if (i + 1 < usable) consumed += 1;
  }
  if (consumed > text.size()) {
    throw ZdsError<std::runtime_error>(
        std::runtime_error(tstrings::format("[%d < %d] failed", static_cast<int>(consumed),
                                            static_cast<int>(text.size()))),
        SourceLocation{__FILE__, "VersionDetails::Parser::operator ()", __LINE__});
  }
  for (size_t i = 0; i < values.size(); ++i) out[i] = values[i];
  count = values.size();
  return text.size() - consumed;
}

void throwUnrecognised(const std::string& text, size_t count, const char* function) {
  throw ZdsError<std::runtime_error>(
      std::runtime_error(tstrings::format(
          "Failed to parse [%s] version string completely. Number of unrecognised characters is %d", text.c_str(),
          static_cast<int>(count))),
      SourceLocation{__FILE__, function, __LINE__});
}

}  // namespace VersionDetails
