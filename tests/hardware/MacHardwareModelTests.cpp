#include "app/hardware/KnownMacFanCatalog.h"
#include "app/hardware/MacHardwareModel.h"

#include "tests/support/FakeIOKit.h"

#include <gtest/gtest.h>

#include <utility>

namespace aerivo {
namespace {

using testing::FakeIOKit;

std::vector<std::uint8_t> bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

using namespace std::string_view_literals;

MacHardwareModel model(std::optional<std::string> identifier,
                       std::optional<std::string> productName) {
    return MacHardwareModel{.identifier = std::move(identifier),
                            .productName = std::move(productName)};
}

TEST(MacHardwareModelRegistry, DataIsCutAtTheFirstZeroByteAndTrimmed) {
    EXPECT_EQ(MacHardwareModel::registryStringFromData({'M', 'a', 'c', '1', '7', ',', '2', 0}),
              "Mac17,2");
    EXPECT_EQ(MacHardwareModel::registryStringFromData({'\t', 'A', 0, 'B', 'C'}), "A");
    EXPECT_EQ(MacHardwareModel::registryStringFromData({' ', 'A', ' ', '\n'}), " A ");
    EXPECT_FALSE(MacHardwareModel::registryStringFromData({0, 'A'}));
    EXPECT_FALSE(MacHardwareModel::registryStringFromData({}));
    EXPECT_FALSE(MacHardwareModel::registryStringFromData({0xFF, 'A', 0}));       // not UTF-8
    EXPECT_FALSE(MacHardwareModel::registryStringFromData({0xE2, 0x80, 'A', 0})); // cut short
    // Invalid bytes after the zero byte are never looked at.
    EXPECT_EQ(MacHardwareModel::registryStringFromData({'A', 0, 0xFF}), "A");
}

TEST(MacHardwareModelRegistry, StringsAreTrimmedOfControlCharactersOnly) {
    EXPECT_EQ(MacHardwareModel::registryStringFromText("\x01\u200BMacBook Pro\u00AD\x7F\n"),
              "MacBook Pro");
    EXPECT_EQ(MacHardwareModel::registryStringFromText("  Mac mini  "), "  Mac mini  ");
    EXPECT_EQ(MacHardwareModel::registryStringFromText("a\x01z"), "a\x01z"); // inside stays
    EXPECT_EQ(MacHardwareModel::registryStringFromText("Mac Studio\xC2\x85"), "Mac Studio");
    EXPECT_EQ(MacHardwareModel::registryStringFromText("스튜디오\x00"sv), "스튜디오");
    EXPECT_FALSE(MacHardwareModel::registryStringFromText("\r\n\t"));
}

TEST(MacHardwareModelCurrent, RootFirstThenPlatformExpert) {
    FakeIOKit port;
    port.setRegistryProperty(RegistryEntry::deviceTreeRoot, "model", bytes("Mac17,2\0"sv));
    port.setRegistryProperty(RegistryEntry::platformExpert, "model", bytes("Mac99,9\0"sv));
    port.setRegistryStringProperty(RegistryEntry::platformExpert, "product-name", "MacBook Pro\n");
    EXPECT_EQ(MacHardwareModel::current(port),
              (MacHardwareModel{.identifier = "Mac17,2", .productName = "MacBook Pro"}));

    FakeIOKit empty;
    EXPECT_EQ(MacHardwareModel::current(empty), MacHardwareModel{});
    EXPECT_FALSE(empty.calls(testing::FakeIOKitCallKind::registryProperty).empty());
}

TEST(MacHardwareModelCurrent, UnusableRootValuesFallBackToTheService) {
    FakeIOKit port;
    port.setRegistryProperty(RegistryEntry::deviceTreeRoot, "model", bytes("\0"sv));
    port.setRegistryProperty(RegistryEntry::platformExpert, "model", bytes("Mac15,3\0"sv));
    port.setRegistryProperty(RegistryEntry::deviceTreeRoot, "product-name",
                             bytes("\xC3\x28\0"sv)); // bad UTF-8
    port.setRegistryProperty(RegistryEntry::platformExpert, "product-name",
                             bytes("MacBook Air (M3)\0"sv));
    EXPECT_EQ(MacHardwareModel::current(port),
              (MacHardwareModel{.identifier = "Mac15,3", .productName = "MacBook Air (M3)"}));
}

TEST(KnownMacFanCatalog, MacBookAirIsFanless) {
    const auto byIdentifier =
        KnownMacFanCatalog::fallbackCapabilities(model("MacBookAir10,1", std::nullopt));
    ASSERT_TRUE(byIdentifier);
    EXPECT_EQ(*byIdentifier,
              FanHardwareCapabilities(0, std::nullopt, std::nullopt, std::nullopt,
                                      "MacBook Air models are treated as fanless and unsupported.",
                                      {}, FanHardwareSupportStatus::unsupportedNoFan));
    EXPECT_TRUE(byIdentifier->isUnsupported());
    EXPECT_TRUE(byIdentifier->fans.empty());

    for (const char* name : {"MacBook Air (M2, 2022)", "macbook air", "MACBOOK AIR 15-inch",
                             "Apple MacBook AIR", "MACBOO\u212A AIR", "Le MacBook Air"}) {
        EXPECT_TRUE(KnownMacFanCatalog::isUnsupportedAir(model("Mac17,2", std::string(name))))
            << name;
    }
    for (const char* name : {"MacBookAir", "MacBook  Air", "MacBook Pro", "ＭａｃＢｏｏｋ Ａｉｒ",
                             "MacBook\u00A0Air", "MacBook A\xFFir", ""}) {
        EXPECT_FALSE(KnownMacFanCatalog::isUnsupportedAir(model(std::nullopt, std::string(name))))
            << name;
    }
    EXPECT_FALSE(KnownMacFanCatalog::isUnsupportedAir(model("macbookair10,1", std::nullopt)));
    EXPECT_FALSE(KnownMacFanCatalog::isUnsupportedAir(model(" MacBookAir10,1", std::nullopt)));
    EXPECT_FALSE(KnownMacFanCatalog::isUnsupportedAir(MacHardwareModel{}));
}

TEST(KnownMacFanCatalog, Mac17Comma2Preset) {
    const auto preset = KnownMacFanCatalog::fallbackCapabilities(model("Mac17,2", "MacBook Pro"));
    ASSERT_TRUE(preset);
    EXPECT_EQ(preset->fanCount, 1);
    EXPECT_EQ(preset->minimumRPM, 2500.0);
    EXPECT_EQ(preset->maximumRPM, 6550.0);
    EXPECT_FALSE(preset->currentRPM);
    EXPECT_EQ(preset->source, "Mac17,2 built-in fan preset");
    EXPECT_EQ(preset->supportStatus, FanHardwareSupportStatus::supported);
    ASSERT_EQ(preset->fans.size(), 1U);
    EXPECT_EQ(preset->fans[0], (FanHardwareFan{.index = 0,
                                               .displayName = "Fan 0",
                                               .minimumRPM = 2500.0,
                                               .maximumRPM = 6550.0,
                                               .currentRPM = std::nullopt,
                                               .source = "Mac17,2 built-in fan preset"}));
    EXPECT_TRUE(preset->hasRPMAxis());
    EXPECT_FALSE(preset->hasLiveRPMReadback());

    EXPECT_FALSE(KnownMacFanCatalog::fallbackCapabilities(model("Mac17,2 ", std::nullopt)));
    EXPECT_FALSE(KnownMacFanCatalog::fallbackCapabilities(model("Mac17,3", std::nullopt)));
    EXPECT_FALSE(KnownMacFanCatalog::fallbackCapabilities(model(std::nullopt, "Mac17,2")));
    EXPECT_FALSE(KnownMacFanCatalog::fallbackCapabilities(MacHardwareModel{}));
}

TEST(KnownMacFanCatalog, FanlessRuleComesBeforeThePreset) {
    const auto result = KnownMacFanCatalog::fallbackCapabilities(model("Mac17,2", "MacBook Air"));
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->isUnsupported());
}

} // namespace
} // namespace aerivo
