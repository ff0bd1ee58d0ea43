// Where a record is written or an error is thrown: the compile-time file, the
// qualified function name and the line.
#pragma once

#include <cstdint>
#include <string>

namespace zu {

// "Namespace::Class::function" out of a compiler's decorated function signature
// ("std::string tstrings::format(const char*, ...)" gives "tstrings::format").
std::string qualifiedFunctionName(const char* signature);

}  // namespace zu

#if defined(_MSC_VER)
#define ZU_FUNCTION __FUNCTION__
#else
// The qualified name of the enclosing function, computed once per use site.
#define ZU_FUNCTION                                                                   \
  ([](const char* signature) -> const char* {                                         \
    static const std::string name = ::zu::qualifiedFunctionName(signature);           \
    return name.c_str();                                                              \
  }(__PRETTY_FUNCTION__))
#endif

struct SourceLocation {
  const char* file;
  const char* function;
  int32_t line;
};

#define ZU_HERE (SourceLocation{__FILE__, ZU_FUNCTION, __LINE__})
