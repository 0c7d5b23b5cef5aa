#include <gtest/gtest.h>

#include "base/tokens.h"

namespace kelvane {
namespace {

TEST(GetTokensTest, CountsEmptyTokensAndAnyDelimiter) {
  TokenArray t;
  t[3] = "stale";
  EXPECT_EQ(GetTokens("", t, ","), 1);
  EXPECT_EQ(t[1], "");
  EXPECT_EQ(t[3], "") << "every token is emptied first";
  EXPECT_EQ(GetTokens("x,", t, ","), 2);
  EXPECT_EQ(t[2], "");
  // Quotes are plain characters.
  ASSERT_EQ(GetTokens("\"a.bog0\",,0.0", t, ","), 3);
  EXPECT_EQ(t[1], "\"a.bog0\"");
  EXPECT_EQ(t[2], "");
  EXPECT_EQ(t[3], "0.0");
  ASSERT_EQ(GetTokens("k v;w", t, " ;"), 3);
  EXPECT_EQ(t[2], "v");
}

TEST(GetTokensTest, TwentyFiveTokensAtMost) {
  TokenArray t;
  EXPECT_EQ(GetTokens(std::string(24, ','), t, ","), 25);
  EXPECT_EQ(GetTokens(std::string(24, ',') + "last", t, ","), 25);
  EXPECT_EQ(t[25], "last");
  EXPECT_THROW(GetTokens(std::string(25, ','), t, ","), TokenError);
  EXPECT_THROW(GetTokens(std::string(25, ',') + "more", t, ","), TokenError);
}

}  // namespace
}  // namespace kelvane
