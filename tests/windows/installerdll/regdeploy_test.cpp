// The deployment library's unregistration: the calling contract's layouts, the results
// of RegisterDeploy, and the file commands it carries out. The library is the
// substitute of examples/deploy placed in the runtime's bin folder; it returns the
// commands of deploy.commands beside it and records its calls in deploy.calls.
#include "windows/installerdll/regdeploy.h"

#include <cstddef>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/Runs.h"

namespace {

namespace fs = std::filesystem;

// The layouts a runtime's library reads and writes, byte for byte.
static_assert(sizeof(DeployParameterBlock) == 44 && offsetof(DeployParameterBlock, version) == 4 &&
              offsetof(DeployParameterBlock, webMode) == 12 && offsetof(DeployParameterBlock, reservedWords) == 20);
static_assert(sizeof(DeployCommandList) == 24 && offsetof(DeployCommandList, capacity) == 4 &&
              offsetof(DeployCommandList, count) == 8 && offsetof(DeployCommandList, commands) == 16);
static_assert(sizeof(DeployCommandRecord) == 48 && offsetof(DeployCommandRecord, continueOnError) == 4 &&
              offsetof(DeployCommandRecord, source) == 8 && offsetof(DeployCommandRecord, destination) == 16 &&
              offsetof(DeployCommandRecord, onSuccess) == 24 && offsetof(DeployCommandRecord, onFailure) == 32);

constexpr const char* kHome = "C:\\Program Files\\Zuna\\zre1.8.0_31";

class RegisterDeployTest : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }
  fs::path bin() const { return hostPath(std::string(kHome) + "\\bin"); }
  // The library in place with its commands, and files in C:\Zuna to act on.
  void place(const std::string& commands, const char* built = ZU_DEPLOY_SUBSTITUTE) {
    load();
    fs::create_directories(bin());
    fs::copy_file(built, bin() / "deploy.dll");
    zutest::writeFile(bin() / "deploy.commands", commands);
    for (const char* name : {"old", "a", "b", "src", "dst", "locked", "next", "Lodz", "caf\xC3\xA9"}) {
      zutest::writeFile(hostPath(std::string("C:\\Zuna\\") + name + ".txt"), name);
    }
  }
  std::string calls() { return zutest::readFile(bin() / "deploy.calls"); }
  bool exists(const std::string& name) { return fs::exists(hostPath("C:\\Zuna\\" + name + ".txt")); }
  bool libraryLoaded() { return GetModuleHandleA((std::string(kHome) + "\\bin\\deploy.dll").c_str()) != nullptr; }
};

// One list of commands each: RegisterDeploy's result, the files it leaves in C:\Zuna,
// and what the log and the library's record of its callbacks hold.
struct Case {
  const char* commands;
  DWORD result;
  std::vector<std::string> gone, kept;
  const char* logged = "";
  const char* called = "";  // nullptr: no callback at all
  const char* library = ZU_DEPLOY_SUBSTITUTE;
};
void PrintTo(const Case& c, std::ostream* out) { *out << (*c.commands ? std::string(c.commands).substr(0, 40) : "(none)"); }

class RegisterDeployCases : public RegisterDeployTest, public ::testing::WithParamInterface<Case> {};

TEST_P(RegisterDeployCases, CarryOutTheListUntilAFailureNotExcused) {
  const Case& c = GetParam();
  place(c.commands, c.library);
  machine().faults().failNext("DeleteFileA", ERROR_ACCESS_DENIED, "C:\\Zuna\\locked.txt");
  EXPECT_EQ(RegisterDeploy(FALSE, kHome), c.result);
  for (const auto& name : c.gone) EXPECT_FALSE(exists(name)) << name;
  for (const auto& name : c.kept) EXPECT_TRUE(exists(name)) << name;
  EXPECT_NE(log().find(c.logged), std::string::npos) << log();
  EXPECT_EQ(log().find("INFO: UnregisterDeploy found") != std::string::npos, c.result != 10);
  EXPECT_EQ(calls().find(c.called ? c.called : "success") != std::string::npos, c.called != nullptr) << calls();
  EXPECT_FALSE(libraryLoaded());
}

INSTANTIATE_TEST_SUITE_P(
    Lists, RegisterDeployCases,
    ::testing::Values(
        // The library sees the parameter block and an empty list of 20 slots; a delete of a
        // file already gone counts as done, and an excused failure is logged and skipped.
        Case{"# what a runtime's library asks for\nDELETE +ok C:\\Zuna\\old.txt\nDELETE +ok C:\\Zuna\\gone.txt\n"
             "COPY? C:\\Zuna\\missing.txt C:\\Zuna\\never.txt\nCOPY +ok C:\\Zuna\\src.txt C:\\Zuna\\dst.txt\n",
             0, {"old", "never"}, {"src"},
             "ERROR: Executing COPY command fail with error code 2, srcFile C:\\Zuna\\missing.txt, dstFile C:\\Zuna\\never.txt",
             "call size=44 version=4 reserved=0 webMode=0 securityLevel=0 reservedWords=0,0,0,0,0,0 capacity=20 count=0\n"
             "success - C:\\Zuna\\old.txt\nsuccess - C:\\Zuna\\gone.txt\nsuccess C:\\Zuna\\src.txt C:\\Zuna\\dst.txt\n"},
        Case{"", 0, {}, {"old", "src", "dst"}},
        Case{"DELETE C:\\Zuna\\old.txt\n", 10, {}, {"old"}, "ERROR: UnregisterDeploy not found", nullptr, ZU_DEPLOY_WITHOUT_ENTRY},
        Case{"RESULT 0\nDELETE C:\\Zuna\\old.txt\n", 11, {}, {"old"}, "ERROR: UnregisterDeploy return false"},
        Case{"COPY C:\\Zuna\\missing.txt C:\\Zuna\\dst.txt\nDELETE C:\\Zuna\\old.txt\n", 12, {}, {"old"}},
        Case{"DELETE? +fail C:\\Zuna\\locked.txt\nDELETE C:\\Zuna\\next.txt\n", 0, {"next"}, {"locked"},
             "ERROR: Executing DELETE command fail with error code 5, dstFile C:\\Zuna\\locked.txt",
             "failure - C:\\Zuna\\locked.txt\n"},
        // A callback returning 0 stops the list, after a success or a failure alike.
        Case{"DELETE +ok=0 C:\\Zuna\\a.txt\nDELETE C:\\Zuna\\b.txt\n", 12, {"a"}, {"b"}},
        Case{"COPY? +fail=0 C:\\Zuna\\missing.txt C:\\Zuna\\c.txt\nDELETE C:\\Zuna\\b.txt\n", 12, {}, {"b"}, "",
             "failure C:\\Zuna\\missing.txt C:\\Zuna\\c.txt\n"},
        // Records of other kinds or without their paths are skipped, and call nothing.
        Case{"KIND 7 C:\\Zuna\\src.txt C:\\Zuna\\x.txt\nDELETE\nCOPY - C:\\Zuna\\y.txt\nCOPY +ok C:\\Zuna\\src.txt -\n", 0,
             {"x", "y"}, {"src"}, "", nullptr},
        // The substitute ignores lines it cannot read.
        Case{"RESULT many\nKIND x C:\\a C:\\b\nDELETE +ok=yes C:\\Zuna\\old.txt\nMOVE C:\\a C:\\b\n\"\"\n"
             "DELETE C:\\Zuna\\a.txt\n",
             0, {"a"}, {"old"}, "", nullptr},
        // A path the code page holds is carried out; one it can only approximate is refused,
        // never applied to its best-fit look-alike (Lodz.txt for \u0141od\u017a.txt).
        Case{"DELETE C:\\Zuna\\caf\xC3\xA9.txt\nDELETE? C:\\Zuna\\\xC5\x81od\xC5\xBA.txt\n", 0, {"caf\xC3\xA9"}, {"Lodz"}}));

TEST_F(RegisterDeployTest, AMissingUnloadableOrUnnamedLibraryGives2AndChangesNothing) {
  load();
  zutest::writeFile(bin() / "msvcr100.dll", "not a library");
  auto before = zutest::contentsOf(dir() / "drives");
  EXPECT_EQ(RegisterDeploy(FALSE, kHome), 2u);
  EXPECT_EQ(RegisterDeploy(FALSE, "C:\\Nowhere"), 2u);
  EXPECT_EQ(RegisterDeploy(FALSE, ("C:\\" + std::string(2100, 'a')).c_str()), 2u);
  EXPECT_EQ(RegisterDeploy(FALSE, nullptr), 2u);
  zutest::writeFile(bin() / "deploy.dll", "not a library either");
  EXPECT_EQ(RegisterDeploy(FALSE, kHome), 2u);
  before[fs::relative(bin() / "deploy.dll", dir() / "drives").string()] = "not a library either";
  auto after = zutest::contentsOf(dir() / "drives");
  after.erase("C/Users/user/AppData/Local/Temp/zusched.log");
  EXPECT_EQ(after, before);
}

TEST_F(RegisterDeployTest, TheDebugVariableShowsADebugBoxFirstUnlessEmpty) {
  for (const char* value : {"1", ""}) {
    zutest::writeFile(dir() / "machine.json", std::string(R"({"environment": {"REGDEPLOY_INSTALL_DEBUG": ")") + value + "\"}}");
    fs::remove(dir() / "journal.jsonl");
    load();
    EXPECT_EQ(RegisterDeploy(FALSE, kHome), 2u);
    std::string boxes = nlohmann::json(zutest::readJournal(dir())).dump();
    EXPECT_EQ(boxes, *value ? R"([{"answer":"ok","caption":"debug","event":"messageBox","style":0,"text":"debug"}])" : "[]");
  }
}

// Lists built here, for what a library cannot be made to do through the substitute.
using ProcessCommandsTest = zutest::MachineTest;

TEST_F(ProcessCommandsTest, CountsBelowOneMeanNoCommandsAndCountsBeyondTheCapacityOnlyThoseThatExist) {
  static std::vector<std::pair<std::wstring, std::wstring>> seen;
  auto record = +[](LPCWSTR source, LPCWSTR destination) -> INT {
    seen.emplace_back(source ? source : L"-", destination ? destination : L"-");
    return 1;
  };
  zutest::writeFile(hostPath("C:\\a.txt"), "a");
  DeployCommandRecord records[kDeployCommandCapacity] = {};
  for (auto& r : records) r = {kDeployCommandDelete, 0, nullptr, L"C:\\gone.txt", record, nullptr, nullptr};
  records[0] = {kDeployCommandCopy, 0, L"C:\\a.txt", L"C:\\b.txt", record, nullptr, nullptr};
  for (LONG count : {0, -1, -100}) EXPECT_TRUE(processCommands(DeployCommandList{0, kDeployCommandCapacity, count, 0, records}));
  EXPECT_TRUE(seen.empty());
  EXPECT_TRUE(processCommands(DeployCommandList{0, kDeployCommandCapacity, 1000, 0, records}));
  ASSERT_EQ(seen.size(), kDeployCommandCapacity);
  // Callbacks get the library's own strings.
  EXPECT_EQ(seen[0], std::make_pair(std::wstring(L"C:\\a.txt"), std::wstring(L"C:\\b.txt")));
  EXPECT_EQ(zutest::readFile(hostPath("C:\\b.txt")), "a");
  EXPECT_NE(zutest::programLog(dir()).find("ERROR: The command list claims 1000 commands; only the first 20 exist"),
            std::string::npos);
}

}  // namespace
