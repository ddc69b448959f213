#include "app/hardware/DiagnosticText.h"

#include <gtest/gtest.h>

namespace aerivo::diagnostic_text {
namespace {

using namespace std::string_view_literals;

TEST(DiagnosticTextUTF8, DecodesValidAndReplacesInvalidBytes) {
    EXPECT_EQ(decodeAt("\xE2\x80\xA8", 0).value, 0x2028U);
    EXPECT_EQ(decodeAt("\xE2\x80\xA8", 0).length, 3U);
    EXPECT_EQ(decodeAt("\xF0\x9F\x8C\x80", 0).value, 0x1F300U);
    for (std::string_view bad : {"\xC0\x80"sv, "\xE0\x80\xAF"sv, "\xED\xA0\x80"sv,
                                 "\xF4\x90\x80\x80"sv, "\x80"sv, "\xE2\x80"sv, "\xFF"sv}) {
        EXPECT_EQ(decodeAt(bad, 0).value, 0xFFFDU);
        EXPECT_EQ(decodeAt(bad, 0).length, 1U);
        EXPECT_FALSE(isValidUTF8(bad));
    }
    EXPECT_TRUE(isValidUTF8("plain, 한국어, \xEF\xBF\xBD"));
    EXPECT_EQ(decodeBefore("a\xE2\x80\xA8", 4).value, 0x2028U);
    EXPECT_EQ(decodeBefore("a\x80", 2).value, 0xFFFDU);
}

TEST(DiagnosticTextLines, BreaksAndTrimming) {
    const std::vector<std::string_view> expected{"a", "b", "c", "d", "e"};
    EXPECT_EQ(nonEmptyLines("\r\na\rb\r\n\nc\u2028d\xC2\x85"
                            "e\n"),
              expected);
    EXPECT_TRUE(nonEmptyLines("\n\r\n").empty());
    EXPECT_EQ(trimWhitespace("\u3000 \t x y \u00A0\r\n"), "x y");
    EXPECT_EQ(trimWhitespace("\xFF x \xFF"), "\xFF x \xFF");
    EXPECT_EQ(firstToken("  12.5\u2003rpm"), "12.5");
    EXPECT_EQ(firstToken(" \t "), "");
}

TEST(DiagnosticTextNumbers, DecimalFormsOnly) {
    EXPECT_EQ(parseFiniteDouble("1250"), 1250.0);
    EXPECT_EQ(parseFiniteDouble("+1e3"), 1000.0);
    EXPECT_EQ(parseFiniteDouble("-0.5"), -0.5);
    EXPECT_EQ(parseFiniteDouble(".5"), 0.5);
    EXPECT_EQ(parseFiniteDouble("5."), 5.0);
    for (std::string_view bad :
         {"", "+", "-", ".", "e5", "1e", "1e+", "++1", "+-1", " 1", "1 ", "inf", "-infinity", "nan",
          "NaN", "0x10", "1,5", "1e400", "1_000"}) {
        EXPECT_FALSE(parseFiniteDouble(bad)) << bad;
    }
    EXPECT_EQ(parseInteger("42"), 42);
    EXPECT_EQ(parseInteger("+42"), 42);
    EXPECT_EQ(parseInteger("-42"), -42);
    for (std::string_view bad :
         {"", "+", "-", "+-1", "4 2", "4.0", "0x2", "99999999999999999999"}) {
        EXPECT_FALSE(parseInteger(bad)) << bad;
    }
}

} // namespace
} // namespace aerivo::diagnostic_text
