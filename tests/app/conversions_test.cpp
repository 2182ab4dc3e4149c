#include "app/unitv.h"
#include "db/value_text.h"

#include <gtest/gtest.h>

namespace {

// Three double-byte characters: "あいう" in CP932.
const std::string ThreeKana = "\x82\xA0\x82\xA2\x82\xA4";

TEST(TextToInt, ReadsWholeDecimalTextWithLeadingBlanksAndSign)
{
    EXPECT_EQ(TextToInt("-7"), -7);
    EXPECT_EQ(TextToInt("   42"), 42);
    EXPECT_EQ(TextToInt("+5"), 5);
    EXPECT_EQ(TextToInt("2147483647"), 2147483647);
    EXPECT_EQ(TextToInt("-2147483648"), INT32_MIN);
}

TEST(TextToInt, MalformedOrOutOfRangeTextIsZero)
{
    EXPECT_EQ(TextToInt(""), 0);
    EXPECT_EQ(TextToInt("12a"), 0);
    EXPECT_EQ(TextToInt("abc"), 0);
    EXPECT_EQ(TextToInt("42 "), 0);          // a trailing blank spoils the number
    EXPECT_EQ(TextToInt("\t42"), 0);         // only the space counts as a blank
    EXPECT_EQ(TextToInt("-"), 0);
    EXPECT_EQ(TextToInt("- 7"), 0);
    EXPECT_EQ(TextToInt("2147483648"), 0);
    EXPECT_EQ(TextToInt("-2147483649"), 0);
    EXPECT_EQ(TextToInt("99999999999999999999"), 0);
    EXPECT_EQ(TextToInt("1.5"), 0);
}

TEST(TextToInt, ReadsHexadecimalAfterEveryPrefix)
{
    EXPECT_EQ(TextToInt("$1F"), 31);
    EXPECT_EQ(TextToInt("0x1F"), 31);
    EXPECT_EQ(TextToInt("0X1f"), 31);
    EXPECT_EQ(TextToInt("x1f"), 31);
    EXPECT_EQ(TextToInt("X1F"), 31);
    EXPECT_EQ(TextToInt(" -$10"), -16);
    EXPECT_EQ(TextToInt("$"), 0);            // no digit after the prefix
    EXPECT_EQ(TextToInt("0x"), 0);
    EXPECT_EQ(TextToInt("$1G"), 0);
    EXPECT_EQ(TextToInt("$FFFFFFFF"), -1);   // the full 32-bit pattern
    EXPECT_EQ(TextToInt("$100000000"), 0);
}

TEST(TextToFloat, ReadsWholeNumbersWithFullStopAndExponent)
{
    EXPECT_DOUBLE_EQ(TextToFloat("1.5"), 1.5);
    EXPECT_DOUBLE_EQ(TextToFloat("  -2.25"), -2.25);
    EXPECT_DOUBLE_EQ(TextToFloat("+3"), 3.0);
    EXPECT_DOUBLE_EQ(TextToFloat("1e3"), 1000.0);
    EXPECT_DOUBLE_EQ(TextToFloat("2.5E-1"), 0.25);
    EXPECT_DOUBLE_EQ(TextToFloat("0.333333333333333"), 0.333333333333333);
}

TEST(TextToFloat, MalformedTextIsZero)
{
    EXPECT_EQ(TextToFloat(""), 0.0);
    EXPECT_EQ(TextToFloat("x"), 0.0);
    EXPECT_EQ(TextToFloat("1,5"), 0.0);      // the comma is no decimal point
    EXPECT_EQ(TextToFloat("1.5 "), 0.0);
    EXPECT_EQ(TextToFloat("1e"), 0.0);
    EXPECT_EQ(TextToFloat("."), 0.0);
    EXPECT_EQ(TextToFloat("nan"), 0.0);
    EXPECT_EQ(TextToFloat("1e999"), 0.0);
}

TEST(FloatToText, GeneralFormatWithFifteenSignificantDigits)
{
    EXPECT_EQ(FloatToText(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(FloatToText(0.5), "0.5");
    EXPECT_EQ(FloatToText(2.0), "2");
    EXPECT_EQ(FloatToText(0.0), "0");
    EXPECT_EQ(FloatToText(1.0 / 3.0 + 1.0 / 3.0 + 1.0 / 3.0), "1");
    EXPECT_EQ(FloatToText(-7.25), "-7.25");
    EXPECT_EQ(TextToFloat(FloatToText(1.0 / 3.0)), 0.333333333333333);
}

TEST(LeftSjis, CutsSingleByteTextAtTheLimitWhateverItsSign)
{
    EXPECT_EQ(LeftSjis("ABCDE", 3), "ABC");
    EXPECT_EQ(LeftSjis("ABCDE", -3), "ABC");
    EXPECT_EQ(LeftSjis("ABCDE", 0), "");
    EXPECT_EQ(LeftSjis("ABCDE", 100), "ABCDE");
    EXPECT_EQ(LeftSjis("", 5), "");
    EXPECT_EQ(LeftSjis("ABCDE", INT32_MIN), "ABCDE");
}

TEST(LeftSjis, NeverSplitsADoubleByteCharacter)
{
    EXPECT_EQ(LeftSjis(ThreeKana, 3), ThreeKana.substr(0, 2));
    EXPECT_EQ(LeftSjis(ThreeKana, 4), ThreeKana.substr(0, 4));
    EXPECT_EQ(LeftSjis(ThreeKana, 1), "");
    EXPECT_EQ(LeftSjis(ThreeKana, 100), ThreeKana);
    EXPECT_EQ(LeftSjis(ThreeKana, -5), ThreeKana.substr(0, 4));
}

TEST(LeftSjis, MixedTextNeverEndsInALoneLeadByte)
{
    // "A", "あ", "B", "ア" (half-width katakana, one byte), "漢" (lead byte 0xE0 range)
    const std::string mixed = "A\x82\xA0" "B\xB1\x8A\xBF";
    const std::vector<std::string> expected = {
        "", "A", "A", "A\x82\xA0", "A\x82\xA0" "B", "A\x82\xA0" "B\xB1", "A\x82\xA0" "B\xB1",
        mixed,
    };
    for (int n = 0; n < static_cast<int>(expected.size()); ++n) EXPECT_EQ(LeftSjis(mixed, n), expected[n]) << "n=" << n;
    // A lead byte in the E0-FD range counts as double-byte too.
    EXPECT_EQ(LeftSjis("\xE0\x40Z", 1), "");
    EXPECT_EQ(LeftSjis("\xE0\x40Z", 3), "\xE0\x40Z");
}

TEST(DelayMs, BlocksForAtLeastTheGivenTime)
{
    for (uint32_t n : {0u, 1u, 30u}) {
        const uint32_t start = TickCountMs();
        DelayMs(n);
        const uint32_t elapsed = TickCountMs() - start;
        EXPECT_GT(elapsed, n) << "n=" << n;  // returns only once the counter moved past start + n
    }
}

}  // namespace

namespace {

TEST(TrimBlanks, RemovesBytesUpToSpaceAroundTheTextOnly)
{
    EXPECT_EQ(TrimBlanks(" \t\x1F name \r\n"), "name");
    EXPECT_EQ(TrimBlanks("a b"), "a b");
    EXPECT_EQ(TrimBlanks("   "), "");
    EXPECT_EQ(TrimBlanks(""), "");
    // The full-width blank and double-byte text stay whole.
    EXPECT_EQ(TrimBlanks(" \x81\x40\x8B\xE2 "), "\x81\x40\x8B\xE2");
}

TEST(HasQuote, FindsEitherQuoteButNoDoubleByteTrail)
{
    EXPECT_TRUE(HasQuote("it's"));
    EXPECT_TRUE(HasQuote("say \"hi\""));
    EXPECT_FALSE(HasQuote("\x81\x66\x81\x68"));  // the full-width quotes ’ ”
    EXPECT_FALSE(HasQuote(""));
}

}  // namespace
