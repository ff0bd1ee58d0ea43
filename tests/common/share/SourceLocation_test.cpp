// Qualified function names out of the compiler's signatures.
#include <gtest/gtest.h>

#include "common/share/SourceLocation.h"

namespace {

TEST(QualifiedFunctionName, DropsReturnTypeAndParameters) {
  struct Case {
    const char* signature;
    const char* name;
  };
  const Case cases[] = {
      {"int WinMain(HINSTANCE, HINSTANCE, LPSTR, int)", "WinMain"},
      {"std::string tstrings::format(const char*, ...)", "tstrings::format"},
      {"void FileUtils::deleteOnReboot(const std::string&)", "FileUtils::deleteOnReboot"},
      {"Logger::Logger(std::string, std::string)", "Logger::Logger"},
      {"const char* {anonymous}::name()", "{anonymous}::name"},
      {"std::vector<std::pair<int, int> > A<B, C>::get(int) const", "A<B, C>::get"},
      {"static Logger& Logger::instance()", "Logger::instance"},
      {"void (anonymous namespace)::helper(int)", "(anonymous namespace)::helper"},
  };
  for (const auto& c : cases) EXPECT_EQ(zu::qualifiedFunctionName(c.signature), c.name) << c.signature;
}

namespace outer {
struct Widget {
  static const char* where() { return ZU_FUNCTION; }
};
}  // namespace outer

TEST(QualifiedFunctionName, MacroNamesTheEnclosingFunction) {
  EXPECT_STREQ(outer::Widget::where(), "{anonymous}::outer::Widget::where");
}

}  // namespace
