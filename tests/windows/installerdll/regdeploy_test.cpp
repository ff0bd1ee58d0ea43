// The deployment library's unregistration: the calling contract's layouts, the results
// of RegisterDeploy, and the file commands it carries out. The library is the
// substitute of examples/deploy placed in the runtime's bin folder; it returns the
// commands of deploy.commands beside it and records its calls in deploy.calls.
#include "windows/installerdll/regdeploy.h"

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/Runs.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kHome = "C:\\Program Files\\Zuna\\zre1.8.0_31";

TEST(DeployLayout, ParameterBlockIs44BytesOfWords) {
  EXPECT_EQ(sizeof(DeployParameterBlock), 44u);
  EXPECT_EQ(offsetof(DeployParameterBlock, size), 0u);
  EXPECT_EQ(offsetof(DeployParameterBlock, version), 4u);
  EXPECT_EQ(offsetof(DeployParameterBlock, reserved), 8u);
  EXPECT_EQ(offsetof(DeployParameterBlock, webMode), 12u);
  EXPECT_EQ(offsetof(DeployParameterBlock, securityLevel), 16u);
  EXPECT_EQ(offsetof(DeployParameterBlock, reservedWords), 20u);
}

TEST(DeployLayout, CommandListHeaderIs24BytesWithThePointerLast) {
  EXPECT_EQ(sizeof(DeployCommandList), 24u);
  EXPECT_EQ(offsetof(DeployCommandList, reserved), 0u);
  EXPECT_EQ(offsetof(DeployCommandList, capacity), 4u);
  EXPECT_EQ(offsetof(DeployCommandList, count), 8u);
  EXPECT_EQ(offsetof(DeployCommandList, reserved2), 12u);
  EXPECT_EQ(offsetof(DeployCommandList, commands), 16u);
}

TEST(DeployLayout, CommandRecordIs48Bytes) {
  EXPECT_EQ(sizeof(DeployCommandRecord), 48u);
  EXPECT_EQ(offsetof(DeployCommandRecord, kind), 0u);
  EXPECT_EQ(offsetof(DeployCommandRecord, continueOnError), 4u);
  EXPECT_EQ(offsetof(DeployCommandRecord, source), 8u);
  EXPECT_EQ(offsetof(DeployCommandRecord, destination), 16u);
  EXPECT_EQ(offsetof(DeployCommandRecord, onSuccess), 24u);
  EXPECT_EQ(offsetof(DeployCommandRecord, onFailure), 32u);
  EXPECT_EQ(offsetof(DeployCommandRecord, reserved), 40u);
}

class RegisterDeployTest : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }

  fs::path bin() const { return hostPath(std::string(kHome) + "\\bin"); }
  void placeLibrary(const char* built = ZU_DEPLOY_SUBSTITUTE) {
    fs::create_directories(bin());
    fs::copy_file(built, bin() / "deploy.dll");
  }
  void commands(const std::string& text) { zutest::writeFile(bin() / "deploy.commands", text); }
  std::string calls() { return zutest::readFile(bin() / "deploy.calls"); }
  std::string log() { return zutest::readFile(hostPath("C:\\Users\\user\\AppData\\Local\\Temp\\zusched.log")); }
  void file(const std::string& windowsPath, const std::string& text) { zutest::writeFile(hostPath(windowsPath), text); }
  bool libraryLoaded() {
    return GetModuleHandleA((std::string(kHome) + "\\bin\\deploy.dll").c_str()) != nullptr;
  }
};

TEST_F(RegisterDeployTest, CommandsAreCarriedOutAndExcusedFailuresSkipped) {
  load();
  placeLibrary();
  file("C:\\Zuna\\old.txt", "old");
  file("C:\\Zuna\\src.txt", "new");
  file("C:\\Zuna\\dst.txt", "stale");
  commands(
      "# what a runtime's library asks for\n"
      "DELETE +ok C:\\Zuna\\old.txt\n"
      "DELETE +ok C:\\Zuna\\gone.txt\n"
      "COPY? C:\\Zuna\\missing.txt C:\\Zuna\\never.txt\n"
      "COPY +ok C:\\Zuna\\src.txt C:\\Zuna\\dst.txt\n");
  EXPECT_EQ(RegisterDeploy(FALSE, kHome), 0u);

  EXPECT_FALSE(fs::exists(hostPath("C:\\Zuna\\old.txt")));
  EXPECT_FALSE(fs::exists(hostPath("C:\\Zuna\\never.txt")));
  EXPECT_EQ(zutest::readFile(hostPath("C:\\Zuna\\dst.txt")), "new");
  EXPECT_EQ(zutest::readFile(hostPath("C:\\Zuna\\src.txt")), "new");
  // The library saw the parameter block and an empty list of 20 slots; the delete of
  // a file already gone counted as done.
  EXPECT_EQ(calls(),
            "call size=44 version=4 reserved=0 webMode=0 securityLevel=0 reservedWords=0,0,0,0,0,0 capacity=20 "
            "count=0\n"
            "success - C:\\Zuna\\old.txt\n"
            "success - C:\\Zuna\\gone.txt\n"
            "success C:\\Zuna\\src.txt C:\\Zuna\\dst.txt\n");
  std::string text = log();
  EXPECT_NE(text.find("INFO: UnregisterDeploy found"), std::string::npos) << text;
  EXPECT_NE(text.find("ERROR: Executing COPY command fail with error code 2, srcFile C:\\Zuna\\missing.txt, "
                      "dstFile C:\\Zuna\\never.txt"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("DELETE command fail"), std::string::npos) << text;
  EXPECT_FALSE(libraryLoaded());
}

TEST_F(RegisterDeployTest, AnEmptyListSucceedsWithoutFileOperations) {
  load();
  placeLibrary();
  file("C:\\Zuna\\keep.txt", "keep");
  auto before = zutest::contentsOf(hostPath("C:\\Zuna"));
  EXPECT_EQ(RegisterDeploy(FALSE, kHome), 0u);
  EXPECT_EQ(zutest::contentsOf(hostPath("C:\\Zuna")), before);
}

TEST_F(RegisterDeployTest, AnEntryPointReturningZeroGives11AndNothingIsDone) {
  load();
  placeLibrary();
  file("C:\\Zuna\\old.txt", "old");
  commands("RESULT 0\nDELETE C:\\Zuna\\old.txt\n");
  EXPECT_EQ(RegisterDeploy(FALSE, kHome), 11u);
  EXPECT_TRUE(fs::exists(hostPath("C:\\Zuna\\old.txt")));
  EXPECT_NE(log().find("ERROR: UnregisterDeploy return false"), std::string::npos);
  EXPECT_FALSE(libraryLoaded());
}

TEST_F(RegisterDeployTest, ALibraryWithoutTheEntryPointGives10) {
  load();
  placeLibrary(ZU_DEPLOY_WITHOUT_ENTRY);
  EXPECT_EQ(RegisterDeploy(FALSE, kHome), 10u);
  std::string text = log();
  EXPECT_NE(text.find("ERROR: UnregisterDeploy not found"), std::string::npos) << text;
  EXPECT_EQ(text.find("UnregisterDeploy found"), std::string::npos);
  EXPECT_FALSE(libraryLoaded());
}

TEST_F(RegisterDeployTest, AMissingOrUnloadableLibraryGives2AndChangesNothing) {
  load();
  file(std::string(kHome) + "\\bin\\msvcr100.dll", "not a library");
  auto before = zutest::contentsOf(dir() / "drives");
  EXPECT_EQ(RegisterDeploy(FALSE, kHome), 2u);
  EXPECT_EQ(RegisterDeploy(FALSE, "C:\\Nowhere"), 2u);
  file(std::string(kHome) + "\\bin\\deploy.dll", "not a library either");
  EXPECT_EQ(RegisterDeploy(FALSE, kHome), 2u);
  before[fs::relative(bin() / "deploy.dll", dir() / "drives").string()] = "not a library either";
  auto after = zutest::contentsOf(dir() / "drives");
  after.erase("C/Users/user/AppData/Local/Temp/zusched.log");
  EXPECT_EQ(after, before);
}

TEST_F(RegisterDeployTest, AHomeTooLongForThePathBufferGives2) {
  load();
  EXPECT_EQ(RegisterDeploy(FALSE, ("C:\\" + std::string(2100, 'a')).c_str()), 2u);
  EXPECT_EQ(RegisterDeploy(FALSE, nullptr), 2u);
}

TEST_F(RegisterDeployTest, AFailureNotExcusedEndsTheListWith12) {
  load();
  placeLibrary();
  file("C:\\Zuna\\later.txt", "later");
  commands("COPY C:\\Zuna\\missing.txt C:\\Zuna\\dst.txt\nDELETE C:\\Zuna\\later.txt\n");
  EXPECT_EQ(RegisterDeploy(FALSE, kHome), 12u);
  EXPECT_TRUE(fs::exists(hostPath("C:\\Zuna\\later.txt"))) << "commands after the failure are not carried out";
  EXPECT_FALSE(libraryLoaded());
}

TEST_F(RegisterDeployTest, AFailingDeleteIsLoggedAndExcusedByItsFlag) {
  load();
  placeLibrary();
  file("C:\\Zuna\\locked.txt", "locked");
  file("C:\\Zuna\\next.txt", "next");
  commands("DELETE? +fail C:\\Zuna\\locked.txt\nDELETE C:\\Zuna\\next.txt\n");
  machine().faults().failNext("DeleteFileA", ERROR_ACCESS_DENIED, "C:\\Zuna\\locked.txt");
  EXPECT_EQ(RegisterDeploy(FALSE, kHome), 0u);
  EXPECT_TRUE(fs::exists(hostPath("C:\\Zuna\\locked.txt")));
  EXPECT_FALSE(fs::exists(hostPath("C:\\Zuna\\next.txt")));
  EXPECT_NE(calls().find("failure - C:\\Zuna\\locked.txt\n"), std::string::npos) << calls();
  EXPECT_NE(log().find("ERROR: Executing DELETE command fail with error code 5, dstFile C:\\Zuna\\locked.txt"),
            std::string::npos)
      << log();
}

TEST_F(RegisterDeployTest, CallbacksReturningZeroStopTheList) {
  load();
  placeLibrary();
  file("C:\\Zuna\\a.txt", "a");
  file("C:\\Zuna\\b.txt", "b");
  commands("DELETE +ok=0 C:\\Zuna\\a.txt\nDELETE C:\\Zuna\\b.txt\n");
  EXPECT_EQ(RegisterDeploy(FALSE, kHome), 12u);
  EXPECT_FALSE(fs::exists(hostPath("C:\\Zuna\\a.txt")));
  EXPECT_TRUE(fs::exists(hostPath("C:\\Zuna\\b.txt")));

  fs::remove(bin() / "deploy.calls");
  commands("COPY? +fail=0 C:\\Zuna\\missing.txt C:\\Zuna\\c.txt\nDELETE C:\\Zuna\\b.txt\n");
  EXPECT_EQ(RegisterDeploy(FALSE, kHome), 12u);
  EXPECT_TRUE(fs::exists(hostPath("C:\\Zuna\\b.txt")));
  EXPECT_NE(calls().find("failure C:\\Zuna\\missing.txt C:\\Zuna\\c.txt\n"), std::string::npos) << calls();
}

TEST_F(RegisterDeployTest, RecordsOfOtherKindsOrWithoutTheirPathsAreSkipped) {
  load();
  placeLibrary();
  file("C:\\Zuna\\src.txt", "src");
  commands("KIND 7 C:\\Zuna\\src.txt C:\\Zuna\\x.txt\nDELETE\nCOPY - C:\\Zuna\\y.txt\nCOPY +ok C:\\Zuna\\src.txt -\n");
  EXPECT_EQ(RegisterDeploy(FALSE, kHome), 0u);
  EXPECT_EQ(zutest::contentsOf(hostPath("C:\\Zuna")).size(), 1u);
  EXPECT_EQ(calls().find("success"), std::string::npos) << "skipped records call nothing";
}

TEST_F(RegisterDeployTest, TheSubstituteIgnoresLinesItCannotRead) {
  load();
  placeLibrary();
  file("C:\\Zuna\\old.txt", "old");
  commands("RESULT many\nKIND x C:\\a C:\\b\nDELETE +ok=yes C:\\Zuna\\old.txt\nMOVE C:\\a C:\\b\n\"\"\n"
           "DELETE C:\\Zuna\\old.txt\n");
  EXPECT_EQ(RegisterDeploy(FALSE, kHome), 0u);
  EXPECT_FALSE(fs::exists(hostPath("C:\\Zuna\\old.txt")));
  EXPECT_EQ(calls().find("success"), std::string::npos);
}

// A path the code page holds is carried out; one it can only approximate is refused,
// never applied to its best-fit look-alike (Lodz.txt for \u0141od\u017a.txt).
TEST_F(RegisterDeployTest, PathsReachTheFileFunctionsInTheAnsiCodePageOrNotAtAll) {
  load();
  placeLibrary();
  file("C:\\Zuna\\caf\xC3\xA9.txt", "accent");
  file("C:\\Zuna\\Lodz.txt", "another file");
  commands("DELETE C:\\Zuna\\caf\xC3\xA9.txt\nDELETE? C:\\Zuna\\\xC5\x81od\xC5\xBA.txt\n");
  EXPECT_EQ(RegisterDeploy(FALSE, kHome), 0u);
  EXPECT_FALSE(fs::exists(hostPath("C:\\Zuna\\caf\xC3\xA9.txt")));
  EXPECT_TRUE(fs::exists(hostPath("C:\\Zuna\\Lodz.txt")));
}

TEST_F(RegisterDeployTest, TheDebugVariableShowsADebugBoxFirst) {
  zutest::writeFile(dir() / "machine.json", R"({"environment": {"REGDEPLOY_INSTALL_DEBUG": "1"}})");
  load();
  EXPECT_EQ(RegisterDeploy(FALSE, kHome), 2u);
  auto events = zutest::readJournal(dir());
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]["event"], "messageBox");
  EXPECT_EQ(events[0]["caption"], "debug");
  EXPECT_EQ(events[0]["text"], "debug");
  EXPECT_EQ(events[0]["style"], MB_OK);
}

TEST_F(RegisterDeployTest, AnEmptyDebugVariableShowsNothing) {
  zutest::writeFile(dir() / "machine.json", R"({"environment": {"REGDEPLOY_INSTALL_DEBUG": ""}})");
  load();
  EXPECT_EQ(RegisterDeploy(FALSE, kHome), 2u);
  EXPECT_TRUE(zutest::readJournal(dir()).empty());
}

// Lists built here, for what a library cannot be made to do through the substitute.
class ProcessCommandsTest : public zutest::MachineTest {
 protected:
  static inline std::vector<std::pair<std::wstring, std::wstring>> seen;
  static INT record(LPCWSTR source, LPCWSTR destination) {
    seen.emplace_back(source ? source : L"-", destination ? destination : L"-");
    return 1;
  }
  void SetUp() override {
    MachineTest::SetUp();
    seen.clear();
  }
};

TEST_F(ProcessCommandsTest, CountsBelowOneMeanNoCommands) {
  DeployCommandRecord records[kDeployCommandCapacity] = {};
  records[0] = {kDeployCommandDelete, 0, nullptr, L"C:\\nothing", &record, nullptr, nullptr};
  for (LONG count : {0, -1, -100}) {
    DeployCommandList list{0, kDeployCommandCapacity, count, 0, records};
    EXPECT_TRUE(processCommands(list));
  }
  EXPECT_TRUE(seen.empty());
}

TEST_F(ProcessCommandsTest, ACountBeyondTheCapacityReadsOnlyTheRecordsThatExist) {
  auto records = std::make_unique<DeployCommandRecord[]>(kDeployCommandCapacity);
  for (DWORD i = 0; i < kDeployCommandCapacity; ++i) {
    records[i] = {kDeployCommandDelete, 0, nullptr, L"C:\\gone.txt", &record, nullptr, nullptr};
  }
  DeployCommandList list{0, kDeployCommandCapacity, 1000, 0, records.get()};
  EXPECT_TRUE(processCommands(list));
  EXPECT_EQ(seen.size(), kDeployCommandCapacity);
  std::string text = zutest::readFile(hostPath("C:\\Users\\user\\AppData\\Local\\Temp\\zusched.log"));
  EXPECT_NE(text.find("ERROR: The command list claims 1000 commands; only the first 20 exist"), std::string::npos)
      << text;
}

TEST_F(ProcessCommandsTest, CallbacksGetTheLibrarysOwnStrings) {
  zutest::writeFile(hostPath("C:\\a.txt"), "a");
  DeployCommandRecord records[2] = {};
  records[0] = {kDeployCommandCopy, 0, L"C:\\a.txt", L"C:\\b.txt", &record, nullptr, nullptr};
  DeployCommandList list{0, 2, 1, 0, records};
  EXPECT_TRUE(processCommands(list));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].first, L"C:\\a.txt");
  EXPECT_EQ(seen[0].second, L"C:\\b.txt");
  EXPECT_EQ(zutest::readFile(hostPath("C:\\b.txt")), "a");
}

}  // namespace
