#include "platform/services/InMemoryUserDefaults.h"

#include <gtest/gtest.h>

namespace aerivo {
namespace {

UserDefaults::Data bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

TEST(InMemoryUserDefaults, KeysHoldOneKindOfValue) {
    InMemoryUserDefaults defaults;
    EXPECT_EQ(defaults.data("k"), std::nullopt);
    EXPECT_EQ(defaults.string("k"), std::nullopt);

    EXPECT_TRUE(defaults.setString("k", "text"));
    EXPECT_EQ(defaults.string("k"), "text");
    EXPECT_EQ(defaults.data("k"), std::nullopt);

    EXPECT_TRUE(defaults.setData("k", bytes("blob")));
    EXPECT_EQ(defaults.data("k"), bytes("blob"));
    EXPECT_EQ(defaults.string("k"), std::nullopt);
    EXPECT_EQ(defaults.count(), 1u);
}

TEST(InMemoryUserDefaults, EmptyValuesArePresentAndRemoveIsIdempotent) {
    InMemoryUserDefaults defaults;
    EXPECT_TRUE(defaults.setData("empty", {}));
    EXPECT_EQ(defaults.data("empty"), UserDefaults::Data{});
    EXPECT_TRUE(defaults.setString("blank", ""));
    EXPECT_EQ(defaults.string("blank"), "");

    EXPECT_TRUE(defaults.remove("empty"));
    EXPECT_FALSE(defaults.contains("empty"));
    EXPECT_TRUE(defaults.remove("empty"));
    EXPECT_TRUE(defaults.contains("blank"));
}

} // namespace
} // namespace aerivo
