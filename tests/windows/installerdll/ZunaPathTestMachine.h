// A machine with runtimes registered as the installer registers them (version key
// with ZunaHome, RuntimeLib, MicroVersion and an MSI subkey), their launchers on the
// drive, and the machine Path; shared by the links and access bridge tests.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/TestMachine.h"
#include "windows/common/RegistryKey.h"

namespace zutest {

struct Runtime {
  Runtime(std::string name, bool inWow = false) : version(std::move(name)), wow(inWow), fullVersion(version + "-b13") {}
  std::string version;      // the version key's name, "1.8.0_25"
  bool wow = false;         // registered in the 32-bit view
  std::string fullVersion;  // MSI\FullVersion; empty: the MSI key has none
  // When set, bin\zuna.exe is a script that prints `zuna full version "<this>"` for
  // -fullversion; otherwise it is a plain file that cannot run.
  std::string printedFullVersion;
  bool zabswitch = true;    // bin\zabswitch.exe is there
  std::string home() const {
    return std::string(wow ? "C:\\Program Files (x86)" : "C:\\Program Files") + "\\Zuna\\zre" + version;
  }
};

class RuntimeMachineTest : public MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }

  // Writes registry.reg (the runtimes, the Path value unless `path` is null, and
  // `extraKeys`), machine.json and the runtimes' files, then loads the machine.
  void build(const std::vector<Runtime>& runtimes, const char* path = "C:\\Windows\\system32;C:\\Windows",
             const std::string& machineJson = "", const std::string& extraKeys = "");

  static std::string regText(const std::string& text);
  std::string log() { return readFile(hostPath("C:\\Users\\user\\AppData\\Local\\Temp\\zusched.log")); }
  std::vector<nlohmann::json> events(const std::string& name);

  // The Path value: its type and text (type 0 when there is none).
  std::pair<DWORD, std::string> pathValue();
  // The target text of a link on the machine, or "" when the entry is no link.
  std::string linkTarget(const std::string& windowsPath);
  // PendingFileRenameOperations: source and destination (empty for a deletion) in turn.
  std::vector<std::string> pendingRenames();

  static constexpr const char* kZunapath = "C:\\ProgramData\\Vantor\\Zuna\\zunapath";
};

}  // namespace zutest
