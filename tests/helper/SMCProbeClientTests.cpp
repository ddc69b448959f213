#include "helper/core/SMCProbeClient.h"

#include "shared/SMCKeyCodec.h"
#include "tests/support/FakeIOKit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace aerivo {
namespace {

using ::testing::ElementsAre;
using testing::FakeIOKit;

TEST(SMCProbeClientOpening, FallsBackToAppleSMCAndClosesTheConnectionWhenDropped) {
    FakeIOKit iokit;
    const IOObjectHandle endpoint = iokit.addService("AppleSMCKeysEndpoint");
    iokit.setDefaultOpenResult(endpoint, kIOReturnNotPrivileged);
    iokit.addService("AppleSMC");
    {
        const auto client = SMCProbeClient::open(iokit);
        ASSERT_NE(client, nullptr);
        EXPECT_EQ(client->serviceClassName(), "AppleSMC");
        EXPECT_EQ(client->keyCountText(), "unknown");
        EXPECT_TRUE(iokit.isReleased(endpoint));
        EXPECT_EQ(iokit.openConnectionCount(), 1U);
    }
    EXPECT_EQ(iokit.openConnectionCount(), 0U);
    EXPECT_EQ(iokit.unreleasedServiceCount(), 0U);
}

TEST(SMCProbeClientOpening, NoClientWithoutAnSMCThatOpens) {
    FakeIOKit iokit;
    EXPECT_EQ(SMCProbeClient::open(iokit), nullptr);
    const IOObjectHandle smc = iokit.addService("AppleSMC");
    iokit.setDefaultOpenResult(smc, kIOReturnNotPermitted);
    EXPECT_EQ(SMCProbeClient::open(iokit), nullptr);
    EXPECT_EQ(iokit.openConnectionCount(), 0U);
}

TEST(SMCProbeClientWrites, ReportBothCodesAndNeedBothZeroForSuccess) {
    FakeIOKit iokit;
    iokit.addService("AppleSMC");
    iokit.setKey("F0md", "ui8 ", {0});
    const auto client = SMCProbeClient::open(iokit);
    ASSERT_NE(client, nullptr);
    const SMCValue manual = client->readValue("F0md")->replacingBytes({1});

    iokit.key("F0md").writeResult = 132;
    const FanTargetWriteResult refused = client->writeValue(manual);
    EXPECT_EQ(refused, (FanTargetWriteResult{kIOReturnSuccess, 132}));
    EXPECT_FALSE(refused.isSuccess());
    EXPECT_THAT(iokit.key("F0md").bytes, ElementsAre(0));

    iokit.key("F0md").writeResult = 0;
    iokit.key("F0md").writeKernel = kIOReturnNotPrivileged;
    EXPECT_EQ(client->writeValue(manual), (FanTargetWriteResult{kIOReturnNotPrivileged, 0}));

    iokit.key("F0md").writeKernel = kIOReturnSuccess;
    EXPECT_TRUE(client->writeValue(manual).isSuccess());
    EXPECT_THAT(iokit.key("F0md").bytes, ElementsAre(1));
}

class SMCProbeClientScan : public ::testing::Test {
protected:
    SMCProbeClientScan() { iokit.addService("AppleSMC"); }

    std::vector<std::string> scan(std::vector<std::uint8_t> keyCountBytes) {
        iokit.setKey("#KEY", "ui32", std::move(keyCountBytes));
        const auto client = SMCProbeClient::open(iokit);
        EXPECT_NE(client, nullptr);
        std::vector<std::string> keys = client->fanRelatedKeys();
        keyCountText = client->keyCountText();
        return keys;
    }

    std::size_t scannedIndexes() const {
        return iokit.smcInputs(SMCCommand::readKeyAtIndex).size();
    }

    FakeIOKit iokit;
    std::string keyCountText;
};

TEST_F(SMCProbeClientScan, ReadsTheKeyCountBigEndianFirst) {
    scan({0x00, 0x00, 0x04, 0xD2});
    EXPECT_EQ(keyCountText, "1234");
    EXPECT_EQ(scannedIndexes(), 1234U);
}

TEST_F(SMCProbeClientScan, FallsBackToLittleEndianWhenBigEndianIsTooLarge) {
    // Big-endian this is 3523477504, far too many keys: the little-endian reading is taken.
    scan({0xD2, 0x04, 0x00, 0x00});
    EXPECT_EQ(keyCountText, "1234");
    EXPECT_EQ(scannedIndexes(), 1234U);
}

TEST_F(SMCProbeClientScan, WithoutAUsableCountScansFiveThousandIndexes) {
    scan({0x00, 0x00, 0x00, 0x00});
    EXPECT_EQ(keyCountText, "unknown");
    EXPECT_EQ(scannedIndexes(), 5000U);
}

TEST_F(SMCProbeClientScan, AShortKeyCountIsNoCount) {
    scan({0x00, 0x10});
    EXPECT_EQ(keyCountText, "unknown");
    EXPECT_EQ(scannedIndexes(), 5000U);
}

TEST_F(SMCProbeClientScan, AHugeCountStopsAtTwentyThousandIndexes) {
    scan({0x00, 0x00, 0xC3, 0x50}); // 50000
    EXPECT_EQ(keyCountText, "50000");
    const std::vector<SMCKeyData> inputs = iokit.smcInputs(SMCCommand::readKeyAtIndex);
    ASSERT_EQ(inputs.size(), 20000U);
    EXPECT_EQ(inputs.front().data32, 0U);
    EXPECT_EQ(inputs.back().data32, 19999U);
}

TEST_F(SMCProbeClientScan, KeepsPrintableFanKeysOnceInOrder) {
    iokit.setIndexedKeyCodes({smcKeyCode("F0Tg"), smcKeyCode("TC0P"), smcKeyCode("F0Ac"),
                              smcKeyCode("F0Tg"), smcKeyCode("FS! "), 0x46300A67 /* "F0\ng" */,
                              0x46307F67 /* "F0<DEL>g" */, smcKeyCode("#KEY"), smcKeyCode("FNum")});
    const std::vector<std::string> keys = scan({0x00, 0x00, 0x00, 0x09});
    EXPECT_THAT(keys, ElementsAre("F0Ac", "F0Tg", "FNum", "FS! "));
    EXPECT_EQ(keyCountText, "9");
}

TEST(SMCProbeClientDiagnostics, DebugLineShowsEveryCode) {
    FakeIOKit iokit;
    iokit.addService("AppleSMC");
    iokit.setKey("F0Ac", "flt ", {0x00, 0x00, 0xFA, 0x44});
    iokit.setKey("FS! ", "ui16", {0x00, 0x01});
    iokit.key("FS! ").infoKernel = kIOReturnNotPrivileged;
    const auto client = SMCProbeClient::open(iokit);
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(client->debugLine("F0Ac"), "F0Ac: info=success result=0 type=flt  size=4 "
                                         "read=success readResult=0 inputSize=80 "
                                         "bytes=[00 00 FA 44]");
    EXPECT_EQ(client->debugLine("FS! "), "FS!<space>: info=notPrivileged(-536870207) inputSize=80");
    EXPECT_EQ(SMCProbeClient::kernelResultText(kIOReturnBadArgument), "badArgument(-536870206)");
}

} // namespace
} // namespace aerivo
