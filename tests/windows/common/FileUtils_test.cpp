// Path text: splitting and joining with both separators.
#include <gtest/gtest.h>

#include "windows/common/FileUtils.h"

namespace {

TEST(PathText, DirnameKeepsTheLastSeparator) {
  EXPECT_EQ(dirname("C:\\a\\b.txt"), "C:\\a\\");
  EXPECT_EQ(dirname("C:/a/b.txt"), "C:/a/");
  EXPECT_EQ(dirname("C:\\a\\"), "C:\\a\\");
  EXPECT_EQ(dirname("b.txt"), ".\\");
  EXPECT_EQ(dirname(""), ".\\");
}

TEST(PathText, BasenameIsTheTextAfterTheLastSeparator) {
  using S = std::string;
  EXPECT_EQ(basename(S("C:\\a\\b.txt")), "b.txt");
  EXPECT_EQ(basename(S("C:\\a/b.txt")), "b.txt");
  EXPECT_EQ(basename(S("C:/a\\b.txt")), "b.txt");
  EXPECT_EQ(basename(S("C:\\a\\")), "");
  EXPECT_EQ(basename(S("b.txt")), "b.txt");
}

TEST(PathText, CombineDropsOneLeadingSeparatorOfTheSecondPart) {
  EXPECT_EQ(combinePath("C:\\Program Files (x86)\\Common Files", "\\Zuna\\Zuna Update\\zaureg.exe"),
            "C:\\Program Files (x86)\\Common Files\\Zuna\\Zuna Update\\zaureg.exe");
  EXPECT_EQ(combinePath("C:\\a\\//", "b"), "C:\\a\\b");
  EXPECT_EQ(combinePath("C:\\a", "//b"), "C:\\a\\/b");
  EXPECT_EQ(combinePath("", "\\b"), "\\b");
  EXPECT_EQ(combinePath("a", ""), "a");
  EXPECT_EQ(removeTrailingSlashes("C:\\a\\/\\"), "C:\\a");
  EXPECT_EQ(removeTrailingSlashes("\\\\"), "");
}

}  // namespace
