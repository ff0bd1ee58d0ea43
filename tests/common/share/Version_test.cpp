// Version texts: components, leftovers, errors and ordering.
#include "common/share/Version.h"
#include "common/share/ZunaVersion.h"

#include <gtest/gtest.h>

#include <array>
#include <stdexcept>

namespace {

using Components = std::array<int32_t, 5>;

struct Parsed {
  const char* text;
  Components components;
  size_t unrecognised;
};

// The runtime parser on well-formed and malformed texts: what it writes and how many
// characters it leaves.
TEST(ZunaVersionParser, ComponentsAndLeftovers) {
  const Parsed cases[] = {
      {"1.8.0_31", {1, 8, 0, 31, 0}, 0},
      {"1.8.0_31-b13", {1, 8, 0, 31, 13}, 0},
      {"1.8.0_31-ea-b13", {1, 8, 0, 31, 13}, 0},
      {"1.8.0", {1, 8, 0, 0, 0}, 0},
      {"1.8", {1, 8, 0, 0, 0}, 0},
      {"1", {1, 0, 0, 0, 0}, 0},
      {"", {0, 0, 0, 0, 0}, 0},
      {"1.8.0-ea", {1, 8, 0, 0, 0}, 0},
      {"1.8.0-b07", {1, 8, 0, 0, 7}, 0},
      {"1.8.0_00", {1, 8, 0, 0, 0}, 0},
      {"1.8.0_31-rc-x-b13", {1, 8, 0, 31, 13}, 0},
      {"1.8.0.1", {1, 8, 0, 0, 0}, 2},
      {"1.8._31", {1, 8, 0, 0, 0}, 3},
      {"1.8.0_31-b13-x", {1, 8, 0, 31, 13}, 2},
      {"1.8.0_x", {1, 8, 0, 0, 0}, 2},
      {"1.8.0_31-b", {1, 8, 0, 31, 0}, 0},  // no build segment: a qualifier
      {"1.8.0_31--b13", {1, 8, 0, 31, 0}, 5},  // a lone "-" before the build stays
      {"1.8.x", {1, 8, 0, 0, 0}, 1},
      {"a.8.0", {0, 0, 0, 0, 0}, 5},
      {"1.+8.0", {1, 0, 0, 0, 0}, 4},
      {"1.8.0_2147483648", {1, 8, 0, 0, 0}, 11},
  };
  for (const Parsed& c : cases) {
    Components out{};
    size_t count = 5;
    size_t left = ZunaVersionDetails::Parser()(c.text, out.data(), count);
    EXPECT_EQ(out, c.components) << c.text;
    EXPECT_EQ(left, c.unrecognised) << c.text;
  }
  Components out{};
  size_t four = 4;
  EXPECT_THROW(ZunaVersionDetails::Parser()("1.8.0_31", out.data(), four), std::length_error) << "five slots needed";
}

TEST(VersionParser, StopsAtTheFirstTokenThatIsNoComponent) {
  struct Case {
    const char* text;
    size_t capacity;
    std::vector<int32_t> components;
    size_t unrecognised;
  };
  const Case cases[] = {
      {"1.8.0_31", 3, {1, 8}, 4},
      {"1.8.0", 3, {1, 8, 0}, 0},
      {"1.8.0.1", 3, {1, 8, 0}, 2},
      {"1.8.0.1", 4, {1, 8, 0, 1}, 0},
      {"1.8.0", 1, {1}, 4},
      {"007.12", 2, {7, 12}, 0},
      {"", 3, {}, 0},
      {"..", 3, {}, 2},
      {"1..2", 3, {1}, 2},
  };
  for (const Case& c : cases) {
    std::vector<int32_t> out(c.capacity, -1);
    size_t count = c.capacity;
    size_t left = VersionDetails::Parser()(c.text, out.data(), count);
    EXPECT_EQ(left, c.unrecognised) << c.text;
    ASSERT_EQ(count, c.components.size()) << c.text;
    out.resize(count);
    EXPECT_EQ(out, c.components) << c.text;
  }
  std::vector<int32_t> none(1);
  size_t zero = 0;
  EXPECT_THROW(VersionDetails::Parser()("1", none.data(), zero), std::length_error);
}

TEST(VersionComponent, OnlyPlainDecimalsThatFitAreComponents) {
  EXPECT_EQ(VersionDetails::parseComponent("12"), 12);
  EXPECT_EQ(VersionDetails::parseComponent("007"), 7);
  EXPECT_EQ(VersionDetails::parseComponent("2147483647"), 2147483647);
  for (const char* bad : {"", "+1", "-1", " 1", "1 ", "1a", "0_31", "2147483648", "99999999999"}) {
    EXPECT_THROW(VersionDetails::parseComponent(bad), std::runtime_error) << bad;
    int32_t value = 42;
    EXPECT_FALSE(VersionDetails::tryParseComponent(bad, value)) << bad;
    EXPECT_EQ(value, 42) << "untouched on failure";
  }
  try {
    VersionDetails::parseComponent("1a");
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("at VersionDetails::parseComponent(): Failed to recognize version "
                                         "component in [1a]"),
              std::string::npos)
        << e.what();
  }
}

TEST(ZreVersion, InitKeepsTheTextAndRejectsLeftovers) {
  ZreVersion version("1.8.0_31-b13");
  EXPECT_EQ(version.components(), (Components{1, 8, 0, 31, 13}));
  EXPECT_EQ(version.text(), "1.8.0_31-b13");

  ZreVersion empty("");
  EXPECT_EQ(empty.components(), (Components{}));

  try {
    version.init("1.8.0.1");
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("(): Failed to parse [1.8.0.1] version string completely. Number of "
                                         "unrecognised characters is 2"),
              std::string::npos)
        << e.what();
    EXPECT_NE(std::string(e.what()).find("Version.cpp("), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find(
                  " at VersionDetails::Base<5,struct ZunaVersionDetails::ZreParser>::init(): "),
              std::string::npos)
        << e.what();
  }
  // A failed init leaves the previous value.
  EXPECT_EQ(version.text(), "1.8.0_31-b13");
  EXPECT_EQ(version.component(4), 13);
}

TEST(ZreVersion, OrdersByComponentsNotByText) {
  EXPECT_EQ(ZreVersion("1.8.0"), ZreVersion("1.8.0_00"));
  EXPECT_GT(ZreVersion("1.8.0_20"), ZreVersion("1.8.0_5"));
  EXPECT_LT(ZreVersion("1.7.0_80"), ZreVersion("1.8"));
  EXPECT_LT(ZreVersion("1.8.0_31"), ZreVersion("1.8.0_31-b13"));
  EXPECT_EQ(ZreVersion("1.8.0_31-ea-b13"), ZreVersion("1.8.0_31-b13"));
  EXPECT_GE(ZreVersion("1.8.0_25-b17"), ZreVersion("1.8.0_20"));
  EXPECT_LT(ZreVersion("1.8.0_06"), ZreVersion("1.8.0_20"));
}

}  // namespace
