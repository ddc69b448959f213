#include "app/hardware/KnownMacFanCatalog.h"
#include "app/hardware/MacHardwareModel.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>

namespace aerivo {
namespace {

// Registry properties of the two fixed entries; every other IOKit call fails.
class RegistryOnlyPort final : public IOKitPort {
public:
    using Bytes = std::vector<std::uint8_t>;

    void setData(RegistryEntry entry, std::string name, std::string_view bytes) {
        data_[{entry, std::move(name)}] = Bytes(bytes.begin(), bytes.end());
    }
    void setString(RegistryEntry entry, std::string name, std::string value) {
        strings_[{entry, std::move(name)}] = std::move(value);
    }
    int reads = 0;

    IOObjectHandle matchingService(std::string_view) override { return 0; }
    IOServiceMatches matchingServices(std::string_view) override { return {kIOReturnNotFound, {}}; }
    std::optional<std::string> stringProperty(IOObjectHandle, std::string_view) override {
        return std::nullopt;
    }
    IOServiceOpenResult openService(IOObjectHandle, std::uint32_t) override {
        return {kIOReturnNotFound, 0};
    }
    KernReturn callStructMethod(IOConnectHandle, std::uint32_t, const IOStructMethodRecord&,
                                IOStructMethodRecord&) override {
        return kIOReturnNotFound;
    }
    KernReturn closeService(IOConnectHandle) override { return kIOReturnSuccess; }
    KernReturn releaseObject(IOObjectHandle) override { return kIOReturnSuccess; }

    std::optional<Bytes> registryProperty(RegistryEntry entry, std::string_view name) override {
        ++reads;
        const auto found = data_.find({entry, std::string(name)});
        return found == data_.end() ? std::nullopt : std::optional<Bytes>(found->second);
    }
    std::optional<std::string> registryStringProperty(RegistryEntry entry,
                                                      std::string_view name) override {
        ++reads;
        const auto found = strings_.find({entry, std::string(name)});
        return found == strings_.end() ? std::nullopt : std::optional<std::string>(found->second);
    }

private:
    std::map<std::pair<RegistryEntry, std::string>, Bytes> data_;
    std::map<std::pair<RegistryEntry, std::string>, std::string> strings_;
};

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
    RegistryOnlyPort port;
    port.setData(RegistryEntry::deviceTreeRoot, "model", "Mac17,2\0"sv);
    port.setData(RegistryEntry::platformExpert, "model", "Mac99,9\0"sv);
    port.setString(RegistryEntry::platformExpert, "product-name", "MacBook Pro\n");
    EXPECT_EQ(MacHardwareModel::current(port),
              (MacHardwareModel{.identifier = "Mac17,2", .productName = "MacBook Pro"}));

    RegistryOnlyPort empty;
    EXPECT_EQ(MacHardwareModel::current(empty), MacHardwareModel{});
    EXPECT_GT(empty.reads, 0);
}

TEST(MacHardwareModelCurrent, UnusableRootValuesFallBackToTheService) {
    RegistryOnlyPort port;
    port.setData(RegistryEntry::deviceTreeRoot, "model", "\0"sv);
    port.setData(RegistryEntry::platformExpert, "model", "Mac15,3\0"sv);
    port.setData(RegistryEntry::deviceTreeRoot, "product-name", "\xC3\x28\0"sv); // bad UTF-8
    port.setData(RegistryEntry::platformExpert, "product-name", "MacBook Air (M3)\0"sv);
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
