#include "app/model/Uuid.h"

#include <gtest/gtest.h>

#include <set>

namespace aerivo {
namespace {

TEST(Uuid, RandomIsVersionFourWithTheStandardVariant) {
    const Uuid id = Uuid::random();
    EXPECT_EQ(id.bytes()[6] >> 4, 4);
    EXPECT_EQ(id.bytes()[8] & 0xC0, 0x80);
    const std::string text = id.string();
    ASSERT_EQ(text.size(), 36u);
    EXPECT_EQ(text[14], '4');
}

TEST(Uuid, RandomIdentifiersDoNotRepeat) {
    std::set<std::string> seen;
    for (int i = 0; i < 2000; ++i) {
        seen.insert(Uuid::random().string());
    }
    EXPECT_EQ(seen.size(), 2000u);
}

TEST(Uuid, PrintsUpperCaseAndParsesEitherCase) {
    const auto lower = Uuid::parse("0a1b2c3d-4e5f-4a7b-8c9d-0e1f2a3b4c5d");
    ASSERT_TRUE(lower.has_value());
    EXPECT_EQ(lower->string(), "0A1B2C3D-4E5F-4A7B-8C9D-0E1F2A3B4C5D");
    const auto upper = Uuid::parse("0A1B2C3D-4E5F-4A7B-8C9D-0E1F2A3B4C5D");
    ASSERT_TRUE(upper.has_value());
    EXPECT_EQ(*lower, *upper);
    const Uuid id = Uuid::random();
    EXPECT_EQ(Uuid::parse(id.string()), id);
}

TEST(Uuid, RefusesAnythingButTheHyphenatedForm) {
    for (const char* text :
         {"", "0a1b2c3d4e5f4a7b8c9d0e1f2a3b4c5d", "0a1b2c3d-4e5f-4a7b-8c9d-0e1f2a3b4c5",
          "0a1b2c3d-4e5f-4a7b-8c9d-0e1f2a3b4c5dd", "0a1b2c3d_4e5f-4a7b-8c9d-0e1f2a3b4c5d",
          "0a1b2c3g-4e5f-4a7b-8c9d-0e1f2a3b4c5d", "{a1b2c3d-4e5f-4a7b-8c9d-0e1f2a3b4c5}"}) {
        EXPECT_FALSE(Uuid::parse(text).has_value()) << text;
    }
}

} // namespace
} // namespace aerivo
