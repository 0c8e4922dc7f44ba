#include "data/text_filters.h"

#include <gtest/gtest.h>

namespace mokta {
namespace {

TEST(KeepDigits, KeepsOnlyAsciiDigitsInOrder) {
  EXPECT_EQ(KeepDigits(u"ab7"), "7");
  EXPECT_EQ(KeepDigits(u"1 2,3.4"), "1234");
  EXPECT_EQ(KeepDigits(u"-5+"), "5");
  // Digits of other scripts and characters outside the basic plane are removed whole.
  EXPECT_EQ(KeepDigits(u"1\u0663\uFF12"
                       u"2\U0001F600"),
            "12");
}

TEST(KeepDigits, LeavesAValidTextEqualSoTheCallerDoesNotRewriteIt) {
  EXPECT_EQ(KeepDigits(u"0123456789"), "0123456789");
  EXPECT_EQ(KeepDigits(u""), "");
  EXPECT_EQ(KeepSignedDigits(u""), "");
}

TEST(KeepSignedDigits, KeepsEveryMinusSignAndDropsOtherSigns) {
  EXPECT_EQ(KeepSignedDigits(u"-12"), "-12");
  EXPECT_EQ(KeepSignedDigits(u"1-2-"), "1-2-");
  EXPECT_EQ(KeepSignedDigits(u"+3"), "3");
  EXPECT_EQ(KeepSignedDigits(u"x-\u22124"), "-4");  // U+2212 is not the ASCII minus
}

}  // namespace
}  // namespace mokta
