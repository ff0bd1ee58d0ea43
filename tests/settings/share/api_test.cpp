// The entry-point table: argument checks, imports, reads, erasure, iteration, export
// and the machine-wide configuration file.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "settings/share/settings.h"
#include "tests/support/TestMachine.h"

namespace {

class SettingsApi : public zutest::MachineTest {
 protected:
  void SetUp() override {
    zutest::MachineTest::SetUp();
    settings_get_api(&api);
    context = api.context_create();
    ASSERT_NE(context, nullptr);
  }
  void TearDown() override {
    api.context_destroy(context);
    zutest::MachineTest::TearDown();
  }
  int importText(const char* text, bool stopOnError = true, bool allowKeysWithoutValue = false) {
    return api.context_import_from_string(context, text, nullptr, nullptr, stopOnError, allowKeysWithoutValue);
  }
  std::vector<uint32_t> lastErrors() {
    const uint32_t* lines = nullptr;
    uint32_t count = 0;
    EXPECT_EQ(api.context_get_last_import_errors(context, &lines, &count), 0);
    return std::vector<uint32_t>(lines, lines + count);
  }
  std::string value(const char* key) {
    const char* text = nullptr;
    return api.context_get_utf8_value(context, key, &text) == 0 ? text : "<none>";
  }
  bool isEmpty() {
    uint32_t empty = 7;
    EXPECT_EQ(api.context_is_empty(context, &empty), 0);
    return empty == 1;
  }

  settings_api api{};
  settings_context* context = nullptr;
};

TEST_F(SettingsApi, TheTableIsFilledInSlotOrder) {
  settings_api table;
  std::memset(&table, 0xAB, sizeof table);
  settings_get_api(&table);
  auto slots = reinterpret_cast<void* const*>(&table);
  for (int i = 0; i < 32; ++i) EXPECT_NE(slots[i], nullptr) << i;
  EXPECT_EQ(reinterpret_cast<void*>(table.context_create), slots[0]);
  EXPECT_EQ(reinterpret_cast<void*>(table.context_erase_key), slots[15]);
  EXPECT_EQ(reinterpret_cast<void*>(table.key_mapper_builder_map), slots[31]);
}

TEST_F(SettingsApi, NullArgumentsGive300AndChangeNothing) {
  ASSERT_EQ(importText("a=1"), 0);
  const char* text = "untouched";
  uint32_t flag = 7;
  int32_t number = 7;
  double real = 7;
  const uint32_t* lines = nullptr;
  EXPECT_EQ(api.context_get_system_config_file_path(nullptr, &text), 300);
  EXPECT_EQ(api.context_get_system_config_file_path(context, nullptr), 300);
  EXPECT_EQ(api.context_import_from_file(context, nullptr, nullptr, nullptr, 1, 0), 300);
  EXPECT_EQ(api.context_import_from_string(nullptr, "b=2", nullptr, nullptr, 1, 0), 300);
  EXPECT_EQ(api.context_import_from_context(context, nullptr), 300);
  EXPECT_EQ(api.context_get_last_import_errors(context, &lines, nullptr), 300);
  EXPECT_EQ(api.context_export_to_file(context, nullptr), 300);
  EXPECT_EQ(api.context_is_empty(context, nullptr), 300);
  EXPECT_EQ(api.context_is_equal(context, nullptr, &flag), 300);
  EXPECT_EQ(api.context_iterate_keys(context, nullptr, nullptr), 300);
  EXPECT_EQ(api.context_get_utf8_value(context, nullptr, &text), 300);
  EXPECT_EQ(api.context_get_boolean_value(context, "a", nullptr), 300);
  EXPECT_EQ(api.context_get_integer_value(nullptr, "a", &number), 300);
  EXPECT_EQ(api.context_get_double_value(context, "a", nullptr), 300);
  EXPECT_EQ(api.context_erase_key(context, nullptr), 300);
  EXPECT_EQ(api.validator_builder_create_validator(nullptr, nullptr), 300);
  EXPECT_EQ(api.validator_builder_set_integer_validator(nullptr, "k"), 300);
  EXPECT_EQ(api.validator_builder_allow_unknown_keys(nullptr, 1), 300);
  EXPECT_EQ(api.validator_builder_set_fixed_value_validator(nullptr, "k", nullptr, 0), 300);
  EXPECT_EQ(api.validator_builder_set_dirname_validator(nullptr, "k", 0), 300);
  EXPECT_EQ(api.key_mapper_builder_create_key_mapper(nullptr, nullptr), 300);
  EXPECT_EQ(api.key_mapper_builder_map(nullptr, "a", "b", 0), 300);
  EXPECT_STREQ(text, "untouched");
  EXPECT_EQ(flag, 7u);
  EXPECT_EQ(number, 7);
  EXPECT_EQ(real, 7);
  EXPECT_EQ(value("a"), "1");
  api.context_destroy(nullptr);
  api.validator_destroy(nullptr);
  api.key_mapper_destroy(nullptr);
}

TEST_F(SettingsApi, AFixedValueRecordWithoutTextIsRefusedWhole) {
  settings_validator_builder* builder = api.validator_builder_create();
  settings_fixed_value records[] = {{"Enable", 1, 0}, {nullptr, 0, 0}};
  EXPECT_EQ(api.validator_builder_set_fixed_value_validator(builder, "k", records, 2), 300);
  settings_validator* validator = nullptr;
  ASSERT_EQ(api.validator_builder_create_validator(builder, &validator), 0);
  EXPECT_EQ(api.context_import_from_string(context, "k=Enable", validator, nullptr, 1, 0), 313);
  api.validator_destroy(validator);
  api.validator_builder_destroy(builder);
}

TEST_F(SettingsApi, LaterImportsReplaceValuesAndAddKeysWithoutValue) {
  EXPECT_EQ(importText("a=1"), 0);
  EXPECT_EQ(importText("a=2"), 0);
  EXPECT_EQ(value("a"), "2");
  EXPECT_EQ(importText("b", true, true), 0);
  uint32_t flag = 0;
  EXPECT_EQ(api.context_get_boolean_value(context, "b", &flag), 0);
  EXPECT_EQ(flag, 1u);
  EXPECT_EQ(api.context_get_boolean_value(context, "missing", &flag), 303);
}

TEST_F(SettingsApi, AFaultyLineFailsTheImportAndIsRecorded) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(importText("x=1\n=2\nz=3", true), 313);
  EXPECT_TRUE(isEmpty());
  EXPECT_EQ(lastErrors(), std::vector<uint32_t>{1});

  EXPECT_EQ(importText("x=1\n=2\nz=3", false), 313);
  EXPECT_EQ(value("x"), "1");
  EXPECT_EQ(value("z"), "3");
  EXPECT_EQ(lastErrors(), std::vector<uint32_t>{1});
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Error reading config file: \"Empty key\" at line 2; char 1\n"), std::string::npos);

  EXPECT_EQ(importText("q=1"), 0);
  EXPECT_TRUE(lastErrors().empty());
}

TEST_F(SettingsApi, TypedGettersReportMissingKeysAndMissingValues) {
  ASSERT_EQ(importText("n=0x10\nflag\nd=2.5\nw=maybe", true, true), 0);
  int32_t number = 0;
  EXPECT_EQ(api.context_get_integer_value(context, "n", &number), 0);
  EXPECT_EQ(number, 16);
  EXPECT_EQ(api.context_get_integer_value(context, "missing", &number), 303);
  EXPECT_EQ(api.context_get_integer_value(context, "flag", &number), 301);
  double real = 0;
  EXPECT_EQ(api.context_get_double_value(context, "d", &real), 0);
  EXPECT_EQ(real, 2.5);
  uint32_t flag = 9;
  EXPECT_EQ(api.context_get_boolean_value(context, "w", &flag), 200);  // no number either
  EXPECT_EQ(flag, 9u);
}

TEST_F(SettingsApi, ValidatorsAndKeyMappersApplyDuringImport) {
  settings_validator_builder* vb = api.validator_builder_create();
  settings_fixed_value levels[] = {{"Enable", 1, 0}, {"Disable", 0, 0}};
  ASSERT_EQ(api.validator_builder_set_fixed_value_validator(vb, "FEATURE", levels, 2), 0);
  ASSERT_EQ(api.validator_builder_set_integer_validator(vb, "COUNT"), 0);
  settings_validator* validator = nullptr;
  ASSERT_EQ(api.validator_builder_create_validator(vb, &validator), 0);
  settings_key_mapper_builder* kb = api.key_mapper_builder_create();
  ASSERT_EQ(api.key_mapper_builder_map(kb, "FEATURE", "FEATURE", 0), 0);
  settings_key_mapper* mapper = nullptr;
  ASSERT_EQ(api.key_mapper_builder_create_key_mapper(kb, &mapper), 0);

  EXPECT_EQ(api.context_import_from_string(context, "feature=disable\nCOUNT=3", validator, mapper, 1, 0), 0);
  int32_t number = -1;
  EXPECT_EQ(api.context_get_integer_value(context, "FEATURE", &number), 0);
  EXPECT_EQ(number, 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(api.context_import_from_string(context, "OTHER=1", validator, mapper, 1, 0), 313);
  testing::internal::GetCapturedStderr();
  // A number that does not convert is not a faulty line but an unexpected failure.
  EXPECT_EQ(api.context_import_from_string(context, "COUNT=many", validator, mapper, 0, 0), 200);
  EXPECT_EQ(api.context_get_integer_value(context, "COUNT", &number), 0);
  EXPECT_EQ(number, 3);

  api.key_mapper_destroy(mapper);
  api.key_mapper_builder_destroy(kb);
  api.validator_destroy(validator);
  api.validator_builder_destroy(vb);
}

TEST_F(SettingsApi, AMappingToAKeyTheFormatCannotStoreIsRefusedAtImport) {
  settings_key_mapper_builder* kb = api.key_mapper_builder_create();
  const char* unstorable[] = {"", "#hidden", "a=b", "a:b", " lead", "trail ", "two\nlines"};
  const char* from[] = {"K0", "K1", "K2", "K3", "K4", "K5", "K6"};
  for (int i = 0; i < 7; ++i) ASSERT_EQ(api.key_mapper_builder_map(kb, from[i], unstorable[i], 1), 0);
  ASSERT_EQ(api.key_mapper_builder_map(kb, "GOOD", "Good.Key_1", 1), 0);
  settings_key_mapper* mapper = nullptr;
  ASSERT_EQ(api.key_mapper_builder_create_key_mapper(kb, &mapper), 0);

  for (int i = 0; i < 7; ++i) {
    testing::internal::CaptureStderr();
    std::string line = std::string(from[i]) + "=1";
    EXPECT_EQ(api.context_import_from_string(context, line.c_str(), nullptr, mapper, 1, 0), 313) << from[i];
    EXPECT_EQ(api.context_import_from_string(context, from[i], nullptr, mapper, 1, 1), 313) << from[i];
    testing::internal::GetCapturedStderr();
  }
  ASSERT_EQ(api.context_import_from_string(context, "GOOD=1", nullptr, mapper, 1, 0), 0);
  // Whatever an import stored, an export writes a file that reads back the same.
  ASSERT_EQ(api.context_export_to_file(context, "C:\\cfg\\mapped.cfg"), 0);
  settings_context* again = api.context_create();
  ASSERT_EQ(api.context_import_from_file(again, "C:\\cfg\\mapped.cfg", nullptr, nullptr, 1, 0), 0);
  const char* text = nullptr;
  ASSERT_EQ(api.context_get_utf8_value(again, "Good.Key_1", &text), 0);
  EXPECT_STREQ(text, "1");
  api.context_destroy(again);
  api.key_mapper_destroy(mapper);
  api.key_mapper_builder_destroy(kb);
}

TEST_F(SettingsApi, ErasingAMissingKeyGives303AndChangesNothing) {
  ASSERT_EQ(importText("a=1\nb=2"), 0);
  EXPECT_EQ(api.context_erase_key(context, "c"), 303);
  EXPECT_EQ(api.context_erase_key(context, "a"), 0);
  EXPECT_EQ(value("a"), "<none>");
  EXPECT_EQ(value("b"), "2");
}

TEST_F(SettingsApi, IterationListsKeysInOrderAndSurvivesChangesByTheCallback) {
  struct Seen {
    const settings_api* api;
    std::vector<std::string> keys;
    std::vector<uint32_t> counts;
  } seen{&api, {}, {}};
  auto callback = [](settings_context* ctx, uint32_t count, uint32_t index, const char* key, void* data) {
    auto* s = static_cast<Seen*>(data);
    EXPECT_EQ(index, s->keys.size());
    s->keys.push_back(key);
    s->counts.push_back(count);
    s->api->context_erase_key(ctx, key);  // replaces the configuration under the iteration
    return 0;
  };
  EXPECT_EQ(api.context_iterate_keys(context, callback, &seen), 0);
  EXPECT_TRUE(seen.keys.empty());
  ASSERT_EQ(importText("b=1\na=2\nc=3"), 0);
  EXPECT_EQ(api.context_iterate_keys(context, callback, &seen), 0);
  EXPECT_EQ(seen.keys, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(seen.counts, (std::vector<uint32_t>{3, 3, 3}));
  EXPECT_TRUE(isEmpty());
}

TEST_F(SettingsApi, ContextsMergeAndCompare) {
  settings_context* other = api.context_create();
  ASSERT_EQ(api.context_import_from_string(other, "a=2\nb=3", nullptr, nullptr, 1, 0), 0);
  ASSERT_EQ(importText("a=1"), 0);
  uint32_t equal = 7;
  EXPECT_EQ(api.context_is_equal(context, other, &equal), 0);
  EXPECT_EQ(equal, 0u);
  EXPECT_EQ(api.context_import_from_context(context, other), 0);
  EXPECT_EQ(api.context_is_equal(context, other, &equal), 0);
  EXPECT_EQ(equal, 1u);
  api.context_destroy(other);
}

TEST_F(SettingsApi, TheSystemConfigurationFileIsUnderCommonApplicationData) {
  const char* path = nullptr;
  EXPECT_EQ(api.context_get_system_config_file_path(context, &path), 0);
  EXPECT_STREQ(path, "C:\\ProgramData\\Vantor\\Zuna\\zuna.settings.cfg");
}

class SettingsApiWithoutCommonAppData : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }
};

TEST_F(SettingsApiWithoutCommonAppData, ContextCreationThrows200) {
  zutest::writeFile(dir() / "machine.json", R"({"folders": {"commonAppData": null}})");
  load();
  settings_api api;
  settings_get_api(&api);
  try {
    api.context_create();
    ADD_FAILURE() << "no exception";
  } catch (const settings::Exception& e) {
    EXPECT_EQ(e.code, 200);
  }
}

}  // namespace
