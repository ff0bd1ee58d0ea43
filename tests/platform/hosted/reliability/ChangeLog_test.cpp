// A change log with whole, checksummed lines that registry.reg cannot hold: the replay
// passes over them, keeps every other change, and folds into a file that loads again.
#include <cstdio>

#include <gtest/gtest.h>

#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/registry/Registry.h"
#include "tests/support/TestMachine.h"

namespace {

namespace fs = std::filesystem;

std::string hex(const std::string& bytes) {
  if (bytes.empty()) return "-";
  std::string out;
  char buffer[3];
  for (unsigned char c : bytes) {
    std::snprintf(buffer, sizeof buffer, "%02x", c);
    out += buffer;
  }
  return out;
}

// One line of registry.reg.log: "<FNV-1a of the rest, 16 hex digits> <op> <path> <name> <type> <data>".
std::string logLine(char op, const std::string& path, const std::string& name = "", uint32_t type = 0,
                    const std::string& data = "") {
  std::string payload = std::string(1, op) + " " + hex(path) + " " + hex(name) + " " + std::to_string(type) + " " + hex(data);
  uint64_t hash = 1469598103934665603ull;
  for (char c : payload) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  char sum[20];
  std::snprintf(sum, sizeof sum, "%016llx ", static_cast<unsigned long long>(hash));
  return sum + payload + "\n";
}

TEST(ChangeLogReplay, LinesRegistryRegCannotHoldArePassedOver) {
  zutest::ScratchDir dir;
  std::string deep = "HKEY_LOCAL_MACHINE";
  for (int i = 0; i < 600; ++i) deep += "\\k";
  zutest::writeFile(dir.path() / "registry.reg.log",
                    logLine('K', "NOT_A_ROOT\\x") + logLine('K', deep) + logLine('K', "HKEY_LOCAL_MACHINE\\a\\\\b") +
                        logLine('K', "HKEY_LOCAL_MACHINE\\SOFTWARE\\New") +
                        logLine('V', "HKEY_LOCAL_MACHINE\\SOFTWARE\\New", "line\nbreak", 4, std::string("\1\0\0\0", 4)) +
                        logLine('K', "HKEY_LOCAL_MACHINE\\SOFTWARE\\Bad\xff") +
                        logLine('V', "HKEY_LOCAL_MACHINE\\SOFTWARE\\New", "kept", 4, std::string("\2\0\0\0", 4)));
  {
    auto registry = hosted::registry::Registry::load(dir.path(), "S-1-5-21-1");
    auto key = registry->find({"HKEY_LOCAL_MACHINE", "SOFTWARE", "New"});
    ASSERT_NE(key, nullptr);
    EXPECT_NE(key->findValue("kept"), nullptr);
    EXPECT_EQ(key->findValue("line\nbreak"), nullptr);
    EXPECT_EQ(registry->find({"NOT_A_ROOT"}), nullptr);
  }
  EXPECT_FALSE(fs::exists(dir.path() / "registry.reg.log"));
  EXPECT_NO_THROW(hosted::registry::Registry::load(dir.path(), "S-1-5-21-1"));
}

}  // namespace
