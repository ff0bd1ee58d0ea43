#include "common/share/Errors.h"

#include <cstdio>

#include "common/share/tstrings.h"

namespace {

const char* baseName(const char* path) {
  const char* name = path;
  for (const char* p = path; *p; ++p) {
    if (*p == '\\' || *p == '/') name = p + 1;
  }
  return name;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// The description Windows has for a code, tidied for one log line.
std::string describe(DWORD code, HMODULE module) {
  DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
  if (module) flags |= FORMAT_MESSAGE_FROM_HMODULE;
  LPWSTR buffer = nullptr;
  DWORD length = FormatMessageW(flags, module, code, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  if (length == 0 || !buffer) {
    if (buffer) LocalFree(buffer);
    return "No description available";
  }
  std::wstring text(buffer, length);
  LocalFree(buffer);
  for (auto& c : text) {
    if (c < 32) c = L' ';
  }
  size_t end = text.size();
  while (end > 1 && (text[end - 1] <= 32 || text[end - 1] == L'.')) --end;
  text.resize(end);
  try {
    return tstrings::toUtf8(text);
  } catch (const std::range_error&) {
    return "No description available";
  }
}

}  // namespace

std::string formatErrorLocation(const SourceLocation& location) {
  return std::string(baseName(location.file)) + "(" + std::to_string(location.line) + ") at " + location.function +
         "(): ";
}

std::string joinMessages(const std::string& first, const std::string& second) {
  std::string out = first;
  while (!out.empty() && isBlank(out.back())) out.pop_back();
  size_t separator = 0;
  if (!out.empty()) {
    std::string sep = std::string(";.,:!?").find(out.back()) != std::string::npos ? " " : ". ";
    out += sep;
    separator = sep.size();
  }
  size_t begin = 0;
  size_t end = second.size();
  while (begin < end && isBlank(second[begin])) ++begin;
  while (end > begin && isBlank(second[end - 1])) --end;
  if (begin == end) {
    out.resize(out.size() - separator);
  } else {
    out.append(second, begin, end - begin);
  }
  return out;
}

std::string sysErrorText(const std::string& message, DWORD code) {
  return joinMessages(message, "System error [" + std::to_string(code) + "]");
}

std::string systemErrorText(DWORD code, HMODULE module) {
  return "system error " + std::to_string(code) + " (" + describe(code, module) + ")";
}

std::string comErrorText(HRESULT hr) {
  DWORD value = static_cast<DWORD>(hr);
  DWORD code = (value & 0x1FFF0000u) == 0x70000u ? (value & 0xFFFFu) : value;
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, "COM error 0x%08X (", static_cast<unsigned>(value));
  return prefix + describe(code, nullptr) + ")";
}

void throwSysError(const SourceLocation& location, const std::string& message) {
  DWORD error = GetLastError();
  throw ZdsError<SysError>(SysError(sysErrorText(message, error)), location);
}
