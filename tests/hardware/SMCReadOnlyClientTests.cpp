#include "app/hardware/SMCReadOnlyClient.h"
#include "shared/SMCKeyCodec.h"
#include "shared/SMCKeyData.h"
#include "shared/SMCValue.h"
#include "tests/support/FakeIOKit.h"

#include <gtest/gtest.h>

namespace aerivo {
namespace {

using testing::FakeIOKit;
using testing::FakeIOKitCallKind;
using Bytes = std::vector<std::uint8_t>;

Bytes floatBytes(float speed) {
    return SMCValue{"F0Ac", "flt ", 4, {0, 0, 0, 0}}.replacingRPM(speed).bytes;
}

class SMCReadOnlyClientTest : public ::testing::Test {
protected:
    SMCReadOnlyClientTest() { endpoint = fake.addService("AppleSMCKeysEndpoint"); }

    std::unique_ptr<SMCReadOnlyClient> client() {
        auto made = SMCReadOnlyClient::create(fake);
        EXPECT_NE(made, nullptr);
        return made;
    }

    void setFan(int index, std::optional<float> minimum, std::optional<float> maximum,
                std::optional<float> actual) {
        const std::string prefix = "F" + std::to_string(index);
        if (minimum) {
            fake.setKey(prefix + "Mn", "flt ", floatBytes(*minimum));
        }
        if (maximum) {
            fake.setKey(prefix + "Mx", "flt ", floatBytes(*maximum));
        }
        if (actual) {
            fake.setKey(prefix + "Ac", "flt ", floatBytes(*actual));
        }
    }

    FakeIOKit fake;
    IOObjectHandle endpoint = 0;
};

TEST_F(SMCReadOnlyClientTest, FanCountTakesTheFirstNonZeroByte) {
    const auto smc = client();
    fake.setKey("FNum", "ui8 ", {0x00, 0x02});
    EXPECT_EQ(smc->readFanCount(), 2);
    fake.setKey("FNum", "ui8 ", {0x01});
    EXPECT_EQ(smc->readFanCount(), 1);
    fake.setKey("FNum", "ui8 ", {0x00});
    EXPECT_EQ(smc->readFanCount(), 0);
    fake.setKey("FNum", "ui8 ", {});
    EXPECT_EQ(smc->readFanCount(), 0);
    // Only the reported size counts: bytes past it are not looked at.
    fake.key("FNum").bytes = {0x00, 0x03};
    fake.key("FNum").reportedSize = 1;
    EXPECT_EQ(smc->readFanCount(), 0);
    fake.removeKey("FNum");
    EXPECT_EQ(smc->readFanCount(), std::nullopt);
}

TEST_F(SMCReadOnlyClientTest, NoCountOrAZeroCountGivesNoFans) {
    const auto smc = client();
    const FanHardwareCapabilities unknown = smc->readFanCapabilities();
    EXPECT_EQ(unknown.supportStatus, FanHardwareSupportStatus::unavailable);
    EXPECT_EQ(unknown.source, "FNum unavailable from AppleSMCKeysEndpoint");
    EXPECT_EQ(unknown.fanCount, 0);
    EXPECT_TRUE(unknown.fans.empty());

    for (const Bytes& zero : {Bytes{0x00}, Bytes{}}) {
        fake.setKey("FNum", "ui8 ", zero);
        const FanHardwareCapabilities none = smc->readFanCapabilities();
        EXPECT_EQ(none.supportStatus, FanHardwareSupportStatus::unsupportedNoFan);
        EXPECT_EQ(none.source, "No fan reported by AppleSMCKeysEndpoint");
        EXPECT_EQ(none.fanCount, 0);
        EXPECT_TRUE(none.fans.empty());
        EXPECT_FALSE(none.minimumRPM || none.maximumRPM || none.currentRPM);
    }
}

TEST_F(SMCReadOnlyClientTest, CapabilitiesAggregateOverEveryFan) {
    fake.setKey("FNum", "ui8 ", {0x02});
    setFan(0, 1200, 5000, std::nullopt);
    setFan(1, 1000, 6000, 1500);
    const FanHardwareCapabilities read = client()->readFanCapabilities();

    EXPECT_EQ(read.supportStatus, FanHardwareSupportStatus::supported);
    EXPECT_EQ(read.fanCount, 2);
    EXPECT_EQ(read.minimumRPM, 1000.0);
    EXPECT_EQ(read.maximumRPM, 6000.0);
    EXPECT_EQ(read.currentRPM, 1500.0);
    EXPECT_EQ(read.source, "AppleSMCKeysEndpoint read-only");
    ASSERT_EQ(read.fans.size(), 2U);
    EXPECT_EQ(read.fans[0], (FanHardwareFan{0, "Fan 0", 1200.0, 5000.0, std::nullopt,
                                            "AppleSMCKeysEndpoint read-only"}));
    EXPECT_EQ(read.fans[1], (FanHardwareFan{1, "Fan 1", 1000.0, 6000.0, 1500.0,
                                            "AppleSMCKeysEndpoint read-only"}));

    std::vector<std::string> asked;
    for (const SMCKeyData& input : fake.smcInputs(SMCCommand::readKeyInfo)) {
        asked.push_back(fourCharacterString(input.key));
    }
    EXPECT_EQ(asked,
              (std::vector<std::string>{"FNum", "F0Mn", "F0Mx", "F0Ac", "F1Mn", "F1Mx", "F1Ac"}));
}

TEST_F(SMCReadOnlyClientTest, AFailingKeyOnlyLeavesItsValueAbsent) {
    fake.setKey("FNum", "ui8 ", {0x01});
    setFan(0, 1200, 5000, 2400);
    fake.key("F0Mx").readKernel = kIOReturnNotPrivileged;
    fake.key("F0Mn").bytes = {0x00, 0x00, 0x96}; // too short for a float
    const FanHardwareCapabilities read = client()->readFanCapabilities();
    ASSERT_EQ(read.fans.size(), 1U);
    EXPECT_EQ(read.fans[0].minimumRPM, std::nullopt);
    EXPECT_EQ(read.fans[0].maximumRPM, std::nullopt);
    EXPECT_EQ(read.fans[0].currentRPM, 2400.0);
    EXPECT_EQ(read.currentRPM, 2400.0);
}

TEST_F(SMCReadOnlyClientTest, FansFromTenOnHaveNoFourCharacterKeysAndStayEmpty) {
    fake.setKey("FNum", "ui8 ", {12});
    setFan(9, 1000, 5000, 1800);
    fake.setKey("10Mn", "flt ", floatBytes(900)); // what "F10Mn" would alias to
    const FanHardwareCapabilities read = client()->readFanCapabilities();
    ASSERT_EQ(read.fans.size(), 12U);
    EXPECT_EQ(read.fans[9].maximumRPM, 5000.0);
    EXPECT_EQ(read.fans[10].displayName, "Fan 10");
    EXPECT_EQ(read.fans[10].minimumRPM, std::nullopt);
    EXPECT_EQ(read.fans[11].currentRPM, std::nullopt);
    EXPECT_EQ(read.minimumRPM, 1000.0);
    // Fans 0 to 9 are asked for; fans 10 and 11 never reach the SMC.
    const auto asked = fake.smcInputs(SMCCommand::readKeyInfo);
    EXPECT_EQ(asked.size(), 1U + 3 * 10);
    for (const SMCKeyData& input : asked) {
        EXPECT_NE(fourCharacterString(input.key).substr(0, 1), "1");
    }
}

TEST_F(SMCReadOnlyClientTest, SpeedsDecodeByType) {
    const auto smc = client();
    fake.setKey("F0Ac", "fpe2", {0x1F, 0x40});
    EXPECT_EQ(smc->readCurrentPrimaryFanRPM(), 2000.0);
    fake.setKey("F0Ac", "ui16", {0x07, 0xD0});
    EXPECT_EQ(smc->readCurrentPrimaryFanRPM(), 2000.0);
    fake.setKey("F0Ac", "flt ", {0x00, 0x10, 0xFA, 0x44});
    EXPECT_EQ(smc->readCurrentPrimaryFanRPM(), 2000.5);
    fake.key("F0Ac").infoResult = 132;
    EXPECT_EQ(smc->readCurrentPrimaryFanRPM(), std::nullopt);
}

TEST(SMCReadOnlyClientOpening, FallsBackToAppleSMCAndNamesItInEverySource) {
    FakeIOKit fake;
    const IOObjectHandle endpoint = fake.addService("AppleSMCKeysEndpoint");
    fake.setOpenResult(endpoint, 0, kIOReturnNotPrivileged);
    const IOObjectHandle smc = fake.addService("AppleSMC");
    fake.setKey("FNum", "ui8 ", {0x01});
    {
        const auto client = SMCReadOnlyClient::create(fake);
        ASSERT_NE(client, nullptr);
        EXPECT_TRUE(fake.isReleased(endpoint));
        EXPECT_TRUE(fake.isReleased(smc));
        EXPECT_EQ(fake.unreleasedServiceCount(), 0U);
        EXPECT_EQ(client->serviceClassName(), "AppleSMC");
        const FanHardwareCapabilities read = client->readFanCapabilities();
        EXPECT_EQ(read.source, "AppleSMC read-only");
        EXPECT_EQ(read.fans.at(0).source, "AppleSMC read-only");
        EXPECT_EQ(client->debugFanKeyReport().front(), "smcService=AppleSMC");
        fake.removeKey("FNum");
        EXPECT_EQ(client->readFanCapabilities().source, "FNum unavailable from AppleSMC");
        EXPECT_EQ(fake.openConnectionCount(), 1U);
    }
    EXPECT_EQ(fake.openConnectionCount(), 0U); // closed with the client
}

TEST(SMCReadOnlyClientOpening, NoClientWhenNoClassOpens) {
    FakeIOKit fake;
    EXPECT_EQ(SMCReadOnlyClient::create(fake), nullptr);
    const IOObjectHandle endpoint = fake.addService("AppleSMCKeysEndpoint");
    fake.setDefaultOpenResult(endpoint, kIOReturnNotPermitted);
    const IOObjectHandle smc = fake.addService("AppleSMC");
    fake.setDefaultOpenResult(smc, kIOReturnUnsupported);
    EXPECT_EQ(SMCReadOnlyClient::create(fake), nullptr);
    EXPECT_EQ(fake.unreleasedServiceCount(), 0U);
    EXPECT_EQ(fake.openConnectionCount(), 0U);
}

TEST_F(SMCReadOnlyClientTest, FanKeyReportListsFansZeroAndOne) {
    fake.setKey("FNum", "ui8 ", {0x02});
    fake.setKey("F0Ac", "flt ", {0x00, 0x00, 0xFA, 0x44});
    fake.setKey("F1Ac", "fpe2", {0x1F, 0x40});
    fake.key("F1Mx").infoKernel = kIOReturnBadArgument;
    const auto report = client()->debugFanKeyReport();
    const std::string unknownType = std::string(4, '\0');
    EXPECT_EQ(report, (std::vector<std::string>{
                          "smcService=AppleSMCKeysEndpoint",
                          "smcStructSize=80",
                          "FNum: info=success result=0 type=ui8  size=1 read=success readResult=0 "
                          "inputSize=80 bytes=[02]",
                          "F0Mn: info=success result=132 type=" + unknownType +
                              " size=0 read=success readResult=132 inputSize=80 bytes=[]",
                          "F0Mx: info=success result=132 type=" + unknownType +
                              " size=0 read=success readResult=132 inputSize=80 bytes=[]",
                          "F0Ac: info=success result=0 type=flt  size=4 read=success readResult=0 "
                          "inputSize=80 bytes=[00 00 FA 44]",
                          "F1Mn: info=success result=132 type=" + unknownType +
                              " size=0 read=success readResult=132 inputSize=80 bytes=[]",
                          "F1Mx: info=badArgument(-536870206) inputSize=80",
                          "F1Ac: info=success result=0 type=fpe2 size=2 read=success readResult=0 "
                          "inputSize=80 bytes=[1F 40]",
                      }));
}

TEST_F(SMCReadOnlyClientTest, ControlKeyReportShowsTheBlankOfFSBang) {
    fake.setKey("FS! ", "ui16", {0x00, 0x01});
    fake.setKey("F0md", "ui8 ", {0x01});
    fake.key("F0md").readKernel = kIOReturnNotPrivileged;
    const auto report = client()->debugPotentialFanControlKeyReport();
    ASSERT_EQ(report.size(), 10U);
    EXPECT_EQ(report[0], "smcFanControlKeyProbe=read-only");
    EXPECT_EQ(report[1],
              "smcFanControlKeyProbeDetail=inspects candidate fan control keys without writing");
    EXPECT_EQ(report[4], "F0md: info=success result=0 type=ui8  size=1 "
                         "read=notPrivileged(-536870207) readResult=0 inputSize=80 bytes=[00]");
    EXPECT_EQ(report[5], "FS!<space>: info=success result=0 type=ui16 size=2 read=success "
                         "readResult=0 inputSize=80 bytes=[00 01]");
    const std::vector<std::string> keys{"F0Tg", "F0Md", "F0md", "FS!<space>",
                                        "F0Sf", "F0Mn", "F0Mx", "F0Ac"};
    for (std::size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(report[i + 2].substr(0, keys[i].size() + 1), keys[i] + ":");
    }
}

TEST_F(SMCReadOnlyClientTest, DebugLineCapsALongKeyAtThirtyTwoBytes) {
    Bytes forty(40, 0xAB);
    fake.setKey("LONG", "ch8*", forty);
    const std::string line = client()->debugLine("LONG");
    std::string hex = "AB";
    for (int i = 1; i < 32; ++i) {
        hex += " AB";
    }
    EXPECT_EQ(line, "LONG: info=success result=0 type=ch8* size=32 read=success readResult=0 "
                    "inputSize=80 bytes=[" +
                        hex + "]");
}

TEST(SMCReadOnlyClientMatrix, ProbesEveryClassServiceAndType) {
    FakeIOKit fake;
    const IOObjectHandle smc = fake.addService("AppleSMC");
    fake.setDefaultOpenResult(smc, kIOReturnBadArgument);
    fake.setOpenResult(smc, 0, kIOReturnSuccess);
    fake.setOpenResult(smc, 3, kIOReturnNotPrivileged);
    const IOObjectHandle second = fake.addService("AppleSMC", std::nullopt);
    fake.setDefaultOpenResult(second, kIOReturnUnsupported);
    fake.failMatching("AppleSMCKeysEndpoint", kIOReturnNoResources);
    fake.setKey("FNum", "ui8 ", Bytes(40, 1)); // the matrix shows the size uncapped

    const auto lines = SMCReadOnlyClient::debugConnectionMatrix(fake);
    std::vector<std::string> expected{
        "AppleSMC[0] class=AppleSMC",
        "  type=0 open=success selector=2 FNum.info=success result=0 type=ui8  size=40 "
        "inputSize=80",
        "  type=1 open=badArgument(-536870206)",
        "  type=2 open=badArgument(-536870206)",
        "  type=3 open=notPrivileged(-536870207)",
    };
    for (int type = 4; type < 10; ++type) {
        expected.push_back("  type=" + std::to_string(type) + " open=badArgument(-536870206)");
    }
    expected.push_back("AppleSMC[1] class=unknown");
    for (int type = 0; type < 10; ++type) {
        expected.push_back("  type=" + std::to_string(type) + " open=unsupported(-536870201)");
    }
    expected.push_back("AppleSMCKeysEndpoint: match=kern(-536870210)");
    expected.push_back("AppleSMCSensorDispatcher: no matches");
    EXPECT_EQ(lines, expected);

    EXPECT_EQ(fake.openConnectionCount(), 0U);
    EXPECT_EQ(fake.unreleasedServiceCount(), 0U);
    EXPECT_EQ(fake.calls(FakeIOKitCallKind::closeService).size(), 1U);
}

TEST(SMCReadOnlyClientMatrix, AClassWithoutServicesGivesOneLine) {
    FakeIOKit fake;
    EXPECT_EQ(SMCReadOnlyClient::debugConnectionMatrix(fake),
              (std::vector<std::string>{"AppleSMC: no matches", "AppleSMCKeysEndpoint: no matches",
                                        "AppleSMCSensorDispatcher: no matches"}));
}

TEST(SMCReadOnlyClientMatrix, ReportsTheKernelCodeOfAFailingKeyInformationCall) {
    FakeIOKit fake;
    fake.addService("AppleSMCSensorDispatcher", "AppleSMCSensorDispatcher");
    fake.key("FNum").infoKernel = kIOReturnNotPermitted;
    const auto lines = SMCReadOnlyClient::debugConnectionMatrix(fake);
    ASSERT_EQ(lines.size(), 13U);
    EXPECT_EQ(lines[3], "  type=0 open=success selector=2 FNum.info=notPermitted(-536870174) "
                        "result=0 type=" +
                            std::string(4, '\0') + " size=0 inputSize=80");
}

// Every operation of the client, on a machine where every key reads: not one write command may
// reach the SMC, and nothing stays open afterwards.
TEST(SMCReadOnlyClientSafety, NoOperationEverSendsAWrite) {
    FakeIOKit fake;
    fake.addService("AppleSMCKeysEndpoint");
    fake.addService("AppleSMC");
    fake.addService("AppleSMCSensorDispatcher");
    fake.setKey("FNum", "ui8 ", {0x02});
    for (const std::string key : {"F0Mn", "F0Mx", "F0Ac", "F1Mn", "F1Mx", "F1Ac", "F0Tg"}) {
        fake.setKey(key, "flt ", {0x00, 0x00, 0xFA, 0x44});
    }
    fake.setKey("F0md", "ui8 ", {0x00});
    fake.setKey("F0Md", "ui8 ", {0x00});
    fake.setKey("FS! ", "ui16", {0x00, 0x00});
    fake.setKey("F0Sf", "ui8 ", {0x00});
    {
        const auto client = SMCReadOnlyClient::create(fake);
        ASSERT_NE(client, nullptr);
        EXPECT_EQ(client->readFanCount(), 2);
        EXPECT_EQ(client->readRPM("F1Ac"), 2000.0);
        EXPECT_EQ(client->readCurrentPrimaryFanRPM(), 2000.0);
        EXPECT_EQ(client->readFanCapabilities().fans.size(), 2U);
        EXPECT_EQ(client->debugFanKeyReport().size(), 9U);
        EXPECT_EQ(client->debugPotentialFanControlKeyReport().size(), 10U);
        EXPECT_FALSE(client->debugLine("F0Tg").empty());
        EXPECT_EQ(SMCReadOnlyClient::debugConnectionMatrix(fake).size(), 3U * 11U);
        EXPECT_FALSE(
            SMCReadOnlyClient::matrixReadSummary(fake, client->connection(), 2, "FNum").empty());
    }
    EXPECT_FALSE(fake.smcInputs(SMCCommand::readKeyInfo).empty());
    EXPECT_TRUE(fake.smcInputs(SMCCommand::writeBytes).empty());
    for (const auto& call : fake.calls(FakeIOKitCallKind::callStructMethod)) {
        EXPECT_NE(call.input->data8, commandCode(SMCCommand::writeBytes));
    }
    EXPECT_EQ(fake.openConnectionCount(), 0U);
    EXPECT_EQ(fake.unreleasedServiceCount(), 0U);
    EXPECT_EQ(fake.key("F0Tg").bytes, (Bytes{0x00, 0x00, 0xFA, 0x44}));
}

} // namespace
} // namespace aerivo
