// A machine directory on which Zuna runtimes are installed, for runs of the uninstaller:
// the release 1.8.0_31 with everything it registers, beside whatever other runtimes a test
// adds. Each test states only what differs from the typical installation.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/TestMachine.h"

namespace zutest {

// An installed runtime: its version key and the files of its home.
struct RuntimeInstall {
  std::string version;                 // the version key's name, e.g. "1.8.0_25"
  std::string home;                    // e.g. "C:\\Program Files\\Zuna\\zre1.8.0_25"
  bool view32 = false;                 // registered in the 32-bit registry view
  std::string fullVersion;             // the MSI key's FullVersion; empty: no MSI key
  std::string buildNumber;             // empty: no BuildNumber value
  bool familyKey = false;              // also write its family key ("1.8") naming it
  std::string printedFullVersion;      // set: bin\zuna.exe is a program printing it for -fullversion
  std::vector<std::string> binFiles = {"zuna.exe", "zunaw.exe", "zunaws.exe", "zunacpl.exe",
                                       "zabswitch.exe", "HostAccessBridge-64.dll",
                                       "HostAccessBridge-32.dll", "msvcr100.dll"};
};

// A runtime installed where the installer puts it, C:\Program Files\Zuna\zre<version>.
inline RuntimeInstall runtimeInstall(const std::string& version, const std::string& buildNumber = "",
                                     const std::string& fullVersion = "") {
  RuntimeInstall r;
  r.version = version;
  r.home = "C:\\Program Files\\Zuna\\zre" + version;
  r.buildNumber = buildNumber;
  r.fullVersion = fullVersion;
  return r;
}

class InstalledMachine {
 public:
  static constexpr const char* kUserSid = "S-1-5-21-1004336348-1177238915-682003330-1001";
  static constexpr const char* kOtherUserSid = "S-1-5-21-1004336348-1177238915-682003330-1002";
  static constexpr const char* kReleaseHome = "C:\\Program Files\\Zuna\\zre1.8.0_31";

  explicit InstalledMachine(std::filesystem::path dir) : dir_(std::move(dir)) {}

  // The release being removed, with its keys, files, per-user keys, association, links,
  // Path entry, shortcuts, bridge and cached base image.
  InstalledMachine& withRelease(bool present = true) { return set(release_, present); }
  // Everything the release left on the machine, but not its version keys: only the
  // uninstall's closing steps find anything to do.
  InstalledMachine& withoutReleaseKeys() { return set(releaseKeys_, false); }
  InstalledMachine& withRuntime(RuntimeInstall runtime) {
    runtimes_.push_back(std::move(runtime));
    return *this;
  }
  // Extra registry text (blocks in the .reg format, without the file header).
  InstalledMachine& withRegistry(const std::string& blocks) { return set(extraRegistry_, extraRegistry_ + blocks); }
  InstalledMachine& withMachineJson(const std::string& json) { return set(machineJson_, json); }
  // A file on the drives, by its Windows path.
  InstalledMachine& withFile(const std::string& windowsPath, const std::string& text) {
    return set(files_[windowsPath], text);
  }

  // The release's bin\deploy.dll: a copy of the host library at `library`, with the
  // deploy.commands text it returns its commands from.
  InstalledMachine& withDeployLibrary(const std::filesystem::path& library, const std::string& commands) {
    deployLibrary_ = library;
    return set(deployCommands_, commands);
  }

  // A file the typical installation has and this machine lacks.
  InstalledMachine& withoutFile(const std::string& windowsPath) {
    missing_.push_back(windowsPath);
    return *this;
  }
  // A symbolic link to a Windows path; a junction when the target starts with "\\??\\".
  InstalledMachine& withLink(const std::string& windowsPath, const std::string& target) {
    return set(links_[windowsPath], target);
  }
  // The machine's Path value in place of the typical one (the links' folder first); none
  // when nullopt.
  InstalledMachine& withPath(std::optional<std::string> value, bool expandable = true) {
    pathGiven_ = true;
    pathExpandable_ = expandable;
    return set(path_, std::move(value));
  }

  // Writes machine.json, registry.reg and the files.
  void write() const;

  const std::filesystem::path& dir() const { return dir_; }
  std::filesystem::path hostPath(const std::string& windowsPath) const;

 private:
  template <typename T, typename V>
  InstalledMachine& set(T& field, V&& value) {
    field = std::forward<V>(value);
    return *this;
  }

  std::filesystem::path dir_;
  bool release_ = true;
  bool releaseKeys_ = true;
  std::vector<RuntimeInstall> runtimes_;
  std::string extraRegistry_;
  std::string machineJson_;
  std::map<std::string, std::string> files_;
  std::vector<std::string> missing_;
  std::filesystem::path deployLibrary_;
  std::string deployCommands_;
  std::map<std::string, std::string> links_;
  bool pathGiven_ = false;
  std::optional<std::string> path_;
  bool pathExpandable_ = true;
};

// Fixture for the program's steps called in-process on an installed machine: state what
// `installed` holds (the release by default), then loadInstalled().
class InstalledMachineTest : public MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }
  hosted::Machine& loadInstalled() {
    hosted::Machine::unload();
    installed.write();
    return load();
  }
  InstalledMachine installed{dir()};
};

// The text form of a Windows path in a .reg file ("C:\\a" for C:\a).
std::string regEscape(const std::string& text);
// REG_EXPAND_SZ data of UTF-8 text as a .reg file holds it ("hex(2):43,00,...").
std::string regExpandData(const std::string& text);

// registry.reg as keys and their value lines, for assertions after a run. Key paths and
// value names compare without regard to case, as Windows compares them.
class RegistrySnapshot {
 public:
  explicit RegistrySnapshot(const std::filesystem::path& machineDir);
  bool hasKey(const std::string& path) const;
  // The value's data as the .reg text writes it ("\"1.8\"", "hex(2):...", "dword:..."),
  // or nothing when the key or value is missing.
  std::optional<std::string> value(const std::string& key, const std::string& name) const;
  // The text of a REG_SZ value, unescaped.
  std::optional<std::string> text(const std::string& key, const std::string& name) const;
  // The UTF-8 text of a REG_EXPAND_SZ value.
  std::optional<std::string> expandText(const std::string& key, const std::string& name) const;
  // Every key whose path starts with `prefix`.
  std::vector<std::string> keysUnder(const std::string& prefix) const;

 private:
  std::map<std::string, std::map<std::string, std::string>> keys_;  // upper-cased
};

}  // namespace zutest
