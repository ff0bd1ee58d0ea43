// A scratch machine directory for one test: made empty (or from files the test
// writes), loaded as the hosted machine, and removed with everything in it after.
#pragma once

#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/hosted/machine/Machine.h"

namespace zutest {

// A fresh directory under the system's temporary folder, removed on destruction.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The host path of a Windows path on the machine in `machineDir`: C:\a\b is
// machineDir/drives/C/a/b.
std::filesystem::path hostPathOf(const std::filesystem::path& machineDir, const std::string& windowsPath);
// Writes `text` to `file`, creating its parent directories.
void writeFile(const std::filesystem::path& file, const std::string& text);
std::string readFile(const std::filesystem::path& file);
// The events of a machine's journal.jsonl, oldest first; only those of one kind when
// `event` is given.
std::vector<nlohmann::json> readJournal(const std::filesystem::path& machineDir, const std::string& event = "");

// The text of the exception `action` throws, or "no exception".
template <class Action>
std::string exceptionText(Action action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "no exception";
}
// The program's log of a run on the machine (zusched.log in the user's temporary folder).
std::string programLog(const std::filesystem::path& machineDir);

// Fixture: each test gets its own machine directory. Write machine.json or files with
// writeFile before calling load(); load() is called by SetUp unless a test wants to
// prepare the directory first (loadOnSetUp() false).
class MachineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  virtual bool loadOnSetUp() const { return true; }

  hosted::Machine& load(hosted::Session session = {});
  hosted::Machine& machine() { return hosted::machine(); }
  const std::filesystem::path& dir() const { return scratch_.path(); }
  // The program's log, zusched.log in the user's temporary folder, and whether it holds `text`.
  std::string log() const { return programLog(dir()); }
  bool logHas(const std::string& text) const { return log().find(text) != std::string::npos; }
  // The host path of a Windows path on this machine: C:\a\b is dir()/drives/C/a/b.
  std::filesystem::path hostPath(const std::string& windowsPath) const;

 private:
  ScratchDir scratch_;
};

}  // namespace zutest
