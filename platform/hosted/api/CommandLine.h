// Windows command lines: how CommandLineToArgvW splits one, and how to quote an
// argument so that it splits back as given.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace hosted {

std::vector<std::wstring> splitCommandLine(std::wstring_view line);
std::wstring quoteArgument(std::wstring_view arg);

}  // namespace hosted
