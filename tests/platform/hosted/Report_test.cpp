// The report of a run (--report, --dry-run): what changed in the registry, grouped by
// key with the values beneath; files and links; then the journal's events.
#include <windows.h>

#include <sstream>

#include <gtest/gtest.h>

#include "platform/hosted/RegistryReport.h"
#include "platform/hosted/Report.h"
#include "tests/support/TestMachine.h"

namespace {

namespace fs = std::filesystem;

class ReportTest : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }

  void SetUp() override {
    MachineTest::SetUp();
    zutest::writeFile(dir() / "registry.reg",
                      "Windows Registry Editor Version 5.00\n\n"
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment\\1.8.0_31]\n"
                      "\"ZunaHome\"=\"C:\\\\Program Files\\\\Zuna\\\\zre1.8.0_31\"\n"
                      "\"MicroVersion\"=dword:00000000\n\n"
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment]\n"
                      "\"CurrentVersion\"=\"1.8\"\n\n"
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Untouched]\n\"kept\"=\"as it was\"\n");
    zutest::writeFile(hostPath("C:\\Program Files\\Zuna\\zre1.8.0_31\\bin\\msvcr100.dll"), "runtime");
    zutest::writeFile(hostPath("C:\\Program Files\\Zuna\\zre7\\bin\\zuna.exe"), "launcher");
    load();
    registryBefore_ = hosted::registry::RegistrySnapshot::take(machine().registry());
    filesBefore_ = hosted::Snapshot::take(dir());
    journalStart_ = machine().journal().size();
  }

  // What a run does: remove and add keys, change a value, remove, change and add files and links.
  void change() {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Zuna Runtime Environment", 0,
                            KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyA(key, "1.8.0_31"), ERROR_SUCCESS);
    const char seven[] = "7";
    ASSERT_EQ(RegSetValueExA(key, "CurrentVersion", 0, REG_SZ, reinterpret_cast<const BYTE*>(seven), sizeof seven),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_TRUE(DeleteFileA("C:\\Program Files\\Zuna\\zre1.8.0_31\\bin\\msvcr100.dll"));
    ASSERT_TRUE(CreateDirectoryA("C:\\ProgramData\\Vantor", nullptr));
    ASSERT_TRUE(CreateDirectoryA("C:\\ProgramData\\Vantor\\zunapath", nullptr));
    ASSERT_TRUE(CreateSymbolicLinkW(L"C:\\ProgramData\\Vantor\\zunapath\\zuna.exe",
                                    L"C:\\Program Files\\Zuna\\zre7\\bin\\zuna.exe", 0));
    MessageBoxA(nullptr, "two\nlines", "caption", MB_OK);
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    DWORD one = 1;
    RegSetValueExA(key, "", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    RegCloseKey(key);
    zutest::writeFile(hostPath("C:\\Program Files\\Zuna\\zre7\\bin\\zuna.exe"), "a longer launcher");
    // A junction, as the machine keeps one: a host link whose text starts with \??\.
    fs::create_symlink("\\??\\C:\\Program Files\\Zuna\\zre7", hostPath("C:\\Program Files\\Zuna\\current"));
  }

  std::string report() {
    std::ostringstream out;
    hosted::registry::RegistrySnapshot::writeChanges(out, registryBefore_,
                                                     hosted::registry::RegistrySnapshot::take(machine().registry()));
    hosted::Snapshot::writeChanges(out, filesBefore_, hosted::Snapshot::take(dir()));
    hosted::writeJournalSince(out, machine().journal().file(), journalStart_);
    return out.str();
  }

  hosted::registry::RegistrySnapshot registryBefore_;
  hosted::Snapshot filesBefore_;
  std::uintmax_t journalStart_ = 0;
};

TEST_F(ReportTest, ShowsKeysWithTheirValuesFilesLinksAndTheRunsEvents) {
  EXPECT_EQ(report(), "Registry: no change\nFiles: no change\nJournal of the run:\n");
  change();
  EXPECT_EQ(report(),
            "Registry:\n"
            "  key changed  HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment\n"
            "      ~ \"CurrentVersion\" = REG_SZ \"1.8\"\n"
            "                        -> REG_SZ \"7\"\n"
            "  key removed  HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment\\1.8.0_31\n"
            "      - \"MicroVersion\" = REG_DWORD 0\n"
            "      - \"ZunaHome\" = REG_SZ \"C:\\Program Files\\Zuna\\zre1.8.0_31\"\n"
            "  key added    HKEY_LOCAL_MACHINE\\SOFTWARE\\New\n"
            "      + (default) = REG_DWORD 1\n"
            "Files:\n"
            "  added    C:\\Program Files\\Zuna\\current -> C:\\Program Files\\Zuna\\zre7 (junction)\n"
            "  removed  C:\\Program Files\\Zuna\\zre1.8.0_31\\bin\\msvcr100.dll\n"
            "  changed  C:\\Program Files\\Zuna\\zre7\\bin\\zuna.exe (8 -> 17 bytes)\n"
            "  added    C:\\ProgramData\\Vantor\\\n"
            "  added    C:\\ProgramData\\Vantor\\zunapath\\\n"
            "  added    C:\\ProgramData\\Vantor\\zunapath\\zuna.exe -> C:\\Program Files\\Zuna\\zre7\\bin\\zuna.exe\n"
            "Journal of the run:\n"
            "  messageBox       caption=\"caption\" text=\"two\\nlines\" style=0 answer=\"ok\"\n");
}


}  // namespace
