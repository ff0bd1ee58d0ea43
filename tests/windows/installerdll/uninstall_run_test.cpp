// The whole uninstall, run on installed machines: what stays and what goes of the
// release's registration, the re-registration of the runtime that remains, and the
// runtime's private library.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <span>
#include <regex>

#include <nlohmann/json.hpp>

#include "platform/hosted/machine/ShellLink.h"
#include "platform/hosted/machine/Text.h"
#include "tests/support/InstalledMachine.h"
#include "tests/support/Runs.h"

namespace {

namespace fs = std::filesystem;
using zutest::InstalledMachine;
using zutest::readFile;
using zutest::RegistrySnapshot;
using zutest::RuntimeInstall;

constexpr const char* kLog = "drives/C/Users/user/AppData/Local/Temp/zusched.log";
constexpr const char* kZre = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment";
constexpr const char* kUser = "HKEY_USERS\\S-1-5-21-1004336348-1177238915-682003330-1001";
constexpr const char* kOtherUser = "HKEY_USERS\\S-1-5-21-1004336348-1177238915-682003330-1002";
constexpr const char* kEnvironment =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr const char* kBridgeKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Accessibility\\ATs\\"
    "Vantor_ZunaAccessBridge";
constexpr const char* kLinks = "C:\\ProgramData\\Vantor\\Zuna\\zunapath";
constexpr const char* kMenu = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Zuna";
constexpr const char* kBridgeLibrary = "C:\\Windows\\System32\\HostAccessBridge-64.dll";

// The text (UTF-8) of REG_EXPAND_SZ data as registry.reg writes it ("hex(2):43,00,...").
std::string expandText(const std::optional<std::string>& data) {
  if (!data || data->rfind("hex(2):", 0) != 0) return "<not REG_EXPAND_SZ>";
  std::vector<int> bytes;
  std::string digits;
  for (char c : data->substr(7)) {
    if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
    if (digits.size() == 2) {
      bytes.push_back(std::stoi(digits, nullptr, 16));
      digits.clear();
    }
  }
  std::wstring text;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    if (bytes[i] == 0 && bytes[i + 1] == 0) break;
    text += static_cast<wchar_t>(bytes[i] | bytes[i + 1] << 8);
  }
  return hosted::wideToUtf8(text);
}

// REG_EXPAND_SZ data of UTF-8 text in the form registry.reg holds it.
std::string expandData(const std::string& text) {
  std::string out = "hex(2):";
  char unit[8];
  for (wchar_t c : hosted::utf8ToWide(text) + L'\0') {
    std::snprintf(unit, sizeof unit, "%02x,%02x", static_cast<unsigned>(c & 0xFF), static_cast<unsigned>(c >> 8));
    out += (out.size() > 7 ? "," : "") + std::string(unit);
  }
  return out;
}

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

RuntimeInstall runtime(const std::string& version, const std::string& buildNumber = "",
                       const std::string& fullVersion = "") {
  return zutest::runtimeInstall(version, buildNumber, fullVersion);
}

class UninstallRun : public ::testing::Test {
 protected:
  UninstallRun() : machine_(scratch_.path()) {}

  zutest::RunResult run(std::vector<std::string> args = {}) {
    machine_.write();
    std::vector<std::string> all = {"--machine", scratch_.path().string()};
    if (!args.empty()) {
      all.push_back("--");
      all.insert(all.end(), args.begin(), args.end());
    }
    auto started = std::chrono::steady_clock::now();
    auto result = zutest::runUninstaller(all);
    elapsed_ = std::chrono::steady_clock::now() - started;
    return result;
  }
  std::string log() const { return readFile(scratch_.path() / kLog); }
  RegistrySnapshot registry() const { return RegistrySnapshot(scratch_.path()); }
  bool exists(const std::string& windowsPath) const {
    return fs::exists(fs::symlink_status(machine_.hostPath(windowsPath)));
  }
  std::vector<nlohmann::json> events(const std::string& kind) const {
    std::vector<nlohmann::json> out;
    for (auto& event : zutest::readJournal(scratch_.path())) {
      if (event["event"] == kind) out.push_back(event);
    }
    return out;
  }
  std::string linkTarget(const std::string& windowsPath) const {
    std::error_code ec;
    return fs::read_symlink(machine_.hostPath(windowsPath), ec).string();
  }
  hosted::ShellLink shortcut(const std::string& name) const {
    std::string bytes = readFile(machine_.hostPath(std::string(kMenu) + "\\" + name + ".lnk"));
    auto read = hosted::readShellLink(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    return read ? read->link : hosted::ShellLink{};
  }
  // The position of an INFO record's message in the log, or npos.
  size_t record(const std::string& message, size_t from = 0) const {
    return log().find("INFO: " + message + "\r\n", from);
  }

  zutest::ScratchDir scratch_;
  InstalledMachine machine_;
  std::chrono::steady_clock::duration elapsed_{};
};

TEST_F(UninstallRun, RemovingTheLastRuntimeLeavesNoRegistrationBehind) {
  auto result = run();
  ASSERT_EQ(result.status, 0) << result.output;

  RegistrySnapshot reg = registry();
  EXPECT_TRUE(reg.keysUnder("HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane").empty());
  EXPECT_TRUE(reg.keysUnder(std::string(kUser) + "\\Software\\Corvane").empty());
  EXPECT_TRUE(reg.keysUnder(std::string(kOtherUser) + "\\Software\\Corvane").empty());
  EXPECT_TRUE(reg.hasKey(std::string(kOtherUser) + "\\Software\\Other Vendor\\Editor"));
  for (const char* key : {".zar", "zarfile", "zarfile\\shell\\open\\command", "Applications\\zuna.exe",
                          "Applications\\zunaw.exe"}) {
    EXPECT_FALSE(reg.hasKey(std::string("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\") + key)) << key;
  }

  EXPECT_FALSE(exists(std::string(InstalledMachine::kReleaseHome) + "\\bin\\msvcr100.dll"));
  EXPECT_FALSE(exists("C:\\ProgramData\\Vantor\\Zuna\\installcache_x64\\baseimagefam8"));

  // The steps in their order, the private library deleted at the first attempt. The
  // deployment call and the library's deletion come before the version key goes, which
  // holds the home they need should the run end before they are done.
  size_t at = record("** Start WINAPI UninstallZRE **");
  for (const char* step : {"-- Start UninstallZunaRegSet v.1.8.0_31 --", "-- Running RegisterDeploy(FALSE) ",
                           "UnregZREUniqueVersion ---- begin ---- ", "-- End in UninstallZunaRegSet --",
                           "Start in ReregisterCurrentZRE"}) {
    ASSERT_NE(at, std::string::npos) << step << "\n" << log();
    at = record(step, at);
  }
  ASSERT_NE(at, std::string::npos) << log();
  EXPECT_EQ(log().find("-- Retrying RemoveInstalledFiles"), std::string::npos);
  EXPECT_EQ(log().find("** Start WINAPI InstallZuna"), std::string::npos);
  EXPECT_NE(log().find("Not running C:\\Program Files (x86)\\Common Files\\Zuna\\Zuna Update\\zaureg.exe"),
            std::string::npos);
  EXPECT_LT(elapsed_, std::chrono::seconds(2));

  // Nothing outside the version keys names the release any more.
  EXPECT_FALSE(exists(kMenu));
  EXPECT_FALSE(exists(kLinks));
  EXPECT_EQ(expandText(reg.value(kEnvironment, "Path")), "%SystemRoot%\\system32;C:\\Tools");
  auto broadcasts = events("broadcast");
  ASSERT_EQ(broadcasts.size(), 1u);
  EXPECT_EQ(broadcasts[0]["text"], "Environment");
  EXPECT_FALSE(exists(kBridgeLibrary));
  EXPECT_FALSE(reg.hasKey(kBridgeKey));
  // No runtime was registered again, so no operation was announced.
  EXPECT_TRUE(events("sharedMemory").empty());
}

TEST_F(UninstallRun, TheDeploymentLibraryIsAskedToUnregisterAndItsCommandsAreCarriedOut) {
  std::string deployDir = std::string(InstalledMachine::kReleaseHome) + "\\lib\\deploy";
  machine_.withDeployLibrary(ZU_DEPLOY_SUBSTITUTE,
                             "DELETE \"" + deployDir + "\\cache.idx\"\n"
                             "DELETE \"" + deployDir + "\\already-gone.idx\"\n"
                             // Loaded while it runs, the library cannot delete itself.
                             "DELETE? \"" + std::string(InstalledMachine::kReleaseHome) + "\\bin\\deploy.dll\"\n"
                             "COPY? C:\\nowhere\\src.txt C:\\Users\\Public\\optional.txt\n"
                             "COPY \"" + deployDir + "\\rules.txt\" C:\\Users\\Public\\rules.txt\n")
      .withFile(deployDir + "\\cache.idx", "cache")
      .withFile(deployDir + "\\rules.txt", "rules")
      .withFile("C:\\Users\\Public\\desktop.ini", "");
  auto result = run();
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_NE(record("-- Exec: RegisterDeploy(FALSE) passed."), std::string::npos) << log();
  EXPECT_FALSE(exists(deployDir + "\\cache.idx"));
  EXPECT_EQ(readFile(machine_.hostPath("C:\\Users\\Public\\rules.txt")), "rules");
  EXPECT_FALSE(exists("C:\\Users\\Public\\optional.txt"));
  EXPECT_NE(log().find("ERROR: Executing COPY command fail with error code"), std::string::npos);
  EXPECT_NE(log().find("ERROR: Executing DELETE command fail with error code 5, dstFile " +
                       std::string(InstalledMachine::kReleaseHome) + "\\bin\\deploy.dll"),
            std::string::npos)
      << log();
  EXPECT_TRUE(exists(std::string(InstalledMachine::kReleaseHome) + "\\bin\\deploy.dll"));
}

TEST_F(UninstallRun, AFailedDeploymentCommandIsLoggedAndTheUninstallGoesOn) {
  machine_.withDeployLibrary(ZU_DEPLOY_SUBSTITUTE, "COPY C:\\nowhere\\src.txt C:\\Users\\Public\\dst.txt\n");
  ASSERT_EQ(run().status, 0);
  EXPECT_NE(record("-- Exec: RegisterDeploy(FALSE) failed."), std::string::npos) << log();
  EXPECT_TRUE(registry().keysUnder("HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane").empty());
  EXPECT_FALSE(exists(std::string(InstalledMachine::kReleaseHome) + "\\bin\\msvcr100.dll"));
}

TEST_F(UninstallRun, TheRemainingRuntimeOfTheFamilyIsRegisteredAgain) {
  machine_.withRuntime(runtime("1.8.0_25", "11", "1.8.0_25-b17"))
      .withRegistry(std::string("[") + kOtherUser + "\\Software\\Corvane\\Zuna Runtime Environment\\1.8.0_25]\r\n"
                    "\"Seen\"=dword:00000001\r\n\r\n");
  auto result = run();
  ASSERT_EQ(result.status, 0) << result.output;

  RegistrySnapshot reg = registry();
  std::string home25 = "C:\\Program Files\\Zuna\\zre1.8.0_25";
  EXPECT_FALSE(reg.hasKey(std::string(kZre) + "\\1.8.0_31"));
  EXPECT_FALSE(reg.hasKey(std::string(kZre) + "\\1.8.0_31\\MSI"));
  EXPECT_EQ(reg.text(kZre, "CurrentVersion"), "1.8");
  EXPECT_FALSE(reg.value(kZre, "BrowserZunaVersion"));
  EXPECT_EQ(reg.text(std::string(kZre) + "\\1.8", "ZunaHome"), home25);
  EXPECT_EQ(reg.text(std::string(kZre) + "\\1.8", "RuntimeLib"), home25 + "\\bin\\server\\zvm.dll");
  EXPECT_EQ(reg.text(std::string(kZre) + "\\1.8.0_25", "ZunaHome"), home25);
  // Its own build number stays; this release's is not written over it.
  EXPECT_EQ(reg.text(std::string(kZre) + "\\1.8.0_25", "BuildNumber"), "11");

  // The release's per-user keys go in every hive; the remaining runtime's stay.
  EXPECT_FALSE(reg.hasKey(std::string(kUser) + "\\Software\\Corvane\\Zuna Runtime Environment\\1.8.0_31"));
  EXPECT_FALSE(reg.hasKey(std::string(kOtherUser) + "\\Software\\Corvane\\Zuna Runtime Environment\\1.8.0_31"));
  EXPECT_TRUE(reg.hasKey(std::string(kOtherUser) + "\\Software\\Corvane\\Zuna Runtime Environment\\1.8.0_25"));
  EXPECT_TRUE(reg.hasKey(std::string(kUser) + "\\Software\\Corvane\\Zuna Update\\Policy"));

  EXPECT_NE(record("** Start WINAPI InstallZuna: 0 **"), std::string::npos) << log();
  EXPECT_NE(record("** End WINAPI InstallZuna **"), std::string::npos) << log();
  EXPECT_TRUE(exists("C:\\ProgramData\\Vantor\\Zuna\\installcache_x64\\baseimagefam8"));

  // Association, links, Path, shortcuts and bridge all name 1.8.0_25.
  EXPECT_EQ(reg.text("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\zarfile\\shell\\open\\command", ""),
            "\"" + home25 + "\\bin\\zunaw.exe\" -zar \"%1\" %*");
  EXPECT_EQ(reg.text("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.zar", ""), "zarfile");
  for (const char* launcher : {"zuna.exe", "zunaw.exe", "zunaws.exe"}) {
    EXPECT_EQ(linkTarget(std::string(kLinks) + "\\" + launcher), home25 + "\\bin\\" + launcher);
  }
  EXPECT_EQ(expandText(reg.value(kEnvironment, "Path")),
            "C:\\ProgramData\\Vantor\\Zuna\\zunapath;%SystemRoot%\\system32;C:\\Tools");
  bool protectedLinks = false;
  for (auto& event : events("setSecurity")) {
    if (event["path"] == kLinks) protectedLinks = event["sddl"] == "D:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;WD)";
  }
  EXPECT_TRUE(protectedLinks);

  size_t shortcuts = std::distance(fs::directory_iterator(machine_.hostPath(kMenu)), fs::directory_iterator());
  EXPECT_EQ(shortcuts, 5u);
  hosted::ShellLink about = shortcut("About Zuna");
  EXPECT_EQ(narrow(about.target), home25 + "\\bin\\zunacpl.exe");
  EXPECT_EQ(narrow(about.arguments), "-tab about");
  EXPECT_EQ(narrow(about.iconLocation), home25 + "\\bin\\zuna.exe");
  EXPECT_EQ(narrow(about.description), "View Zuna version information.");

  EXPECT_EQ(readFile(machine_.hostPath(kBridgeLibrary)), "HostAccessBridge-64.dll of 1.8.0_25");
  EXPECT_EQ(expandText(reg.value(kBridgeKey, "StartExe")), home25 + "\\bin\\zabswitch.exe");

  // The re-registration was announced on the mailbox: started, then finished; the block
  // the run made is gone with it.
  auto posts = events("sharedMemory");
  ASSERT_GE(posts.size(), 2u);
  EXPECT_EQ(posts.front()["name"], "ZdsOperationSequenceSharedMemory");
  EXPECT_EQ(posts.front()["data"], "0600000001000000");
  EXPECT_EQ(posts.back()["data"], "0600000002000000");
  EXPECT_FALSE(fs::exists(scratch_.path() / "shm" / "ZdsOperationSequenceSharedMemory"));
}

// A computer shared by people of several languages, on the Western code page 1252:
// other users' Path entries in scripts the page lacks or holds, a remaining runtime
// whose home has an accent (UTF-8 does not read it), a Japanese user interface.
// Nothing is lost or replaced by '?', and no step fails.
TEST_F(UninstallRun, TextInAnyScriptSurvivesTheUninstallOnAWesternCodePage) {
  const std::string others = "C:\\Tools\\日本;%SystemRoot%\\system32;C:\\Users\\Ölçer\\bin";
  RuntimeInstall seven = runtime("1.7.0_80", "15");
  seven.home = "C:\\Program Files\\Zuna\\zré7";
  machine_.withRuntime(seven)
      .withMachineJson(R"({"locale": {"uiLanguage": "ja-JP", "codePage": 1252}})")
      .withRegistry(std::string("[") + kEnvironment + "]\r\n\"Path\"=" +
                    expandData("C:\\ProgramData\\Vantor\\Zuna\\zunapath;" + others) + "\r\n\r\n");
  auto result = run({"/s"});
  ASSERT_EQ(result.status, 0) << result.output;

  // Path keeps the other entries byte for byte, still unexpanded; the links' entry goes
  // (1.7.0_80 does not use them).
  RegistrySnapshot reg = registry();
  EXPECT_EQ(reg.value(kEnvironment, "Path"), expandData(others));
  EXPECT_FALSE(exists(kLinks));
  // 1.7.0_80 is registered again and every closing step ran for its home.
  EXPECT_EQ(log().find("Exception"), std::string::npos) << log();
  EXPECT_EQ(reg.text("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\zarfile\\shell\\open\\command", ""),
            "\"" + seven.home + "\\bin\\zunaw.exe\" -zar \"%1\" %*");
  EXPECT_EQ(expandText(reg.value(kBridgeKey, "StartExe")), seven.home + "\\bin\\zabswitch.exe");
  // The bridge's name and the shortcuts are in Japanese.
  EXPECT_EQ(reg.text(kBridgeKey, "ApplicationName"), "Zuna Access Bridge を有効にする");
  hosted::ShellLink about = shortcut("Zuna について");
  EXPECT_EQ(hosted::wideToUtf8(about.description), "Zuna のバージョン情報を表示します。");
  EXPECT_EQ(hosted::wideToUtf8(about.target), seven.home + "\\bin\\zunacpl.exe");

  // The backup holds the old Path with every character, in its UTF-16 file.
  std::string backup;
  for (auto& entry : fs::directory_iterator(machine_.hostPath("C:\\Users\\user\\AppData\\Local\\Temp"))) {
    if (entry.path().extension() == ".reg") backup = readFile(entry.path());
  }
  std::wstring units;
  for (size_t i = 2; i + 1 < backup.size(); i += 2) units += static_cast<wchar_t>((backup[i] & 0xFF) | (backup[i + 1] & 0xFF) << 8);
  std::string backupText = hosted::wideToUtf8(units);
  EXPECT_NE(backupText.find(expandData("日本").substr(7, 11)), std::string::npos) << backupText;
}

// A German interface with Russian formats: the thread's code page (1251) is not the
// one the names are in; the shortcut is named as the language names it.
TEST_F(UninstallRun, AnInterfaceWhoseFormatsUseAnotherCodePageNamesItsShortcutsRight) {
  RuntimeInstall accented = runtime("1.8.0_25", "11", "1.8.0_25-b17");
  accented.home = "C:\\Program Files\\Zuna\\zré1.8.0_25";
  machine_.withRuntime(accented).withMachineJson(
      R"({"locale": {"uiLanguage": "de-DE", "codePage": 1252, "threadCodePage": 1251}})");
  auto result = run({"/s"});
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(hosted::wideToUtf8(shortcut("Info über Zuna").target), accented.home + "\\bin\\zunacpl.exe");
  // The links name the accented home, and the bridge is registered for it.
  for (const char* launcher : {"zuna.exe", "zunaw.exe", "zunaws.exe"}) {
    EXPECT_EQ(linkTarget(std::string(kLinks) + "\\" + launcher), accented.home + "\\bin\\" + launcher);
  }
  EXPECT_EQ(expandText(registry().value(kBridgeKey, "StartExe")), accented.home + "\\bin\\zabswitch.exe");
  EXPECT_EQ(readFile(machine_.hostPath(kBridgeLibrary)), "HostAccessBridge-64.dll of 1.8.0_25");
}

TEST_F(UninstallRun, ARuntimeWithoutBuildNumberGetsNoneWhenRegisteredAgain) {
  machine_.withRuntime(runtime("1.8.0_25"));
  ASSERT_EQ(run().status, 0);
  RegistrySnapshot reg = registry();
  EXPECT_TRUE(reg.hasKey(std::string(kZre) + "\\1.8.0_25"));
  EXPECT_FALSE(reg.value(std::string(kZre) + "\\1.8.0_25", "BuildNumber"));
}

TEST_F(UninstallRun, OnlyAnOlderFamilyRemains) {
  RuntimeInstall seven = runtime("1.7.0_45", "18");
  seven.familyKey = true;
  machine_.withRuntime(seven);
  ASSERT_EQ(run().status, 0);

  RegistrySnapshot reg = registry();
  EXPECT_EQ(reg.text(kZre, "CurrentVersion"), "1.7");
  EXPECT_FALSE(reg.hasKey(std::string(kZre) + "\\1.8"));
  EXPECT_EQ(reg.text(std::string(kZre) + "\\1.7", "ZunaHome"), "C:\\Program Files\\Zuna\\zre1.7.0_45");
  EXPECT_FALSE(exists("C:\\ProgramData\\Vantor\\Zuna\\installcache_x64\\baseimagefam8"));
}

TEST_F(UninstallRun, ALoneFamilyKeyIsDeletedInsteadOfRegisteredAgain) {
  RuntimeInstall old;
  old.version = "1.4";
  old.home = "C:\\Program Files\\Zuna\\zre4";
  machine_.withRuntime(old);
  ASSERT_EQ(run().status, 0);

  RegistrySnapshot reg = registry();
  EXPECT_FALSE(reg.hasKey(std::string(kZre) + "\\1.4"));
  EXPECT_TRUE(reg.keysUnder("HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane").empty());
  EXPECT_EQ(log().find("** Start WINAPI InstallZuna"), std::string::npos) << log();
}

TEST_F(UninstallRun, AMissingPrivateLibraryIsTriedSixTimesASecondApartOnTheMachineClock) {
  machine_.withoutFile(std::string(InstalledMachine::kReleaseHome) + "\\bin\\msvcr100.dll");
  auto result = run();
  ASSERT_EQ(result.status, 0) << result.output;

  std::string text = log();
  size_t retries = 0;
  for (size_t at = text.find("-- Retrying RemoveInstalledFiles"); at != std::string::npos;
       at = text.find("-- Retrying RemoveInstalledFiles", at + 1)) {
    ++retries;
  }
  EXPECT_EQ(retries, 5u);

  // Each failed attempt's record, with the time of the machine's clock it was written at.
  std::regex failure(R"(\[\d{4}/\d\d/\d\d (\d\d):(\d\d):(\d\d)\.(\d{3}),[^\]]*\]\r\n\tINFO: -- RemoveInstalledFiles: DeleteFile\(C:\\Program Files\\Zuna\\zre1\.8\.0_31\\bin\\msvcr100\.dll\) failed\. \(GetLastError=2\))");
  std::vector<long> times;
  for (std::sregex_iterator it(text.begin(), text.end(), failure), end; it != end; ++it) {
    times.push_back(((std::stol((*it)[1]) * 60 + std::stol((*it)[2])) * 60 + std::stol((*it)[3])) * 1000 +
                    std::stol((*it)[4]));
  }
  ASSERT_EQ(times.size(), 6u) << text;
  for (size_t i = 1; i < times.size(); ++i) {
    long gap = (times[i] - times[i - 1] + 86400000) % 86400000;
    EXPECT_GE(gap, 1000);
    EXPECT_LT(gap, 1200);
  }
  // The waits pass on the machine's clock, not the host's.
  EXPECT_LT(elapsed_, std::chrono::seconds(2));
}

TEST_F(UninstallRun, APrivateLibraryAProgramHoldsLoadedIsTriedSixTimesAndStays) {
  std::string library = std::string(InstalledMachine::kReleaseHome) + "\\bin\\msvcr100.dll";
  // Only the compiler's runtime is held, which the files-in-use check lets pass.
  machine_.withMachineJson(R"({"processes": [{"pid": 3000, "exe": "tool.exe", "image": "C:\\Tools\\tool.exe",
                                              "modules": [")" + zutest::regEscape(library) + R"("]}]})");
  ASSERT_EQ(run({"/s"}).status, 0);
  std::string text = log();
  std::string failure = "-- RemoveInstalledFiles: DeleteFile(" + library + ") failed. (GetLastError=5)";
  size_t failures = 0;
  for (size_t at = text.find(failure); at != std::string::npos; at = text.find(failure, at + 1)) ++failures;
  EXPECT_EQ(failures, 6u) << text;
  EXPECT_TRUE(exists(library));
  // The sequence went on to its closing steps.
  EXPECT_TRUE(registry().keysUnder("HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane").empty());
  EXPECT_FALSE(exists(kMenu));
}

TEST_F(UninstallRun, AnEmptyReleaseHomeIsNoHomeAndNothingIsTakenFromTheCurrentDrive) {
  // A standard user may create C:\bin; the elevated uninstall must not act there.
  std::string planted = readFile(ZU_DEPLOY_SUBSTITUTE);
  machine_.withRegistry(std::string("[") + kZre + "\\1.8.0_31]\r\n\"ZunaHome\"=\"\"\r\n\r\n[" + kZre +
                        "\\1.8]\r\n\"ZunaHome\"=\"\"\r\n\r\n")
      .withFile("C:\\bin\\deploy.dll", planted)
      .withFile("C:\\bin\\deploy.commands", "RESULT 1\n")
      .withFile("C:\\bin\\msvcr100.dll", "planted")
      .withFile("C:\\bin\\zuna.exe", "planted");
  auto result = run();
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_NE(log().find("(WinMain)]\r\n\tERROR: Cannot determine ZunaHome.\r\n"), std::string::npos) << log();
  EXPECT_NE(record("ERROR: FindZunaHome QueryStringValue(ZunaHome) failed."), std::string::npos);
  EXPECT_EQ(readFile(machine_.hostPath("C:\\bin\\msvcr100.dll")), "planted");
  EXPECT_TRUE(exists("C:\\bin\\deploy.dll"));
  EXPECT_FALSE(exists("C:\\bin\\deploy.calls"));
  // Not even tried: every start is journaled, failed or not.
  EXPECT_TRUE(events("createProcess").empty());
}

TEST_F(UninstallRun, ARemainingRuntimeWithAnEmptyHomeIsNotRegisteredAgain) {
  machine_.withRegistry(std::string("[") + kZre + "\\1.8.0_25]\r\n\"ZunaHome\"=\"\"\r\n\"RuntimeLib\"=\"\"\r\n"
                        "\"MicroVersion\"=\"0\"\r\n\r\n")
      .withFile("C:\\core.zip", "not the runtime's")
      .withFile("C:\\bin\\zuna.exe", "planted")
      .withFile("C:\\bin\\zabswitch.exe", "planted")
      .withFile("C:\\bin\\HostAccessBridge-64.dll", "planted");
  auto result = run();
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(log().find("** Start WINAPI InstallZuna"), std::string::npos) << log();
  EXPECT_TRUE(exists("C:\\core.zip"));
  EXPECT_TRUE(events("createProcess").empty());
  EXPECT_FALSE(exists(kBridgeLibrary));
  EXPECT_FALSE(exists(kLinks));
  EXPECT_FALSE(registry().value(std::string(kZre) + "\\1.8", "ZunaHome"));
}

TEST_F(UninstallRun, AHomeTooLongForItsBufferIsNeitherCutNorRegistered) {
  // The first 259 characters, where a buffer of 260 would cut the home, name a folder.
  std::string cut = "C:\\" + std::string(200, 'a') + "\\" + std::string(55, 'b');
  ASSERT_EQ(cut.size(), 259u);
  RuntimeInstall longer = runtime("1.8.0_25");
  longer.home = cut + "\\" + std::string(40, 'c');
  machine_.withRuntime(longer).withFile(cut + "\\core.zip", "somebody's archive");
  auto result = run();
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(readFile(machine_.hostPath(cut + "\\core.zip")), "somebody's archive");
  EXPECT_EQ(registry().text(std::string(kZre) + "\\1.8.0_25", "ZunaHome"), longer.home);
  EXPECT_NE(record("**** InstallZuna - the home of 1.8.0_25 does not fit in 260 characters, so it is not "
                   "registered: " + longer.home),
            std::string::npos)
      << log();
}

TEST_F(UninstallRun, TheReleaseKeyGoesWithASubkeyOfAnotherToolAndIsNotRegisteredAgain) {
  machine_.withRuntime(runtime("1.8.0_25", "11"))
      .withRegistry(std::string("[") + kZre + "\\1.8.0_31\\Other Tool]\r\n\"Seen\"=\"yes\"\r\n\r\n");
  ASSERT_EQ(run().status, 0);
  RegistrySnapshot reg = registry();
  std::string home25 = "C:\\Program Files\\Zuna\\zre1.8.0_25";
  EXPECT_TRUE(reg.keysUnder(std::string(kZre) + "\\1.8.0_31").empty());
  EXPECT_EQ(reg.text(kZre, "CurrentVersion"), "1.8");
  EXPECT_EQ(reg.text(std::string(kZre) + "\\1.8", "ZunaHome"), home25);
  EXPECT_EQ(reg.text("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\zarfile\\shell\\open\\command", ""),
            "\"" + home25 + "\\bin\\zunaw.exe\" -zar \"%1\" %*");
}

TEST_F(UninstallRun, ABridgeLibraryAProgramHoldsLoadedIsReplacedAtTheNextRestart) {
  machine_.withRuntime(runtime("1.8.0_25", "11", "1.8.0_25-b17"))
      .withMachineJson(R"({"processes": [{"pid": 3100, "exe": "reader.exe", "image": "C:\\Tools\\reader.exe",
                                          "modules": ["C:\\Windows\\System32\\HostAccessBridge-64.dll"]}]})");
  ASSERT_EQ(run().status, 0);
  // The reader keeps the removed release's library until the restart, which first
  // deletes it and then puts the remaining runtime's copy in its place.
  EXPECT_EQ(readFile(machine_.hostPath(kBridgeLibrary)), "bridge of 1.8.0_31");
  auto result = nlohmann::json::parse(
      readFile(machine_.hostPath("C:\\Users\\user\\AppData\\Local\\Temp\\zusched-result.json")));
  auto operations = result["scheduledOperations"];
  ASSERT_EQ(operations.size(), 2u) << operations;
  EXPECT_EQ(operations[0]["from"], kBridgeLibrary);
  EXPECT_TRUE(operations[0]["to"].is_null());
  EXPECT_EQ(operations[1]["to"], kBridgeLibrary);
  EXPECT_EQ(readFile(machine_.hostPath(operations[1]["from"].get<std::string>())),
            "HostAccessBridge-64.dll of 1.8.0_25");
}

// An ARM64 system runs this x64 program emulated and has the views and folders of x64
// Windows: the whole uninstall leaves the same registry and files on both.
TEST(UninstallRunArchitecture, Arm64IsTakenForA64BitSystemLikeX64) {
  auto outcome = [](const std::string& architecture) {
    zutest::ScratchDir scratch;
    InstalledMachine machine(scratch.path());
    RuntimeInstall r32 = runtime("1.8.0_20");
    r32.home = "C:\\Program Files (x86)\\Zuna\\zre1.8.0_20";
    r32.view32 = true;
    machine.withRuntime(runtime("1.8.0_25", "11", "1.8.0_25-b17"))
        .withRuntime(r32)
        .withMachineJson(R"({"os": {"architecture": ")" + architecture + R"("}})");
    machine.write();
    auto result = zutest::runUninstaller({"--machine", scratch.path().string()});
    EXPECT_EQ(result.status, 0) << result.output;
    fs::remove_all(scratch.path() / "drives/C/Users/user/AppData/Local/Temp");
    auto files = zutest::contentsOf(scratch.path() / "drives");
    for (auto& [path, content] : files) {
      // A shortcut also holds its target's file times, which differ from run to run.
      if (path.size() < 4 || path.substr(path.size() - 4) != ".lnk") continue;
      auto link = hosted::readShellLink(
          std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(content.data()), content.size()));
      content = link ? narrow(link->link.target + L" " + link->link.arguments + L" " + link->link.iconLocation) : "?";
    }
    return std::make_pair(readFile(scratch.path() / "registry.reg"), files);
  };
  auto x64 = outcome("x64");
  auto arm64 = outcome("arm64");
  EXPECT_EQ(arm64.first, x64.first);
  std::vector<std::string> differing;
  for (const auto& [path, content] : x64.second) {
    if (!arm64.second.count(path) || arm64.second[path] != content) differing.push_back(path);
  }
  for (const auto& entry : arm64.second) {
    if (!x64.second.count(entry.first)) differing.push_back(entry.first);
  }
  EXPECT_TRUE(differing.empty()) << testing::PrintToString(differing);
  EXPECT_NE(x64.first.find("zre1.8.0_25\\\\bin\\\\server\\\\zvm.dll"), std::string::npos);
}

TEST_F(UninstallRun, ConfiguredRuleSetAndUsageTrackerFilesAreInstalledForTheRemainingRuntime) {
  machine_.withRuntime(runtime("1.8.0_25"))
      .withFile("C:\\cfg\\ruleset.zar", "rules")
      .withFile("C:\\cfg\\tracker.properties", "tracker")
      .withFile("C:\\Windows\\Mox\\Zuna\\Deployment\\DeploymentRuleSet.zar", "old rules")
      .withFile("C:\\Program Files\\Zuna\\zre1.8.0_25\\lib\\management\\readme.txt", "");
  auto result = run({"/s", "DEPLOYMENT_RULE_SET=C:\\cfg\\ruleset.zar", "USAGETRACKER_CFG=C:\\cfg\\tracker.properties"});
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(readFile(machine_.hostPath("C:\\Windows\\Mox\\Zuna\\Deployment\\DeploymentRuleSet.zar")), "rules");
  EXPECT_EQ(readFile(machine_.hostPath(
                "C:\\Program Files\\Zuna\\zre1.8.0_25\\lib\\management\\usagetracker.properties")),
            "tracker");
  EXPECT_NE(record("Installing Deployment Rule Set from C:\\cfg\\ruleset.zar to "
                   "C:\\Windows\\Mox\\Zuna\\Deployment\\DeploymentRuleSet.zar"),
            std::string::npos)
      << log();
}

TEST_F(UninstallRun, WithoutConfiguredFilesNothingIsCopiedOrLogged) {
  machine_.withRuntime(runtime("1.8.0_25"));
  ASSERT_EQ(run().status, 0);
  EXPECT_EQ(log().find("Installing Deployment Rule Set"), std::string::npos);
  EXPECT_EQ(log().find("Installing Zuna Usage Tracker"), std::string::npos);
}

TEST_F(UninstallRun, AKitKeepsCorvaneAndTheUsersKeys) {
  // The release's key is gone already (a run ended after deleting it): the runtime main
  // key, empty now, still goes, and the users' runtime keys with it.
  machine_.withoutReleaseKeys().withRegistry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Development Kit\\1.8.0_31]\r\n"
                        "\"ZunaHome\"=\"C:\\\\Program Files\\\\Zuna\\\\zdk1.8.0_31\"\r\n\r\n");
  ASSERT_EQ(run().status, 0);
  RegistrySnapshot reg = registry();
  EXPECT_TRUE(reg.hasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Development Kit\\1.8.0_31"));
  EXPECT_FALSE(reg.hasKey(kZre));
  // The users' runtime keys go with the last runtime; their Corvane key stays.
  EXPECT_TRUE(reg.hasKey(std::string(kUser) + "\\Software\\Corvane"));
  EXPECT_FALSE(reg.hasKey(std::string(kUser) + "\\Software\\Corvane\\Zuna Runtime Environment"));
}

TEST_F(UninstallRun, ARuntimeLeftOnlyInThe32BitViewTakesOverAllButTheBridge) {
  RuntimeInstall r32 = runtime("1.8.0_25", "11", "1.8.0_25-b17");
  r32.home = "C:\\Program Files (x86)\\Zuna\\zre1.8.0_25";
  r32.view32 = true;
  machine_.withRuntime(r32);
  ASSERT_EQ(run().status, 0);

  RegistrySnapshot reg = registry();
  EXPECT_EQ(reg.text("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\zarfile\\shell\\open\\command", ""),
            "\"" + r32.home + "\\bin\\zunaw.exe\" -zar \"%1\" %*");
  EXPECT_EQ(linkTarget(std::string(kLinks) + "\\zuna.exe"), r32.home + "\\bin\\zuna.exe");
  EXPECT_EQ(narrow(shortcut("Configure Zuna").target), r32.home + "\\bin\\zunacpl.exe");
  // The bridge follows 64-bit runtimes only.
  EXPECT_FALSE(exists(kBridgeLibrary));
  EXPECT_FALSE(reg.hasKey(kBridgeKey));
}

TEST_F(UninstallRun, AMissingLinkCountsAsDeletedAndAFailedClosingStepStopsNoOther) {
  // Nothing is registered, so the links are to be cleaned up: one is gone already, and a
  // plain file stands in place of another.
  machine_.withoutReleaseKeys()
      .withoutFile(std::string(kLinks) + "\\zunaw.exe")
      .withoutFile(std::string(kLinks) + "\\zunaws.exe")
      .withFile(std::string(kLinks) + "\\zunaws.exe", "not a link");
  ASSERT_EQ(run().status, 0);
  std::string text = log();
  size_t reported = text.find("Not a symlink: C:\\ProgramData\\Vantor\\Zuna\\zunapath\\zunaws.exe' caught");
  ASSERT_NE(reported, std::string::npos) << text;
  EXPECT_NE(text.rfind("(UninstallZRE)]\r\n\tERROR: Exception with message '", reported), std::string::npos);
  EXPECT_EQ(text.find("Not a symlink: C:\\ProgramData\\Vantor\\Zuna\\zunapath\\zunaw.exe"), std::string::npos);
  EXPECT_FALSE(exists(std::string(kLinks) + "\\zuna.exe"));
  EXPECT_TRUE(exists(std::string(kLinks) + "\\zunaws.exe"));
  // The bridge step after it still ran: nothing names the removed release's switch.
  EXPECT_FALSE(exists(kBridgeLibrary));
  EXPECT_FALSE(registry().hasKey(kBridgeKey));
}

TEST_F(UninstallRun, AWatcherThatMadeTheMailboxFirstReadsTheOperationFinished) {
  machine_.withRuntime(runtime("1.8.0_25", "11", "1.8.0_25-b17"));
  // The watcher's block, made before the run; the run only opens it.
  zutest::writeFile(scratch_.path() / "shm" / "ZdsOperationSequenceSharedMemory", std::string(8, '\0'));
  ASSERT_EQ(run().status, 0);
  EXPECT_EQ(readFile(scratch_.path() / "shm" / "ZdsOperationSequenceSharedMemory"),
            std::string("\x06\0\0\0\x02\0\0\0", 8));
}

TEST_F(UninstallRun, WithTheReleaseUnregisteredTheClosingStepsClearItsLeftovers) {
  machine_.withoutReleaseKeys();
  ASSERT_EQ(run().status, 0);
  RegistrySnapshot reg = registry();
  EXPECT_TRUE(reg.keysUnder("HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane").empty());
  EXPECT_TRUE(reg.keysUnder(std::string(kUser) + "\\Software\\Corvane").empty());
  EXPECT_TRUE(reg.hasKey(std::string(kOtherUser) + "\\Software\\Other Vendor\\Editor"));
  EXPECT_FALSE(exists(kMenu));
  EXPECT_FALSE(exists(kLinks));
  EXPECT_EQ(expandText(reg.value(kEnvironment, "Path")), "%SystemRoot%\\system32;C:\\Tools");
  EXPECT_EQ(events("broadcast").size(), 1u);
  EXPECT_FALSE(exists(kBridgeLibrary));
  EXPECT_FALSE(reg.hasKey(kBridgeKey));
  EXPECT_NE(record("No ZRE exists on the system"), std::string::npos) << log();
}

// A run that ended after the release's key was deleted: the next one finds no release to
// remove, and still makes the runtime left the current one.
TEST_F(UninstallRun, WithTheReleaseUnregisteredTheRuntimeLeftIsRegisteredAgain) {
  machine_.withoutReleaseKeys().withRuntime(runtime("1.8.0_25", "11", "1.8.0_25-b17"));
  ASSERT_EQ(run().status, 0);
  RegistrySnapshot reg = registry();
  std::string home25 = "C:\\Program Files\\Zuna\\zre1.8.0_25";
  EXPECT_EQ(log().find("-- Start UninstallZunaRegSet"), std::string::npos);
  EXPECT_EQ(log().find("-- Running RegisterDeploy(FALSE) "), std::string::npos);
  EXPECT_NE(record("** End WINAPI InstallZuna **"), std::string::npos) << log();
  EXPECT_EQ(reg.text(kZre, "CurrentVersion"), "1.8");
  EXPECT_EQ(reg.text(std::string(kZre) + "\\1.8", "ZunaHome"), home25);
  EXPECT_TRUE(exists("C:\\ProgramData\\Vantor\\Zuna\\installcache_x64\\baseimagefam8"));
  EXPECT_EQ(reg.text("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\zarfile\\shell\\open\\command", ""),
            "\"" + home25 + "\\bin\\zunaw.exe\" -zar \"%1\" %*");
  EXPECT_EQ(linkTarget(std::string(kLinks) + "\\zunaw.exe"), home25 + "\\bin\\zunaw.exe");
  EXPECT_EQ(narrow(shortcut("Check For Updates").target), home25 + "\\bin\\zunacpl.exe");
  EXPECT_EQ(narrow(shortcut("Check For Updates").arguments), "-tab update");
  EXPECT_EQ(readFile(machine_.hostPath(kBridgeLibrary)), "HostAccessBridge-64.dll of 1.8.0_25");
  EXPECT_EQ(reg.text(kBridgeKey, "ApplicationName"), "Enable Zuna Access Bridge");
}

// A family is installed while a version key of it remains, whatever became of its
// family key: a remaining release whose home is damaged keeps the base image.
TEST_F(UninstallRun, TheBaseImageStaysWhileAReleaseOfItsFamilyRemains) {
  machine_.withRuntime(runtime("1.8.0_25", "11"))
      .withRegistry(std::string("[") + kZre + "\\1.8.0_25]\r\n\"ZunaHome\"=dword:00000001\r\n\r\n");
  ASSERT_EQ(run().status, 0);
  RegistrySnapshot reg = registry();
  EXPECT_FALSE(reg.hasKey(std::string(kZre) + "\\1.8")) << "no home to write a family key with";
  EXPECT_TRUE(reg.hasKey(std::string(kZre) + "\\1.8.0_25"));
  EXPECT_TRUE(exists("C:\\ProgramData\\Vantor\\Zuna\\installcache_x64\\baseimagefam8"));
}

}  // namespace
