// Runs of the uninstaller executable (and other programs), for tests that check a run
// from outside: exit status, output, and what the machine directory holds afterwards.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/TestMachine.h"

namespace zutest {

struct RunResult {
  int status = -1;     // the host exit status (610017 shows as 225)
  std::string output;  // standard output and error together
};

inline std::string shellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs a shell command, without a terminal on standard input.
inline RunResult runCommand(const std::string& command) {
  RunResult result;
  FILE* pipe = popen((command + " </dev/null 2>&1").c_str(), "r");
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// Runs the built uninstaller with `args`.
inline RunResult runUninstaller(const std::vector<std::string>& args) {
  std::string command = shellQuote(ZU_UNINSTALLER_PATH);
  for (const auto& a : args) command += " " + shellQuote(a);
  return runCommand(command);
}

// Every file and folder under a directory with its content ("/" for a folder), to
// show that nothing changed.
inline std::map<std::string, std::string> contentsOf(const std::filesystem::path& dir) {
  std::map<std::string, std::string> out;
  if (!std::filesystem::exists(dir)) return out;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
    out[std::filesystem::relative(entry.path(), dir).string()] =
        entry.is_regular_file() ? readFile(entry.path()) : "/";
  }
  return out;
}

}  // namespace zutest
