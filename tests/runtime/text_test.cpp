// Text values: 1-based positions, empty results on bad arguments, number
// parsing and the input-item rules that answers and setup files rely on.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "runtime/utility/text.h"

using namespace quarnel;

TEST(TextFind, FindsOneBasedFromStart) {
    EXPECT_EQ(text_find(1, "a\\b\\c", "\\"), 2);
    EXPECT_EQ(text_find(3, "a\\b\\c", "\\"), 4);
    EXPECT_EQ(text_find(5, "a\\b\\c", "\\"), 0);
    EXPECT_EQ(text_find(1, "abcabc", "cab"), 3);
    EXPECT_EQ(text_find(5, "abcabc", "c"), 6);
}

TEST(TextFind, BadArgumentsGiveZero) {
    EXPECT_EQ(text_find(0, "abc", "a"), 0);   // start below 1
    EXPECT_EQ(text_find(-3, "abc", "a"), 0);
    EXPECT_EQ(text_find(4, "abc", "c"), 0);   // one past the end
    EXPECT_EQ(text_find(1, "abc", ""), 0);    // empty pattern
    EXPECT_EQ(text_find(1, "", "a"), 0);      // empty text
    EXPECT_EQ(text_find(1, "ab", "abc"), 0);  // pattern longer than text
}

TEST(TextMid, ClipsAndCountsFromOne) {
    EXPECT_EQ(text_mid("abcdef", 2, 3), "bcd");
    EXPECT_EQ(text_mid("abcdef", 2, -1), "bcdef");   // to the end
    EXPECT_EQ(text_mid("abcdef", 4, 100), "def");    // clipped
    EXPECT_EQ(text_mid("abcdef", 7, 1), "");         // beyond the length
    EXPECT_EQ(text_mid("abcdef", 0, 2), "");
    EXPECT_EQ(text_mid("abcdef", 3, 0), "");
    EXPECT_EQ(text_mid("", 1, -1), "");
}

TEST(TextLeftRight, WholeOrEmptyAtTheLimits) {
    EXPECT_EQ(text_left("abc", 2), "ab");
    EXPECT_EQ(text_left("abc", 5), "abc");
    EXPECT_EQ(text_left("abc", 0), "");
    EXPECT_EQ(text_left("abc", -1), "");
    EXPECT_EQ(text_right("REAP.SPR", 4), ".SPR");
    EXPECT_EQ(text_right("ab", 4), "ab");
    EXPECT_EQ(text_right("abc", 0), "");
    EXPECT_EQ(text_right("abc", -2), "");
}

TEST(TextLower, OnlyAsciiLettersChange) {
    EXPECT_EQ(text_lower("A.SpR"), "a.spr");
    const std::string high = "\xC5\xA0Z@[";  // bytes above 127 and neighbours of the letters stay
    EXPECT_EQ(text_lower(high), "\xC5\xA0z@[");
}

TEST(TextCompare, ByteOrderUnsignedAndPrefixLess) {
    EXPECT_EQ(text_compare("ab", "abc"), -1);
    EXPECT_EQ(text_compare("abc", "ab"), 1);
    EXPECT_EQ(text_compare("", ""), 0);
    EXPECT_EQ(text_compare("abc", "abc"), 0);
    EXPECT_EQ(text_compare("a\x80", "a\x7f"), 1);  // unsigned bytes
    EXPECT_EQ(text_compare("B", "a"), -1);
}

TEST(TextFromCodes, CountBelowOneIsEmpty) {
    const std::vector<std::uint8_t> codes = {65, 0, 255};
    EXPECT_EQ(text_from_codes(3, codes), std::string("A\0\xff", 3));
    EXPECT_EQ(text_from_codes(0, codes), "");
    EXPECT_EQ(text_from_codes(-1, codes), "");
    EXPECT_EQ(text_from_codes(9, codes).size(), 3u);  // never past the codes given
}

TEST(DecimalText, NoLeadingBlank) {
    EXPECT_EQ(decimal_text(std::int32_t{5}), "5");
    EXPECT_EQ(decimal_text(std::int32_t{-12}), "-12");
    EXPECT_EQ(decimal_text(std::uint32_t{4000000000u}), "4000000000");
    EXPECT_EQ(decimal_text(std::int64_t{-5000000000}), "-5000000000");
}

TEST(NumberValue, DecimalForms) {
    EXPECT_EQ(number_value("42"), 42.0);
    EXPECT_EQ(number_value("   -7xyz"), -7.0);
    EXPECT_EQ(number_value("\t+3.5"), 3.5);
    EXPECT_EQ(number_value(".25"), 0.25);
    EXPECT_EQ(number_value("1e3"), 1000.0);
    EXPECT_EQ(number_value("1E-2"), 0.01);
    EXPECT_EQ(number_value("2d2"), 200.0);
    EXPECT_EQ(number_value("2D+1"), 20.0);
    EXPECT_EQ(number_value("5e"), 5.0);     // an exponent without digits is not part of it
    EXPECT_EQ(number_value("5e+x"), 5.0);
    EXPECT_EQ(number_value("12,5"), 12.0);  // the comma ends it
}

TEST(NumberValue, AmpersandForms) {
    EXPECT_EQ(number_value("&H1F"), 31.0);
    EXPECT_EQ(number_value("&hff"), 255.0);
    EXPECT_EQ(number_value("&O17"), 15.0);
    EXPECT_EQ(number_value("&B101"), 5.0);
    EXPECT_EQ(number_value("&B102"), 2.0);   // 2 is no binary digit: the number ends
    EXPECT_EQ(number_value(" &HFFFFFFFF"), 4294967295.0);
    EXPECT_EQ(number_value("&X1"), 0.0);
}

TEST(NumberValue, NothingNumericGivesZero) {
    EXPECT_EQ(number_value(""), 0.0);
    EXPECT_EQ(number_value("   "), 0.0);
    EXPECT_EQ(number_value("abc"), 0.0);
    EXPECT_EQ(number_value("-"), 0.0);
    EXPECT_EQ(number_value("."), 0.0);
    EXPECT_EQ(number_value("e5"), 0.0);
    EXPECT_TRUE(std::isinf(number_value("1e999")));  // too large to hold, not a crash
}

namespace {
std::vector<std::string> all_items(const std::string& source) {
    std::vector<std::string> items;
    std::size_t pos = 0;
    while (pos < source.size()) items.push_back(take_input_item(source, pos));
    return items;
}
}  // namespace

TEST(InputItem, BlanksCommasAndLineEnds) {
    EXPECT_EQ(all_items("a, b"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(all_items("  x y \t,z\n"), (std::vector<std::string>{"x y \t", "z"}));
    EXPECT_EQ(all_items("one\rtwo\r\nthree\nfour"), (std::vector<std::string>{"one", "two", "three", "four"}));
    EXPECT_EQ(all_items("a\n\nb"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(all_items("a,,b"), (std::vector<std::string>{"a", "", "b"}));
}

TEST(InputItem, TrailingBlanksBelongToTheItem) {
    std::size_t pos = 0;
    EXPECT_EQ(take_input_item("abc   \nd", pos), "abc   ");
    EXPECT_EQ(pos, 7u);
    // After a quoted item, blanks are skipped before the separator.
    pos = 0;
    EXPECT_EQ(take_input_item("\"ab\"  ,c", pos), "ab");
    EXPECT_EQ(pos, 7u);
}

TEST(InputItem, QuotesKeepCommasAndLineEnds) {
    EXPECT_EQ(all_items("\"a,b\nc\",d"), (std::vector<std::string>{"a,b\nc", "d"}));
    EXPECT_EQ(all_items("x\"y,z"), (std::vector<std::string>{"x\"y", "z"}));  // a quote inside is ordinary
    EXPECT_EQ(all_items("\"open to the end"), (std::vector<std::string>{"open to the end"}));
    EXPECT_EQ(all_items("\"\",b"), (std::vector<std::string>{"", "b"}));
}

TEST(InputItem, EmptyAtTheEnd) {
    std::size_t pos = 0;
    EXPECT_EQ(take_input_item("", pos), "");
    EXPECT_EQ(pos, 0u);
    pos = 3;
    EXPECT_EQ(take_input_item("abc", pos), "");
    pos = 99;  // beyond the source: still empty, no out-of-range read
    EXPECT_EQ(take_input_item("abc", pos), "");
    pos = 0;
    EXPECT_EQ(take_input_item(" \t ", pos), "");
    EXPECT_EQ(pos, 3u);
}

TEST(InputItem, LongItemIsCutAndTheRestFollows) {
    const std::string long_item(5000, 'x');
    auto items = all_items(long_item + ",y");
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].size(), 4096u);
    EXPECT_EQ(items[1].size(), 904u);
    EXPECT_EQ(items[2], "y");

    const std::string quoted = "\"" + std::string(4100, 'q') + "\"";
    items = all_items(quoted);
    ASSERT_GE(items.size(), 2u);
    EXPECT_EQ(items[0].size(), 4096u);
    EXPECT_EQ(items[1].substr(0, 4), "qqqq");
}

TEST(InputItem, EveryCallAdvancesSoReadingEnds) {
    // Whatever the bytes, reading item by item reaches the end.
    std::string noise;
    for (int i = 0; i < 20000; ++i) noise.push_back(static_cast<char>((i * 7919) & 0xff));
    std::size_t pos = 0, calls = 0;
    while (pos < noise.size() && calls < noise.size() + 1) {
        const std::size_t before = pos;
        take_input_item(noise, pos);
        ASSERT_GT(pos, before);
        ++calls;
    }
    EXPECT_EQ(pos, noise.size());
}
