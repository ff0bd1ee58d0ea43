// The run's undo file and result, made in-process on scratch machines: what each kind
// of change leaves in the file, that applying the file as the registry editor does
// gives back the registry as it was, and that neither file can change a run.
#include "windows/common/RegistryBackup.h"

#include <ctime>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/support/InstalledMachine.h"
#include "tests/support/RegApply.h"
#include "tests/support/TestMachine.h"
#include "windows/common/RegistryKey.h"
#include "windows/common/RunResult.h"
#include "windows/uninstallerexe/uninstaller.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kTemp = "C:\\Users\\user\\AppData\\Local\\Temp";
constexpr const char* kSid = "S-1-5-21-1004336348-1177238915-682003330-1001";

constexpr const char* kRegistry =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App]\r\n"
    "@=\"default\"\r\n"
    "\"Kept\"=\"same\"\r\n"
    "\"Changed\"=\"old \\\"quoted\\\" C:\\\\path\"\r\n"
    "\"Gone\"=dword:0000002a\r\n"
    "\"Expand\"=hex(2):25,00,41,00,25,00,00,00\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\\Sub]\r\n"
    "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
    "\"Bin\"=hex:01,02\r\n"
    "\"Q\"=hex(b):01,00,00,00,00,00,00,00\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\\Sub\\Deeper]\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Vendor]\r\n"
    "\"Old32\"=\"x\"\r\n\r\n"
    "[HKEY_USERS\\S-1-5-21-1004336348-1177238915-682003330-1001\\Software\\Vendor]\r\n"
    "\"User\"=\"u\"\r\n\r\n";

class RegistryBackupTest : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }

  void SetUp() override {
    zutest::writeFile(dir() / "registry.reg", kRegistry);
    load();
    before_ = zutest::registryContents(dir() / "registry.reg", kSid);
    RegistryBackup::instance().start(kTemp);
  }
  void TearDown() override {
    RegistryBackup::instance().stop();
    MachineTest::TearDown();
  }

  fs::path backupFile() const {
    std::string name = RegistryBackup::instance().fileName();
    return name.empty() ? fs::path() : hostPath(std::string(kTemp) + "\\" + name);
  }
  std::string backupText() const { return zutest::regFileText(zutest::readFile(backupFile())); }
  // Ends the run (the machine writes registry.reg), applies the backup, and gives the
  // registry that results.
  std::string undone() {
    std::string bytes = zutest::readFile(backupFile());
    hosted::Machine::unload();
    zutest::applyRegFile(dir(), bytes, kSid);
    return zutest::registryContents(dir() / "registry.reg", kSid);
  }

  std::string before_;
};

TEST_F(RegistryBackupTest, EveryKindOfChangeIsUndoneByApplyingTheFile) {
  RegistryKey app(HKEY_LOCAL_MACHINE);
  ASSERT_EQ(app.OpenKey("SOFTWARE\\Vendor\\App", KEY_ALL_ACCESS), ERROR_SUCCESS);
  EXPECT_EQ(app.SetValue("Changed", RegistryValue("new")), ERROR_SUCCESS);
  EXPECT_EQ(app.SetValue("Changed", RegistryValue("newer")), ERROR_SUCCESS);
  EXPECT_EQ(app.SetValue("Added", RegistryValue("x")), ERROR_SUCCESS);
  EXPECT_EQ(app.DeleteValue("gone"), ERROR_SUCCESS);
  EXPECT_EQ(app.CreateKey("New\\Deep", KEY_ALL_ACCESS), ERROR_SUCCESS);
  RegistryKey deep(HKEY_LOCAL_MACHINE);
  ASSERT_EQ(deep.OpenKey("SOFTWARE\\Vendor\\App\\New\\Deep", KEY_ALL_ACCESS), ERROR_SUCCESS);
  EXPECT_EQ(deep.SetValue("InNew", RegistryValue("y")), ERROR_SUCCESS);
  deep.Close();

  // Written again as it is: no change.
  EXPECT_EQ(app.SetValue("Kept", RegistryValue("same")), ERROR_SUCCESS);

  RegistryKey sub(HKEY_LOCAL_MACHINE);
  ASSERT_EQ(sub.OpenKey("SOFTWARE\\Vendor\\App\\Sub", KEY_ALL_ACCESS), ERROR_SUCCESS);
  EXPECT_EQ(sub.SetValue("Bin", RegistryValue(REG_BINARY, {9})), ERROR_SUCCESS);
  sub.Close();
  app.Close();

  // The whole tree goes after some of its values changed, and comes back with other
  // values: the file must undo the later changes first.
  RegistryTreeKey vendor;
  ASSERT_EQ(vendor.Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor", kKeyReadWriteSubkeys), ERROR_SUCCESS);
  EXPECT_EQ(vendor.RecurseDeleteKey("App"), ERROR_SUCCESS);
  vendor.Close();
  {
    CheckedRegistryKey again = CheckedRegistryKey::Open(RegistryRoot::LocalMachine(), "SOFTWARE\\Vendor\\App", 1);
    again.SetExpandStringValue("Fresh", "%TEMP%");
  }
  RegistryKey user(HKEY_CURRENT_USER);
  ASSERT_EQ(user.OpenKey("Software\\Vendor", KEY_ALL_ACCESS), ERROR_SUCCESS);
  EXPECT_EQ(user.SetValue("User", RegistryValue("changed")), ERROR_SUCCESS);
  user.Close();

  std::string name = RegistryBackup::instance().fileName();
  EXPECT_TRUE(name.rfind("zusched-backup-", 0) == 0 && name.size() == 34 && name.ends_with(".reg")) << name;
  std::string bytes = zutest::readFile(backupFile());
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  std::string text = backupText();
  EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\r\n\r\n", 0), 0u) << text;
  // Newest first: the per-user value, changed last, leads.
  EXPECT_EQ(text.find("[HKEY_CURRENT_USER\\Software\\Vendor]\r\n\"User\"=\"u\"\r\n"), 40u) << text;
  for (const char* line : {"\"Changed\"=\"old \\\"quoted\\\" C:\\\\path\"\r\n", "\"Gone\"=dword:0000002a\r\n",
                           "\"Added\"=-\r\n", "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\\New]\r\n",
                           "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App]\r\n",
                           "\"Expand\"=hex(2):25,00,41,00,25,00,00,00\r\n",
                           "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n", "\"Q\"=hex(b):01,00,00,00,00,00,00,00\r\n",
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\\Sub\\Deeper]\r\n", "@=\"default\"\r\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  }
  // Each value's first change only: the second change of Changed and the values set
  // inside a key the run made or deleted have no record of their own.
  EXPECT_EQ(text.find("\"Changed\"=\"new\""), std::string::npos) << text;
  EXPECT_EQ(text.find("\"InNew\"=-"), std::string::npos) << text;
  EXPECT_EQ(text.find("Fresh"), std::string::npos) << text;
  EXPECT_EQ(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App]\r\n\"Kept\""), std::string::npos) << text;

  RegistryChangeCounts counts = RegistryBackup::instance().counts();
  EXPECT_EQ(counts.keysCreated, 3);  // New, New\Deep, App again
  EXPECT_EQ(counts.keysRemoved, 5);  // App, Sub, Deeper, New, Deep
  EXPECT_EQ(counts.valuesCreated, 3);
  EXPECT_EQ(counts.valuesChanged, 4);
  EXPECT_EQ(counts.valuesRemoved, 1);

  EXPECT_EQ(undone(), before_);
}

TEST_F(RegistryBackupTest, KeysOfThe32BitViewAreNamedWhereTheRegistryEditorFindsThem) {
  zutest::writeFile(dir() / "machine.json", R"({"process": {"bitness": 32}})");
  load();
  RegistryBackup::instance().start(kTemp);
  RegistryKey vendor(HKEY_LOCAL_MACHINE);
  ASSERT_EQ(vendor.OpenKey("SOFTWARE\\Vendor", KEY_ALL_ACCESS), ERROR_SUCCESS);
  EXPECT_EQ(vendor.DeleteValue("Old32"), ERROR_SUCCESS);
  EXPECT_EQ(vendor.CreateKey("Made", KEY_ALL_ACCESS), ERROR_SUCCESS);
  vendor.Close();
  RegistryTreeKey wide;
  ASSERT_EQ(wide.Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor", kKeyReadWriteSubkeys | KEY_WOW64_64KEY), ERROR_SUCCESS);
  EXPECT_EQ(wide.RecurseDeleteKey("App"), ERROR_SUCCESS);
  wide.Close();

  std::string text = backupText();
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Vendor]\r\n\"Old32\"=\"x\"\r\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Vendor\\Made]\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App]\r\n"), std::string::npos) << text;
  EXPECT_EQ(undone(), before_);
}

TEST_F(RegistryBackupTest, NothingIsRecordedOutsideARunOrForAFailedChangeAndABrokenFileIsNotNamed) {
  RegistryKey app(HKEY_LOCAL_MACHINE);
  ASSERT_EQ(app.OpenKey("SOFTWARE\\Vendor\\App", KEY_ALL_ACCESS), ERROR_SUCCESS);
  EXPECT_EQ(app.SetValue("Changed", RegistryValue("first")), ERROR_SUCCESS);  // an earlier run's change
  std::string earlier = zutest::readFile(backupFile());
  RegistryBackup::instance().stop();
  EXPECT_EQ(app.SetValue("Changed", RegistryValue("new")), ERROR_SUCCESS);
  EXPECT_EQ(zutest::readFile(backupFile()), earlier);

  RegistryBackup::instance().start(kTemp);  // a run knows the keys it opens itself
  ASSERT_EQ(app.OpenKey("SOFTWARE\\Vendor\\App", KEY_ALL_ACCESS), ERROR_SUCCESS);
  machine().faults().failNext("RegSetValueExA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(app.SetValue("Kept", RegistryValue("other")), ERROR_ACCESS_DENIED);
  EXPECT_EQ(app.DeleteValue("NoSuchValue"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(app.DeleteSubKey("NoSuchKey"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegistryBackup::instance().fileName(), "");

  // The earlier run's change does not cover this run's. A backup that can no longer be
  // written would not undo the whole run: the result must not offer it.
  EXPECT_EQ(app.SetValue("Changed", RegistryValue("newer")), ERROR_SUCCESS);
  std::string name = RegistryBackup::instance().fileName();
  ASSERT_NE(name, "");
  machine().faults().failNext("CreateFileA", ERROR_DISK_FULL, std::string(kTemp) + "\\" + name);
  EXPECT_EQ(app.DeleteValue("Gone"), ERROR_SUCCESS);
  EXPECT_EQ(RegistryBackup::instance().fileName(), "");
  EXPECT_EQ(RegistryBackup::instance().counts().valuesRemoved, 1);
  EXPECT_NE(log().find("ERROR: Cannot write the registry backup C:\\Users\\user\\AppData\\Local\\Temp\\" + name +
                       " (error 112); the run goes on without it."),
            std::string::npos)
      << log();
  app.Close();
  EXPECT_EQ(machine().handles().openCount(), 0u);
}

using RunResultTest = zutest::MachineTest;

// The fields a run fills in from a process in use, and the backup's name, are checked by
// the runs that make them.
TEST_F(RunResultTest, TextsAreAsciiEscapedAndCountsAndScheduledOperationsListed) {
  RunResult& result = RunResult::instance();
  result.start("1.8.0_31 \"q\" \\ \xE9\x01");
  result.scheduled("C:\\a\\b.dll", nullptr);
  result.scheduled("C:\\t.tmp", "C:\\b.dll");
  result.fileRemoved();
  result.fileRemoved();
  result.linkCreated();
  RegistryChangeCounts counts;
  counts.keysRemoved = 4;
  counts.valuesChanged = 2;
  std::string text = result.toJson(610017, "", counts);
  for (unsigned char c : text) EXPECT_LT(c, 0x80);
  auto json = nlohmann::json::parse(text);
  EXPECT_EQ(json["release"], "1.8.0_31 \"q\" \\ \u00e9\u0001");
  EXPECT_EQ(json["restartNeeded"], true);
  EXPECT_TRUE(json["backup"].is_null());
  EXPECT_EQ(json["scheduledOperations"],
            nlohmann::json::parse(R"([{"from": "C:\\a\\b.dll", "to": null}, {"from": "C:\\t.tmp", "to": "C:\\b.dll"}])"));
  EXPECT_EQ(json["removed"], nlohmann::json::parse(R"({"keys": 4, "values": 0, "files": 2, "links": 0})"));
  EXPECT_EQ(json["created"], nlohmann::json::parse(R"({"keys": 0, "values": 0, "files": 0, "links": 1})"));
  EXPECT_EQ(json["changed"], nlohmann::json::parse(R"({"values": 2})"));
}

// The whole run, in-process, with the layer refusing the two files.
class RunRecordsOfWinMain : public zutest::MachineTest {
 protected:
  int run() { return WinMain(nullptr, nullptr, const_cast<char*>(""), 1); }
  fs::path result() { return hostPath(std::string(kTemp) + "\\zusched-result.json"); }
};

TEST_F(RunRecordsOfWinMain, AResultThatCannotBeWrittenIsLoggedAndTheRunEndsAsUsual) {
  machine().faults().failNext("CreateFileA", ERROR_ACCESS_DENIED, std::string(kTemp) + "\\zusched-result.json");
  EXPECT_EQ(run(), 0);
  EXPECT_FALSE(fs::exists(result()));
  EXPECT_NE(log().find("ERROR: Cannot write the result of the run to C:\\Users\\user\\AppData\\Local\\Temp\\"
                       "zusched-result.json (error 5)."),
            std::string::npos)
      << log();
}

TEST_F(RunRecordsOfWinMain, ABackupThatCannotBeWrittenIsLoggedAndTheRunEndsAsUsual) {
  // The same installed machine twice: one run as usual, one whose backup is refused
  // under every name it may take in the seconds the run lasts.
  zutest::ScratchDir usual;
  zutest::InstalledMachine(usual.path()).write();
  hosted::Machine::load(usual.path(), {});
  int usualExit = run();
  hosted::Machine::unload();

  zutest::InstalledMachine(dir()).write();
  load();
  auto now = machine().now();
  for (int second = 0; second < 120; ++second) {
    std::time_t at = std::chrono::system_clock::to_time_t(now + std::chrono::seconds(second));
    std::tm local{};
    localtime_r(&at, &local);
    char name[64];
    std::strftime(name, sizeof name, "zusched-backup-%Y%m%d-%H%M%S.reg", &local);
    machine().faults().failNext("CreateFileA", ERROR_ACCESS_DENIED, std::string(kTemp) + "\\" + name);
  }
  EXPECT_EQ(run(), usualExit);
  std::string text = log();
  size_t first = text.find("ERROR: Cannot create the registry backup C:\\Users\\user\\AppData\\Local\\Temp\\zusched-backup-");
  ASSERT_NE(first, std::string::npos) << text;
  EXPECT_NE(text.find("(error 5); the run goes on without it.", first), std::string::npos) << text;
  EXPECT_EQ(text.find("Cannot create the registry backup", first + 10), std::string::npos) << "logged once";
  auto json = nlohmann::json::parse(zutest::readFile(result()));
  EXPECT_EQ(json["exitCode"], usualExit);
  EXPECT_TRUE(json["backup"].is_null());
  EXPECT_GE(json["removed"]["keys"].get<int>(), 1);
  hosted::Machine::unload();
  EXPECT_EQ(zutest::registryContents(dir() / "registry.reg", kSid),
            zutest::registryContents(usual.path() / "registry.reg", kSid));
}

}  // namespace
