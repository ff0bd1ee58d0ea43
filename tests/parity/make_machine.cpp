// Writes one of the installed machines of the whole-uninstall tests into a directory, so
// that the parity suite runs the same machines on the hosted build and under Wine:
//   zu_parity_machine SCENARIO DIR DEPLOY_LIBRARY
#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/support/InstalledMachine.h"

namespace {

using zutest::InstalledMachine;
using zutest::RuntimeInstall;

RuntimeInstall runtime(const std::string& version, const std::string& buildNumber = "",
                       const std::string& fullVersion = "") {
  return zutest::runtimeInstall(version, buildNumber, fullVersion);
}

bool describe(const std::string& scenario, const std::filesystem::path& library, InstalledMachine& machine) {
  std::string deployDir = std::string(InstalledMachine::kReleaseHome) + "\\lib\\deploy";
  if (scenario == "last-runtime") return true;
  if (scenario == "runtime-remains") {
    machine.withRuntime(runtime("1.8.0_25", "11", "1.8.0_25-b17"));
    return true;
  }
  if (scenario == "home-accent") {
    // A home the ANSI code page (1252) holds but UTF-8 does not read: "zr\xE9" there.
    RuntimeInstall accented = runtime("1.8.0_25", "11", "1.8.0_25-b17");
    accented.home = "C:\\Program Files\\Zuna\\zr\u00e91.8.0_25";
    machine.withRuntime(accented);
    return true;
  }
  if (scenario == "runtime-32") {
    RuntimeInstall r32 = runtime("1.8.0_25", "11", "1.8.0_25-b17");
    r32.home = "C:\\Program Files (x86)\\Zuna\\zre1.8.0_25";
    r32.view32 = true;
    machine.withRuntime(r32);
    return true;
  }
  if (scenario == "deployment") {
    machine
        .withDeployLibrary(library, "DELETE \"" + deployDir + "\\cache.idx\"\n"
                                    "DELETE \"" + deployDir + "\\already-gone.idx\"\n"
                                    "COPY? C:\\nowhere\\src.txt C:\\Users\\Public\\optional.txt\n"
                                    "COPY \"" + deployDir + "\\rules.txt\" C:\\Users\\Public\\rules.txt\n")
        .withFile(deployDir + "\\cache.idx", "cache")
        .withFile(deployDir + "\\rules.txt", "rules")
        .withFile("C:\\Users\\Public\\desktop.ini", "");
    return true;
  }
  if (scenario == "configured-files") {
    machine.withRuntime(runtime("1.8.0_25"))
        .withFile("C:\\cfg\\ruleset.zar", "rules")
        .withFile("C:\\cfg\\tracker.properties", "tracker")
        .withFile("C:\\Windows\\Mox\\Zuna\\Deployment\\DeploymentRuleSet.zar", "old rules")
        .withFile("C:\\Program Files\\Zuna\\zre1.8.0_25\\lib\\management\\readme.txt", "");
    return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: zu_parity_machine SCENARIO DIR DEPLOY_LIBRARY\n");
    return 64;
  }
  InstalledMachine machine{std::filesystem::path(argv[2])};
  if (!describe(argv[1], argv[3], machine)) {
    std::fprintf(stderr, "zu_parity_machine: no scenario '%s'\n", argv[1]);
    return 64;
  }
  machine.write();
  return 0;
}
