// Key mappers: exact and case-insensitive mappings, and the order the composite
// tries them in.
#include <gtest/gtest.h>

#include "settings/share/KeyMappers.h"

using namespace settings_impl;

namespace {

TEST(KeyMapping, TheLatestMappingIsTriedFirstAndAKeyIsMappedOnce) {
  KeyMapperBuilder builder;
  builder.map("a", "b", true);
  builder.map("b", "c", true);
  auto mapper = builder.createKeyMapper();
  EXPECT_EQ(mapper->map("b"), std::make_pair(std::string("c"), true));
  EXPECT_EQ(mapper->map("a"), std::make_pair(std::string("b"), true));
  EXPECT_EQ(mapper->map("x"), std::make_pair(std::string("x"), false));
}

TEST(KeyMapping, CaseSensitivityIsPerMapping) {
  KeyMapperBuilder loose;
  loose.map("Alpha", "ALPHA_KEY", false);
  auto mapper = loose.createKeyMapper();
  for (const char* key : {"ALPHA", "alpha", "Alpha"}) EXPECT_EQ(mapper->map(key).first, "ALPHA_KEY") << key;

  KeyMapperBuilder strict;
  strict.map("Alpha", "ALPHA_KEY", true);
  auto exact = strict.createKeyMapper();
  EXPECT_EQ(exact->map("Alpha").first, "ALPHA_KEY");
  EXPECT_EQ(exact->map("alpha").first, "alpha");
}

TEST(KeyMapping, TheBuilderCanBeUsedAgainAfterCreatingAMapper) {
  KeyMapperBuilder builder;
  builder.map("a", "b", true);
  auto first = builder.createKeyMapper();
  builder.map("a", "c", true);
  EXPECT_EQ(first->map("a").first, "b");
  EXPECT_EQ(builder.createKeyMapper()->map("a").first, "c");
}

}  // namespace
