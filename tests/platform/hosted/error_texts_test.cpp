// Every error code a function of the layer can leave behind has its system text, so
// that the program's "failed with" records read as they do on Windows.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/support/TestMachine.h"

namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// NAME -> value of every "#define ERROR_... <number>" in the layer's headers.
std::map<std::string, unsigned long> errorValues() {
  std::map<std::string, unsigned long> values;
  std::regex define(R"(#define\s+(ERROR_[A-Z0-9_]+)\s+\(?(?:\(DWORD\))?\s*(0x[0-9A-Fa-f]+|\d+)L?)");
  for (const auto& entry : fs::directory_iterator(fs::path(ZU_SOURCE_DIR) / "platform/include")) {
    std::string text = readAll(entry.path());
    for (std::sregex_iterator it(text.begin(), text.end(), define), end; it != end; ++it) {
      values[(*it)[1]] = std::stoul((*it)[2], nullptr, 0);
    }
  }
  return values;
}

// Every ERROR_ name the layer's sources mention.
std::set<std::string> errorsTheLayerUses() {
  std::set<std::string> names;
  std::regex name(R"(\bERROR_[A-Z0-9_]+\b)");
  for (const auto& entry : fs::recursive_directory_iterator(fs::path(ZU_SOURCE_DIR) / "platform/hosted")) {
    if (entry.path().extension() != ".cpp" && entry.path().extension() != ".h") continue;
    std::string text = readAll(entry.path());
    for (std::sregex_iterator it(text.begin(), text.end(), name), end; it != end; ++it) names.insert((*it)[0]);
  }
  return names;
}

class ErrorTexts : public zutest::MachineTest {};

TEST_F(ErrorTexts, EveryCodeTheLayerSetsHasItsSystemText) {
  auto values = errorValues();
  auto used = errorsTheLayerUses();
  ASSERT_GT(used.size(), 40u);
  for (const auto& name : used) {
    auto value = values.find(name);
    ASSERT_NE(value, values.end()) << name << " is used but not defined in platform/include";
    LPWSTR text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, static_cast<DWORD>(value->second), 0, reinterpret_cast<LPWSTR>(&text), 0,
                                  nullptr);
    EXPECT_GT(length, 0u) << name << " (" << value->second << ") has no system text";
    if (text) LocalFree(text);
  }
}

TEST_F(ErrorTexts, TheCodesTheReviewMetReadAsOnWindows) {
  const std::pair<DWORD, const wchar_t*> expected[] = {
      {120, L"This function is not supported on this system.\r\n"},
      {112, L"There is not enough space on the disk.\r\n"},
  };
  for (const auto& [code, text] : expected) {
    wchar_t buffer[256] = {};
    ASSERT_GT(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer, 256,
                             nullptr),
              0u)
        << code;
    EXPECT_EQ(std::wstring(buffer), text) << code;
  }
}

}  // namespace
