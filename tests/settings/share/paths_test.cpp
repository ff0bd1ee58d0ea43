// Path arguments: the acceptance test, canonical forms and the protected file.
#include <gtest/gtest.h>

#include <windows.h>
#include <io.h>

#include <string>

#include "settings/share/ExceptionCode.h"
#include "settings/share/SystemConfig.h"
#include "tests/support/TestMachine.h"

using namespace settings_impl;

namespace {

int codeOf(const std::string& path, bool canonical) {
  try {
    canonical ? canonicalize(testPathArgument(path)) : FilePath{testPathArgument(path), {}, false};
    return 0;
  } catch (const settings::Exception& e) {
    return e.code;
  }
}

class Paths : public zutest::MachineTest {
 protected:
  void SetUp() override {
    zutest::writeFile(dir() / "machine.json", R"({"process": {"currentDirectory": "D:\\work"}})");
    zutest::MachineTest::SetUp();
  }
};

TEST_F(Paths, CanonicalFormsJoinWithSlashesAndKeepLetterCase) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\Data\\app.cfg", "C:/Data/app.cfg"},
      {"C:/Data//app.cfg", "C:/Data/app.cfg"},
      {"C:\\Data\\.\\x\\..\\app.cfg", "C:/Data/app.cfg"},
      {"c:\\data\\App.cfg", "c:/data/App.cfg"},
      {"app.cfg", "D:/work/app.cfg"},
      {"..\\x", "D:/x"},
      {"\\x", "D:/work/x"},
  };
  for (const auto& [given, canonical] : cases) {
    FilePath path = canonicalize(testPathArgument(given));
    EXPECT_EQ(path.utf8, canonical) << given;
    EXPECT_TRUE(path.canonical);
    EXPECT_EQ(canonicalize(path).utf8, canonical) << "a canonical path stays as it is";
  }
}

TEST_F(Paths, UnacceptablePathsAreRefusedWithTheirCodes) {
  EXPECT_EQ(codeOf("C:\\a\\..\\..", true), 311);
  EXPECT_EQ(codeOf("C:\\NUL\\x.cfg", false), 311);
  EXPECT_EQ(codeOf("C:\\a?b\\x.cfg", false), 311);
  EXPECT_EQ(codeOf("C:\\a\tb", false), 311);
  EXPECT_EQ(codeOf("C:\\x\\D:", false), 311);
  EXPECT_EQ(codeOf("1:\\x.cfg", false), 311);  // not a drive letter
  for (const char* drive : {"A:\\x", "Z:\\x", "a:\\x", "z:\\x"}) EXPECT_EQ(codeOf(drive, false), 0) << drive;
  EXPECT_EQ(codeOf("", false), 311);
  EXPECT_EQ(codeOf("C:\\nul\\x.cfg", false), 0);
  EXPECT_EQ(codeOf("C:\\a\xFF", false), 312);
  std::string longPath = "C:\\" + std::string(256, 'a');
  EXPECT_EQ(codeOf(longPath, false), 0);  // 259 bytes
  EXPECT_EQ(codeOf(longPath + "a", false), 310);
  // ".." never climbs above the drive: the result would otherwise lose its drive and name
  // a file relative to wherever the process happens to be.
  EXPECT_EQ(codeOf("C:\\..\\x", true), 311);
  EXPECT_EQ(codeOf("..\\..\\..\\x", true), 311);
  EXPECT_EQ(codeOf("C:\\", true), 311);
}

TEST_F(Paths, TheCurrentDirectoryMustBeAvailable) {
  machine().faults().failNext("_wgetcwd", ERROR_ACCESS_DENIED);
  EXPECT_EQ(codeOf("app.cfg", true), 200);
}

TEST_F(Paths, TheProtectedFileGrantsAdministratorsDomainUsersAndEveryone) {
  EXPECT_EQ(domainUsersSidString(), L"S-1-5-21-1004336348-1177238915-682003330-513");
  std::filesystem::create_directories(hostPath("C:\\cfg"));
  int fd = createProtectedFile(canonicalize("C:\\cfg\\new.cfg"));
  ASSERT_NE(fd, -1);
  EXPECT_EQ(_write(fd, "a\n", 2), 2);
  EXPECT_EQ(_close(fd), 0);
  EXPECT_EQ(zutest::readFile(hostPath("C:\\cfg\\new.cfg")), "a\n");  // binary: LF stays LF
  std::string journal = zutest::readFile(dir() / "journal.jsonl");
  EXPECT_NE(journal.find("D:(A;;FA;;;BA)(A;;FR;;;S-1-5-21-1004336348-1177238915-682003330-513)(A;;FR;;;WD)"),
            std::string::npos);
  EXPECT_EQ(createProtectedFile(canonicalize("C:\\cfg\\new.cfg")), -1) << "never over an existing file";
}

TEST_F(Paths, AnyFailureToBuildTheProtectionGivesNoFile) {
  std::filesystem::create_directories(hostPath("C:\\cfg"));
  for (const char* function : {"OpenProcessToken", "GetTokenInformation", "GetWindowsAccountDomainSid",
                               "CreateWellKnownSid", "ConvertSidToStringSidW",
                               "ConvertStringSecurityDescriptorToSecurityDescriptor", "_open_osfhandle"}) {
    machine().faults().failNext(function, ERROR_ACCESS_DENIED);
    EXPECT_EQ(createProtectedFile(canonicalize("C:\\cfg\\x.cfg")), -1) << function;
    std::filesystem::remove(hostPath("C:\\cfg\\x.cfg"));
  }
  EXPECT_EQ(machine().handles().openCount(), 0u);
}

}  // namespace
