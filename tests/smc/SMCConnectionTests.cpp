#include "platform/services/IOKitSMCConnection.h"
#include "platform/services/SMCServiceConnection.h"
#include "shared/SMCKeyCodec.h"
#include "shared/smcwrite/SMCValueWriter.h"
#include "tests/support/FakeIOKit.h"

#include <gtest/gtest.h>

namespace aerivo {
namespace {

using testing::FakeIOKit;
using testing::FakeIOKitCallKind;
using Bytes = std::vector<std::uint8_t>;

class SMCConnectionTest : public ::testing::Test {
protected:
    SMCConnectionTest() {
        fake.addService("AppleSMC");
        opened = openSMCService(fake);
    }

    IOKitSMCConnection connection() { return IOKitSMCConnection(fake, opened->connection); }
    FanTargetWriteResult write(const SMCValue& value) {
        IOKitSMCConnection smc = connection();
        return writeSMCValue(smc, value);
    }

    FakeIOKit fake;
    std::optional<SMCServiceConnection> opened;
};

TEST_F(SMCConnectionTest, ReadValueAsksForInformationThenTheReportedSize) {
    fake.setKey("F0Ac", "flt ", {0x00, 0x00, 0xFA, 0x44});
    const auto read = connection().readValue("F0Ac");
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, (SMCValue{"F0Ac", "flt ", 4, {0x00, 0x00, 0xFA, 0x44}}));

    const auto calls = fake.calls(FakeIOKitCallKind::callStructMethod);
    ASSERT_EQ(calls.size(), 2U);
    EXPECT_EQ(calls[0].number, smcStructMethodSelector);
    EXPECT_EQ(calls[0].input->data8, commandCode(SMCCommand::readKeyInfo));
    EXPECT_EQ(calls[0].input->key, smcKeyCode("F0Ac"));
    EXPECT_EQ(calls[1].input->data8, commandCode(SMCCommand::readBytes));
    EXPECT_EQ(calls[1].input->keyInfo.dataSize, 4U);
    EXPECT_EQ(calls[1].input->key, smcKeyCode("F0Ac"));
}

TEST_F(SMCConnectionTest, EitherStepFailingInKernelOrSMCGivesNoValue) {
    fake.setKey("F0Ac", "flt ", {0x00, 0x00, 0xFA, 0x44});
    fake.key("F0Ac").infoResult = 132; // kernel success, SMC refuses
    EXPECT_FALSE(connection().readValue("F0Ac"));

    fake.key("F0Ac").infoResult = 0;
    fake.key("F0Ac").readKernel = kIOReturnNotPrivileged;
    EXPECT_FALSE(connection().readValue("F0Ac"));

    fake.key("F0Ac").readKernel = kIOReturnSuccess;
    fake.key("F0Ac").readResult = 1;
    EXPECT_FALSE(connection().readValue("F0Ac"));

    EXPECT_FALSE(connection().readValue("F9Ac")); // unknown key: SMC result 132
}

TEST_F(SMCConnectionTest, KeysThatAreNotFourBytesAreNeverSent) {
    // "F10Mn" packs to the code of "10Mn": it must not reach that key.
    fake.setKey("10Mn", "flt ", {0x00, 0x00, 0xFA, 0x44});
    EXPECT_FALSE(connection().readValue("F10Mn"));
    EXPECT_FALSE(connection().readValue("F0A"));
    EXPECT_EQ(write(SMCValue{"F10Mn", "flt ", 4, {0, 0, 0, 0}}).kernelResult, kIOReturnBadArgument);
    EXPECT_TRUE(fake.calls(FakeIOKitCallKind::callStructMethod).empty());
}

TEST_F(SMCConnectionTest, ReportedSizesAboveThirtyTwoAreCapped) {
    Bytes forty(40);
    for (std::size_t i = 0; i < forty.size(); ++i) {
        forty[i] = static_cast<std::uint8_t>(i);
    }
    fake.setKey("LONG", "ch8*", forty);
    const auto read = connection().readValue("LONG");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->dataSize, 32);
    EXPECT_EQ(read->bytes, Bytes(forty.begin(), forty.begin() + 32));
    // The read still asks for the size the SMC reported.
    EXPECT_EQ(fake.smcInputs(SMCCommand::readBytes).back().keyInfo.dataSize, 40U);
}

TEST_F(SMCConnectionTest, WriteValueSendsKeySizeAndBytesAndReportsBothCodes) {
    fake.setKey("F0Tg", "flt ", {0, 0, 0, 0});
    const SMCValue target = SMCValue{"F0Tg", "flt ", 4, {0, 0, 0, 0}}.replacingRPM(2000.5);
    const FanTargetWriteResult written = write(target);
    EXPECT_TRUE(written.isSuccess());

    const auto writes = fake.smcInputs(SMCCommand::writeBytes);
    ASSERT_EQ(writes.size(), 1U);
    EXPECT_EQ(writes[0].key, smcKeyCode("F0Tg"));
    EXPECT_EQ(writes[0].keyInfo.dataSize, 4U);
    EXPECT_EQ(writes[0].keyInfo.dataType, 0U);
    EXPECT_EQ(Bytes(writes[0].bytes.begin(), writes[0].bytes.begin() + 5),
              (Bytes{0x00, 0x10, 0xFA, 0x44, 0x00}));
    EXPECT_EQ(connection().readValue("F0Tg")->rpmValue(), 2000.5);

    fake.key("F0Tg").writeResult = 132;
    const FanTargetWriteResult refused = write(target);
    EXPECT_EQ(refused, (FanTargetWriteResult{kIOReturnSuccess, 132}));
    EXPECT_FALSE(refused.isSuccess());

    fake.key("F0Tg").writeKernel = kIOReturnNotPrivileged;
    EXPECT_EQ(write(target).kernelResult, kIOReturnNotPrivileged);
}

TEST_F(SMCConnectionTest, WriteValueRefusesSizesTheRecordCannotCarry) {
    fake.setKey("F0Tg", "flt ", {0, 0, 0, 0});
    const std::size_t callsBefore = fake.calls().size();
    EXPECT_EQ(write(SMCValue{"F0Tg", "flt ", -1, {1}}).kernelResult, kIOReturnBadArgument);
    EXPECT_EQ(write(SMCValue{"F0Tg", "flt ", 33, Bytes(33, 1)}).kernelResult, kIOReturnBadArgument);
    EXPECT_EQ(fake.calls().size(), callsBefore);
    EXPECT_EQ(fake.key("F0Tg").bytes, (Bytes{0, 0, 0, 0}));
}

TEST_F(SMCConnectionTest, KeyAtIndexAcceptsOnlyFourPrintableCharacters) {
    fake.setIndexedKeyCodes({smcKeyCode("#KEY"), smcKeyCode("FS! "), 0x46301F41, 0x46307F41,
                             0x46308041, smcKeyCode("~ab ")});
    EXPECT_EQ(connection().key(0), "#KEY");
    EXPECT_EQ(connection().key(1), "FS! ");
    EXPECT_FALSE(connection().key(2)); // byte 0x1F
    EXPECT_FALSE(connection().key(3)); // byte 0x7F
    EXPECT_FALSE(connection().key(4)); // byte 0x80
    EXPECT_EQ(connection().key(5), "~ab ");
    EXPECT_FALSE(connection().key(6)); // past the end: SMC result 132
    const auto inputs = fake.smcInputs(SMCCommand::readKeyAtIndex);
    ASSERT_EQ(inputs.size(), 7U);
    EXPECT_EQ(inputs[5].data32, 5U);
    EXPECT_EQ(inputs[5].key, 0U);
}

TEST_F(SMCConnectionTest, DebugLineShowsEveryCode) {
    fake.setKey("F0Ac", "flt ", {0x00, 0x00, 0xFA, 0x44});
    EXPECT_EQ(connection().debugLine("F0Ac"),
              "F0Ac: info=success result=0 type=flt  size=4 read=success readResult=0 "
              "inputSize=80 bytes=[00 00 FA 44]");
    // An unknown key has a zero type code, whose four zero bytes stay in the text.
    EXPECT_EQ(connection().debugLine("F9Ac"),
              "F9Ac: info=success result=132 type=" + std::string(4, '\0') +
                  " size=0 read=success readResult=132 inputSize=80 bytes=[]");
    fake.key("F0Ac").infoKernel = kIOReturnBadArgument;
    EXPECT_EQ(connection().debugLine("F0Ac"), "F0Ac: info=badArgument(-536870206) inputSize=80");
}

TEST(SMCByteArray, GivesAllThirtyTwoBytesInOrder) {
    SMCKeyData data;
    data.bytes[0] = 1;
    data.bytes[31] = 9;
    const Bytes bytes = byteArray(data);
    ASSERT_EQ(bytes.size(), 32U);
    EXPECT_EQ(bytes.front(), 1);
    EXPECT_EQ(bytes.back(), 9);
}

TEST(SMCServiceOpening, FallsBackToAppleSMCAndReleasesTheFirstService) {
    FakeIOKit fake;
    const IOObjectHandle endpoint = fake.addService("AppleSMCKeysEndpoint");
    fake.setOpenResult(endpoint, 0, kIOReturnNotPrivileged);
    const IOObjectHandle smc = fake.addService("AppleSMC");

    const auto opened = openSMCService(fake);
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->serviceClassName, "AppleSMC");
    EXPECT_NE(opened->connection, 0U);
    EXPECT_TRUE(fake.isReleased(endpoint));
    EXPECT_TRUE(fake.isReleased(smc));
    EXPECT_EQ(fake.unreleasedServiceCount(), 0U);
    const auto opens = fake.calls(FakeIOKitCallKind::openService);
    ASSERT_EQ(opens.size(), 2U);
    EXPECT_EQ(opens[0].handle, endpoint);
    EXPECT_EQ(opens[0].number, 0U);
}

TEST(SMCServiceOpening, StopsAtTheFirstClassThatOpens) {
    FakeIOKit fake;
    fake.addService("AppleSMCKeysEndpoint");
    fake.addService("AppleSMC");
    const auto opened = openSMCService(fake);
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->serviceClassName, "AppleSMCKeysEndpoint");
    EXPECT_EQ(fake.calls(FakeIOKitCallKind::matchingService).size(), 1U);
}

TEST(SMCServiceOpening, NothingOpensWithoutAServiceThatOpens) {
    FakeIOKit fake;
    EXPECT_FALSE(openSMCService(fake));
    const IOObjectHandle smc = fake.addService("AppleSMC");
    fake.setDefaultOpenResult(smc, kIOReturnUnsupported);
    EXPECT_FALSE(openSMCService(fake));
    EXPECT_EQ(fake.openConnectionCount(), 0U);
    EXPECT_EQ(fake.unreleasedServiceCount(), 0U);
}

} // namespace
} // namespace aerivo
