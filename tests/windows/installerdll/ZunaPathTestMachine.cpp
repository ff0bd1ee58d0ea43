#include "tests/windows/installerdll/ZunaPathTestMachine.h"

#include <filesystem>

#include "platform/hosted/machine/Files.h"
#include "windows/common/SysInfo.h"

namespace zutest {

namespace fs = std::filesystem;

std::string RuntimeMachineTest::regText(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

void RuntimeMachineTest::build(const std::vector<Runtime>& runtimes, const char* path, const std::string& machineJson,
                               const std::string& extraKeys) {
  std::string reg = "Windows Registry Editor Version 5.00\n\n";
  reg += "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment]\n";
  if (path) reg += "\"Path\"=\"" + regText(path) + "\"\n";
  reg += "\n";
  for (const Runtime& runtime : runtimes) {
    std::string key = std::string("HKEY_LOCAL_MACHINE\\SOFTWARE\\") + (runtime.wow ? "Wow6432Node\\" : "") +
                      "Corvane\\Zuna Runtime Environment\\" + runtime.version;
    reg += "[" + key + "]\n\"ZunaHome\"=\"" + regText(runtime.home()) + "\"\n\"RuntimeLib\"=\"" +
           regText(runtime.home() + "\\bin\\server\\zvm.dll") + "\"\n\"MicroVersion\"=\"0\"\n\n";
    reg += "[" + key + "\\MSI]\n";
    if (!runtime.fullVersion.empty()) reg += "\"FullVersion\"=\"" + runtime.fullVersion + "\"\n";
    reg += "\n";
    for (const char* file : {"zuna.exe", "zunaw.exe", "zunaws.exe", "server\\zvm.dll", "HostAccessBridge-64.dll",
                             "HostAccessBridge-32.dll", "HostAccessBridge.dll"}) {
      writeFile(hostPath(runtime.home() + "\\bin\\" + file), runtime.version + " " + file);
    }
    if (runtime.zabswitch) writeFile(hostPath(runtime.home() + "\\bin\\zabswitch.exe"), "switch");
    if (!runtime.printedFullVersion.empty()) {
      fs::path zuna = hostPath(runtime.home() + "\\bin\\zuna.exe");
      writeFile(zuna, "#!/bin/sh\n[ \"$1\" = -fullversion ] && echo 'zuna full version \"" + runtime.printedFullVersion +
                          "\"' >&2\nexit 0\n");
      fs::permissions(zuna, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    }
  }
  writeFile(dir() / "registry.reg", reg + extraKeys);
  if (!machineJson.empty()) writeFile(dir() / "machine.json", machineJson);
  load();
  // The Windows generation is kept for the process; this machine may differ.
  SysInfo::initialize();
}

std::vector<nlohmann::json> RuntimeMachineTest::events(const std::string& name) {
  std::vector<nlohmann::json> found;
  for (auto& event : readJournal(dir())) {
    if (event["event"] == name) found.push_back(event);
  }
  return found;
}

std::pair<DWORD, std::string> RuntimeMachineTest::pathValue() {
  RegistryKey key(HKEY_LOCAL_MACHINE);
  if (key.OpenKey("SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", KEY_READ) != ERROR_SUCCESS) {
    return {0, ""};
  }
  RegistryValue value;
  if (key.QueryValue("Path", value) != ERROR_SUCCESS) return {0, ""};
  std::string text(value.data.begin(), value.data.end());
  return {value.type, text.substr(0, text.find('\0'))};
}

std::string RuntimeMachineTest::linkTarget(const std::string& windowsPath) {
  auto text = hosted::linkText(hostPath(windowsPath));
  return text ? *text : "";
}

std::vector<std::string> RuntimeMachineTest::pendingRenames() {
  RegistryKey key(HKEY_LOCAL_MACHINE);
  if (key.OpenKey("SYSTEM\\CurrentControlSet\\Control\\Session Manager", KEY_READ) != ERROR_SUCCESS) return {};
  RegistryValue value;
  if (key.QueryValue("PendingFileRenameOperations", value) != ERROR_SUCCESS) return {};
  std::vector<std::string> strings;
  std::string current;
  for (BYTE b : value.data) {
    if (b == 0) {
      strings.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(b);
    }
  }
  // The list ends in an empty string; a deletion's destination is an empty string too.
  if (!strings.empty() && strings.back().empty()) strings.pop_back();
  return strings;
}

}  // namespace zutest
