#include "common/share/SourceLocation.h"

#include <cstring>

namespace zu {

std::string qualifiedFunctionName(const char* signature) {
  std::string text = signature ? signature : "";
  // The parameter list opens at the first parenthesis outside template brackets;
  // the name starts after the last blank before it, outside brackets too.
  int depth = 0;
  size_t open = std::string::npos;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '<') ++depth;
    else if (c == '>' && depth > 0) --depth;
    else if (c == '(' && depth == 0) {
      // "(anonymous namespace)" is part of a name, not a parameter list.
      if (text.compare(i, 21, "(anonymous namespace)") == 0) {
        i += 20;
        continue;
      }
      open = i;
      break;
    }
  }
  if (open == std::string::npos) return text;
  depth = 0;
  size_t start = 0;
  for (size_t i = open; i-- > 0;) {
    char c = text[i];
    if (c == '>' || c == ')') ++depth;
    else if ((c == '<' || c == '(') && depth > 0) --depth;
    else if (depth == 0 && (c == ' ' || c == '*' || c == '&')) {
      start = i + 1;
      break;
    }
  }
  return text.substr(start, open - start);
}

}  // namespace zu
