// shell32: CommandLineToArgvW, with Windows' rules for quotes and backslashes.
#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/hosted/machine/Run.h"
#include "platform/hosted/api/CommandLine.h"

namespace hosted {

std::vector<std::wstring> splitCommandLine(std::wstring_view line) {
  std::vector<std::wstring> args;
  size_t i = 0;
  auto blank = [&](size_t k) { return k < line.size() && (line[k] == L' ' || line[k] == L'\t'); };

  // The program name: up to the next quote when it starts with one, else up to a blank;
  // no escapes are processed in it.
  std::wstring first;
  if (i < line.size() && line[i] == L'"') {
    ++i;
    while (i < line.size() && line[i] != L'"') first += line[i++];
    if (i < line.size()) ++i;
  } else {
    while (i < line.size() && !blank(i)) first += line[i++];
  }
  args.push_back(first);

  while (true) {
    while (blank(i)) ++i;
    if (i >= line.size()) break;
    std::wstring arg;
    bool quoted = false;
    while (i < line.size() && (quoted || !blank(i))) {
      if (line[i] == L'\\') {
        size_t count = 0;
        while (i < line.size() && line[i] == L'\\') ++count, ++i;
        if (i < line.size() && line[i] == L'"') {
          arg.append(count / 2, L'\\');
          if (count % 2 == 1) {
            arg += L'"';
            ++i;
          }
        } else {
          arg.append(count, L'\\');
        }
      } else if (line[i] == L'"') {
        if (quoted && i + 1 < line.size() && line[i + 1] == L'"') {
          arg += L'"';  // a doubled quote inside quotes stands for one
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg += line[i++];
      }
    }
    args.push_back(arg);
  }
  return args;
}

std::wstring quoteArgument(std::wstring_view arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) return std::wstring(arg);
  std::wstring out = L"\"";
  for (size_t i = 0;; ++i) {
    size_t backslashes = 0;
    while (i < arg.size() && arg[i] == L'\\') ++backslashes, ++i;
    if (i == arg.size()) {
      out.append(backslashes * 2, L'\\');  // they stand before the closing quote
      break;
    }
    if (arg[i] == L'"') {
      out.append(backslashes * 2 + 1, L'\\');
    } else {
      out.append(backslashes, L'\\');
    }
    out += arg[i];
  }
  out += L'"';
  return out;
}

}  // namespace hosted

extern "C" LPWSTR* WINAPI CommandLineToArgvW(LPCWSTR lpCmdLine, int* pNumArgs) {
  if (!pNumArgs) {
    hosted::setLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto args = hosted::splitCommandLine(lpCmdLine ? std::wstring_view(lpCmdLine) : std::wstring_view());
  // One block, as Windows returns it, so that one LocalFree releases it: the pointer
  // array first, then the strings.
  size_t bytes = (args.size() + 1) * sizeof(LPWSTR);
  for (const auto& a : args) bytes += (a.size() + 1) * sizeof(WCHAR);
  auto block = static_cast<char*>(LocalAlloc(LPTR, bytes));
  if (!block) return nullptr;
  auto pointers = reinterpret_cast<LPWSTR*>(block);
  auto text = reinterpret_cast<WCHAR*>(block + (args.size() + 1) * sizeof(LPWSTR));
  for (size_t k = 0; k < args.size(); ++k) {
    pointers[k] = text;
    std::memcpy(text, args[k].c_str(), (args[k].size() + 1) * sizeof(WCHAR));
    text += args[k].size() + 1;
  }
  *pNumArgs = static_cast<int>(args.size());
  return pointers;
}
