#include "tests/support/TestMachine.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace zutest {

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zu-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) std::abort();
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void writeFile(const std::filesystem::path& file, const std::string& text) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string readFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<nlohmann::json> readJournal(const std::filesystem::path& machineDir, const std::string& event) {
  std::vector<nlohmann::json> events;
  std::ifstream in(machineDir / "journal.jsonl");
  std::string line;
  while (std::getline(in, line)) {
    auto parsed = nlohmann::json::parse(line);
    if (event.empty() || parsed["event"] == event) events.push_back(std::move(parsed));
  }
  return events;
}

std::string programLog(const std::filesystem::path& machineDir) {
  return readFile(machineDir / "drives/C/Users/user/AppData/Local/Temp/zusched.log");
}

void MachineTest::SetUp() {
  if (loadOnSetUp()) load();
}

void MachineTest::TearDown() { hosted::Machine::unload(); }

hosted::Machine& MachineTest::load(hosted::Session session) {
  hosted::Machine::unload();
  return hosted::Machine::load(scratch_.path(), std::move(session));
}

std::filesystem::path MachineTest::hostPath(const std::string& windowsPath) const {
  return hostPathOf(scratch_.path(), windowsPath);
}

std::filesystem::path hostPathOf(const std::filesystem::path& machineDir, const std::string& windowsPath) {
  std::filesystem::path out = machineDir / "drives" / std::string(1, windowsPath.at(0));
  std::stringstream parts(windowsPath.substr(2));
  std::string part;
  while (std::getline(parts, part, '\\')) {
    if (!part.empty()) out /= part;
  }
  return out;
}

}  // namespace zutest
