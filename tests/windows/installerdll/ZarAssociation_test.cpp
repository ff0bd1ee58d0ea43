// The .zar association where a whole run of the 64-bit program does not show it: the
// view a 32-bit program writes, and a key or value that cannot be written.
#include "windows/installerdll/ZarAssociation.h"

#include <gtest/gtest.h>

#include "tests/support/InstalledMachine.h"
#include "windows/common/RegistryKey.h"
#include "windows/common/SysInfo.h"
#include "windows/installerdll/utils.h"

namespace {

// 1.8.0_40 alone, without an association.
class ZarAssociationTest : public zutest::InstalledMachineTest {
 protected:
  void loadWith(const std::string& machineJson = "") {
    installed.withRelease(false).withRuntime(zutest::runtimeInstall("1.8.0_40"));
    installed.withMachineJson(machineJson);
    loadInstalled();
    SysInfo::initialize();
  }
  static bool exists(const std::string& classKey, const CheckedRegistryKey& root = RegistryRoot::LocalMachine64()) {
    return CheckedRegistryKey::Exists(root, "SOFTWARE\\Classes\\" + classKey);
  }
};

// A 32-bit program writes into the 64-bit view; a 32-bit system has one view.
TEST_F(ZarAssociationTest, AThirtyTwoBitProgramWritesIntoTheSixtyFourBitView) {
  loadWith(R"({"process":{"bitness":32}})");
  EXPECT_EQ(RestoreZarfileAssociation(), 1);
  EXPECT_TRUE(exists(".zar"));
  EXPECT_FALSE(CheckedRegistryKey::Exists(RegistryRoot::LocalMachine64(), "SOFTWARE\\Wow6432Node\\Classes\\.zar"));
  loadWith(R"({"os":{"architecture":"x86"},"process":{"bitness":32}})");
  EXPECT_EQ(RestoreZarfileAssociation(), 1);
  EXPECT_EQ(CheckedRegistryKey::Open(RegistryRoot::LocalMachine(), "SOFTWARE\\Classes\\zarfile\\shell\\open\\command", 0)
                .QueryStringValue(""),
            "\"C:\\Program Files\\Zuna\\zre1.8.0_40\\bin\\zunaw.exe\" -zar \"%1\" %*");
}

// The first key or value that cannot be written ends the step, with a record naming it;
// what came before stays written.
struct Failure {
  const char* function;
  const char* object;
  bool restore;           // RestoreZarfileAssociation, else RegCurrentVersion
  const char* record;
  const char* written;    // a key written before the failure ("" for none)
  const char* skipped;    // a key after it ("" for none)
};
void PrintTo(const Failure& f, std::ostream* out) { *out << f.function << ":" << f.object << (f.restore ? ":restore" : ""); }

class ZarAssociationFailure : public ZarAssociationTest, public ::testing::WithParamInterface<Failure> {};

TEST_P(ZarAssociationFailure, EndsTheStepAndIsLogged) {
  const Failure& f = GetParam();
  loadWith();
  machine().faults().failNext(f.function, ERROR_ACCESS_DENIED, std::string("HKEY_LOCAL_MACHINE\\SOFTWARE\\") + f.object);
  if (f.restore) {
    EXPECT_EQ(RestoreZarfileAssociation(), 0);
  } else {
    EXPECT_FALSE(RegCurrentVersion("C:\\zre", "1.8"));
  }
  EXPECT_NE(log().find(std::string("INFO: ") + f.record + "\r\n"), std::string::npos) << log();
  EXPECT_TRUE(!*f.written || exists(f.written)) << f.written;
  EXPECT_TRUE(!*f.skipped || !exists(f.skipped)) << f.skipped;
  EXPECT_EQ(log().find(f.restore ? "END RestoreZarfileassociation" : "RegCurrentVersion ---- end"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ZarAssociationFailure,
    ::testing::Values(
        Failure{"RegCreateKeyExA", "Classes\\.zar", false, "RegCurrentVersion ---- failed to create .zar key ---- ", "",
                "zarfile"},
        Failure{"RegCreateKeyExA", "Classes\\zarfile", false, "RegCurrentVersion ---- failed to create zarfile key ---- ",
                ".zar", "zarfile"},
        Failure{"RegCreateKeyExA", "Classes\\zarfile\\shell\\open\\command", false,
                "RegCurrentVersion ---- failed to create zarfile\\shell\\open\\command key ---- ", "zarfile",
                "zarfile\\shell\\open\\command"},
        Failure{"RegCreateKeyExA", "Corvane\\Zuna Runtime Environment", false,
                "RegCurrentVersion ---- failed to create Zuna Runtime Environment key ---- ",
                "zarfile\\shell\\open\\command", ""},
        Failure{"RegCreateKeyExA", "Classes\\zarfile\\shell\\open\\command", true,
                "SetZarOrZfrKeys ---- failed to create Software\\Classes\\zarfile\\shell\\open\\command key ---- ",
                ".zar", "Applications\\zuna.exe"},
        Failure{"RegOpenKeyExA", "Classes\\.zar", true, "SetZarOrZfrKeys ---- failed to open Software\\Classes\\.zar key ---- ",
                "zarfile", "zarfile\\shell\\open\\command"},
        Failure{"RegSetValueExA", "Classes\\Applications\\zuna.exe\\IsHostApp", true,
                "SetZarOrZfrKeys ---- failed to open Software\\Classes\\Applications\\zuna.exe key ---- ",
                "Applications\\zuna.exe", "Applications\\zunaw.exe"}));

}  // namespace
