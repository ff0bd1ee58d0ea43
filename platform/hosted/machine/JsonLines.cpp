#include "platform/hosted/machine/JsonLines.h"

#include <algorithm>
#include <charconv>

namespace hosted {

namespace {

size_t skipSpace(std::string_view text, size_t pos) {
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\n' || text[pos] == '\r')) {
    ++pos;
  }
  return pos;
}

// `pos` is at an opening quote; returns the position after the closing one.
size_t skipString(std::string_view text, size_t pos) {
  for (++pos; pos < text.size(); ++pos) {
    if (text[pos] == '\\') {
      ++pos;
    } else if (text[pos] == '"') {
      return pos + 1;
    }
  }
  return text.size();
}

// Returns the position after the value starting at `pos`, counting brackets instead of
// recursing into them.
size_t skipValue(std::string_view text, size_t pos) {
  size_t depth = 0;
  while (pos < text.size()) {
    char c = text[pos];
    if (c == '"') {
      pos = skipString(text, pos);
      if (depth == 0) return pos;
      continue;
    }
    if (c == '{' || c == '[') {
      ++depth;
    } else if (c == '}' || c == ']') {
      if (depth == 0) return pos;
      if (--depth == 0) return pos + 1;
    } else if (depth == 0 && (c == ',' || c == ' ' || c == '\t' || c == '\n' || c == '\r')) {
      return pos;
    }
    ++pos;
  }
  return pos;
}

size_t lineAt(std::string_view text, size_t pos) {
  pos = std::min(pos, text.size());
  return 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(pos), '\n'));
}

}  // namespace

size_t jsonLine(std::string_view text, const std::vector<std::string>& path) {
  size_t pos = skipSpace(text, 0);
  for (const auto& step : path) {
    if (pos >= text.size()) break;
    size_t found = std::string_view::npos;
    if (text[pos] == '{') {
      size_t p = skipSpace(text, pos + 1);
      while (p < text.size() && text[p] == '"') {
        size_t end = skipString(text, p);
        std::string_view name = text.substr(p + 1, end - p - 2);
        p = skipSpace(text, end);
        if (p < text.size() && text[p] == ':') p = skipSpace(text, p + 1);
        if (name == step) found = p;
        p = skipSpace(text, skipValue(text, p));
        if (p < text.size() && text[p] == ',') p = skipSpace(text, p + 1);
      }
    } else if (text[pos] == '[') {
      size_t index = 0;
      auto [end, error] = std::from_chars(step.data(), step.data() + step.size(), index);
      if (error != std::errc() || end != step.data() + step.size()) break;
      size_t p = skipSpace(text, pos + 1);
      for (size_t k = 0; k < index && p < text.size() && text[p] != ']'; ++k) {
        p = skipSpace(text, skipValue(text, p));
        if (p < text.size() && text[p] == ',') p = skipSpace(text, p + 1);
      }
      if (p < text.size() && text[p] != ']') found = p;
    }
    if (found == std::string_view::npos) break;
    pos = found;
  }
  return lineAt(text, pos);
}

}  // namespace hosted
