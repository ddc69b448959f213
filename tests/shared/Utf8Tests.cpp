#include "shared/Utf8.h"

#include <gtest/gtest.h>

namespace aerivo {
namespace {

TEST(Utf8Validation, AcceptsWellFormedText) {
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8("fanCount=2"));
    EXPECT_TRUE(isValidUtf8("한국어 日本語 简体中文 Español"));
    EXPECT_TRUE(isValidUtf8("\xF4\x8F\xBF\xBF")); // U+10FFFF
}

TEST(Utf8Validation, RefusesMalformedSequences) {
    EXPECT_FALSE(isValidUtf8("\xFF"));
    EXPECT_FALSE(isValidUtf8("\xC3"));             // truncated
    EXPECT_FALSE(isValidUtf8("\xC3\x28"));         // bad continuation
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));         // overlong "/"
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));     // surrogate
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80")); // above U+10FFFF
    EXPECT_FALSE(isValidUtf8(std::string_view("a\x80", 2)));
}

TEST(Utf8Trimming, RemovesAsciiAndUnicodeSpaceFromBothEndsOnly) {
    EXPECT_EQ(trimmedWhitespaceAndNewlines("  \t\r\nvalue \n"), "value");
    EXPECT_EQ(trimmedWhitespaceAndNewlines("\xC2\xA0"
                                           "a b\xE2\x80\xA8"),
              "a b");
    EXPECT_EQ(trimmedWhitespaceAndNewlines("\xE3\x80\x80"
                                           "x\xE3\x80\x80"),
              "x");
    EXPECT_EQ(trimmedWhitespaceAndNewlines(" \n "), "");
    EXPECT_EQ(trimmedWhitespaceAndNewlines(""), "");
    // A multi-byte letter whose last byte looks like part of a space is kept.
    EXPECT_EQ(trimmedWhitespaceAndNewlines("日本"), "日本");
}

} // namespace
} // namespace aerivo
