// Configuration files: import limits, export of new and existing files, the
// replacement that keeps an existing file whole on failure, and the round trip.
#include <gtest/gtest.h>

#include <windows.h>
#include <io.h>

#include <filesystem>
#include <string>

#include "settings/share/settings.h"
#include "tests/support/TestMachine.h"

namespace {

class SettingsFiles : public zutest::MachineTest {
 protected:
  void SetUp() override {
    zutest::MachineTest::SetUp();
    settings_get_api(&api);
    context = api.context_create();
  }
  void TearDown() override {
    api.context_destroy(context);
    zutest::MachineTest::TearDown();
  }
  int importFile(const char* path) {
    return api.context_import_from_file(context, path, nullptr, nullptr, 1, 1);
  }

  settings_api api{};
  settings_context* context = nullptr;
};

TEST_F(SettingsFiles, FilesBelowOneMebibyteAreReadAndLargerOnesRefused) {
  std::string line = "k=" + std::string(1048575 - 2, 'v');
  zutest::writeFile(hostPath("C:\\f\\ok.cfg"), line);
  zutest::writeFile(hostPath("C:\\f\\full.cfg"), line + "v");
  zutest::writeFile(hostPath("C:\\f\\over.cfg"), line + "vv");
  EXPECT_EQ(importFile("C:\\f\\ok.cfg"), 0);
  EXPECT_EQ(importFile("C:\\f\\full.cfg"), 315);
  EXPECT_EQ(importFile("C:\\f\\over.cfg"), 315);
}

TEST_F(SettingsFiles, ImportFailuresHaveTheirOwnCodes) {
  zutest::writeFile(hostPath("C:\\f\\bad.cfg"), "a=\xE2" "A");
  EXPECT_EQ(importFile("C:\\f\\bad.cfg"), 314);
  EXPECT_EQ(importFile("C:\\f\\missing.cfg"), 304);
  EXPECT_EQ(importFile("C:\\f\\a\xFF"), 312);
  EXPECT_EQ(importFile("C:\\f\\CON"), 311);
  zutest::writeFile(hostPath("C:\\f\\good.cfg"), "a=1");
  machine().faults().failNext("fread", ERROR_CANTREAD, "C:\\f\\good.cfg");
  EXPECT_EQ(importFile("C:\\f\\good.cfg"), 307);
  uint32_t empty = 0;
  api.context_is_empty(context, &empty);
  EXPECT_EQ(empty, 1u);
}

TEST_F(SettingsFiles, ANewFileIsCreatedWithItsDirectoriesAndProtection) {
  ASSERT_EQ(api.context_import_from_string(context, "b=2\na\nc=", nullptr, nullptr, 1, 1), 0);
  ASSERT_EQ(api.context_export_to_file(context, "C:\\p\\q\\r.cfg"), 0);
  EXPECT_EQ(zutest::readFile(hostPath("C:\\p\\q\\r.cfg")), "a\nb=2\nc=\n");
  std::string journal = zutest::readFile(dir() / "journal.jsonl");
  EXPECT_NE(journal.find("\"setSecurity\""), std::string::npos);
  EXPECT_NE(journal.find("C:\\\\p\\\\q\\\\r.cfg"), std::string::npos);
  EXPECT_EQ(machine().handles().openCount(), 0u);
  EXPECT_TRUE(machine().crtFiles().empty());
}

TEST_F(SettingsFiles, AnExistingFileIsReplacedInTextModeAndKeepsItsProtection) {
  ASSERT_EQ(api.context_import_from_string(context, "a=1", nullptr, nullptr, 1, 0), 0);
  ASSERT_EQ(api.context_export_to_file(context, "C:\\cfg\\z.cfg"), 0);
  std::filesystem::path host = hostPath("C:\\cfg\\z.cfg");
  auto protection = std::filesystem::status(host).permissions();
  ASSERT_EQ(api.context_import_from_string(context, "b=2", nullptr, nullptr, 1, 0), 0);
  ASSERT_EQ(api.context_export_to_file(context, "C:/cfg/z.cfg"), 0);
  EXPECT_EQ(zutest::readFile(host), "a=1\r\nb=2\r\n");
  EXPECT_EQ(std::filesystem::status(host).permissions(), protection);
  std::string journal = zutest::readFile(dir() / "journal.jsonl");
  EXPECT_EQ(journal.find("setSecurity"), journal.rfind("setSecurity")) << "protected once, when created";
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(hostPath("C:\\cfg")), {}), 1);
}

TEST_F(SettingsFiles, AFailedExportLeavesTheOldFileWholeAndNoNewOne) {
  std::filesystem::path host = hostPath("C:\\cfg\\z.cfg");
  zutest::writeFile(host, "old=1\r\n");
  ASSERT_EQ(api.context_import_from_string(context, "new=2", nullptr, nullptr, 1, 0), 0);

  machine().faults().failNext("fwrite", ERROR_CANTWRITE);
  EXPECT_EQ(api.context_export_to_file(context, "C:\\cfg\\z.cfg"), 306);
  EXPECT_EQ(zutest::readFile(host), "old=1\r\n");

  machine().faults().failNext("CreateFileW", ERROR_ACCESS_DENIED);
  EXPECT_EQ(api.context_export_to_file(context, "C:\\cfg\\z.cfg"), 304);
  EXPECT_EQ(zutest::readFile(host), "old=1\r\n");

  machine().faults().failNext("ReplaceFileW", ERROR_ACCESS_DENIED);
  EXPECT_EQ(api.context_export_to_file(context, "C:\\cfg\\z.cfg"), 304);
  EXPECT_EQ(zutest::readFile(host), "old=1\r\n");

  machine().faults().failNext("_wfopen", ERROR_ACCESS_DENIED, "C:/cfg/cfg1092.tmp");  // the replacement
  EXPECT_EQ(api.context_export_to_file(context, "C:\\cfg\\z.cfg"), 304);
  EXPECT_EQ(zutest::readFile(host), "old=1\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(hostPath("C:\\cfg")), {}), 1)
      << "nothing is left beside it";

  // A new file that cannot be created, or its folder.
  machine().faults().failNext("CreateFileW", ERROR_ACCESS_DENIED);
  EXPECT_EQ(api.context_export_to_file(context, "C:\\cfg\\n.cfg"), 304);
  EXPECT_FALSE(std::filesystem::exists(hostPath("C:\\cfg\\n.cfg")));
  machine().faults().failNext("_wmkdir", ERROR_ACCESS_DENIED);
  EXPECT_EQ(api.context_export_to_file(context, "C:\\other\\n.cfg"), 311);
}

TEST_F(SettingsFiles, ReplacingAFileLeavesEveryOtherFileOfTheFolderAlone) {
  std::filesystem::path host = hostPath("C:\\cfg\\z.cfg");
  zutest::writeFile(host, "old=1\r\n");
  // Names a replacement could have taken: beside the file, or a temporary name.
  zutest::writeFile(hostPath("C:\\cfg\\z.cf~"), "a user's file");
  zutest::writeFile(hostPath("C:\\cfg\\z.cf_"), "another");
  for (unsigned i = 0; i < 4; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "C:\\cfg\\cfg%04x.tmp", (4242 + i) & 0xFFFF);
    zutest::writeFile(hostPath(name), "taken");
  }
  ASSERT_EQ(api.context_import_from_string(context, "new=2", nullptr, nullptr, 1, 0), 0);
  ASSERT_EQ(api.context_export_to_file(context, "C:\\cfg\\z.cfg"), 0);
  EXPECT_EQ(zutest::readFile(host), "new=2\r\n");
  EXPECT_EQ(zutest::readFile(hostPath("C:\\cfg\\z.cf~")), "a user's file");
  EXPECT_EQ(zutest::readFile(hostPath("C:\\cfg\\z.cf_")), "another");
  EXPECT_EQ(zutest::readFile(hostPath("C:\\cfg\\cfg1092.tmp")), "taken");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(hostPath("C:\\cfg")), {}), 7);
}

TEST_F(SettingsFiles, AnEmptyConfigurationIsWrittenAsOneSpaceAndReadBackEmpty) {
  ASSERT_EQ(api.context_export_to_file(context, "C:\\cfg\\empty.cfg"), 0);
  EXPECT_EQ(zutest::readFile(hostPath("C:\\cfg\\empty.cfg")), " ");
  EXPECT_EQ(importFile("C:\\cfg\\empty.cfg"), 0);
  const uint32_t* lines = nullptr;
  uint32_t count = 9;
  api.context_get_last_import_errors(context, &lines, &count);
  EXPECT_EQ(count, 0u);
}

TEST_F(SettingsFiles, ExportedConfigurationsImportEqual) {
  const char* text = "z=last\nmy key = a b \nflag\nnum=0x10\nempty=\nutf=\xE2\x82\xAC\n";
  ASSERT_EQ(api.context_import_from_string(context, text, nullptr, nullptr, 1, 1), 0);
  for (int round = 0; round < 2; ++round) {  // a new file, then the replacement
    ASSERT_EQ(api.context_export_to_file(context, "C:\\rt\\x.cfg"), 0);
    settings_context* back = api.context_create();
    ASSERT_EQ(api.context_import_from_file(back, "C:\\rt\\x.cfg", nullptr, nullptr, 1, 1), 0);
    uint32_t equal = 0;
    EXPECT_EQ(api.context_is_equal(context, back, &equal), 0);
    EXPECT_EQ(equal, 1u) << round;
    api.context_destroy(back);
  }
}

}  // namespace
