#include "windows/common/FileUtils.h"

namespace {

constexpr const char* kSeparators = "\\/";

bool isSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

std::string dirname(const std::string& path) {
  size_t last = path.find_last_of(kSeparators);
  if (last == std::string::npos) return ".\\";
  return path.substr(0, last + 1);
}

std::string basename(const std::string& path) {
  size_t last = path.find_last_of(kSeparators);
  return last == std::string::npos ? path : path.substr(last + 1);
}

std::string removeTrailingSlashes(const std::string& path) {
  size_t end = path.size();
  while (end > 0 && isSeparator(path[end - 1])) --end;
  return path.substr(0, end);
}

std::string combinePath(const std::string& a, const std::string& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  return removeTrailingSlashes(a) + "\\" + (isSeparator(b[0]) ? b.substr(1) : b);
}
