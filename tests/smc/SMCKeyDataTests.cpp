#include "shared/SMCKeyData.h"

#include <gtest/gtest.h>

namespace aerivo {
namespace {

TEST(SMCKeyData, FreshRecordIsAllZeroBytes) {
    const SMCKeyDataImage image = SMCKeyData{}.image();
    for (const std::uint8_t byte : image) {
        ASSERT_EQ(byte, 0);
    }
}

TEST(SMCKeyData, ImagePlacesEveryFieldAtItsOffsetLittleEndian) {
    SMCKeyData data;
    data.key = 0x46305467; // "F0Tg"
    data.version = {1, 2, 3, 4, 0x0506};
    data.powerLimitData = {0x0708, 0x090A, 0x0B0C0D0E, 0x11121314, 0x21222324};
    data.keyInfo = {0x00000004, 0x666C7420, 0x80, 0, 0, 0};
    data.result = 132;
    data.status = 7;
    data.data8 = commandCode(SMCCommand::readBytes);
    data.data32 = 0xA1B2C3D4;
    data.bytes[0] = 0x00;
    data.bytes[3] = 0x44;
    data.bytes[31] = 0xEE;

    const SMCKeyDataImage image = data.image();
    const std::array<std::uint8_t, 4> key{0x67, 0x54, 0x30, 0x46};
    EXPECT_TRUE(std::equal(key.begin(), key.end(), image.begin()));
    EXPECT_EQ(image[4], 1);
    EXPECT_EQ(image[7], 4);
    EXPECT_EQ(image[8], 0x06);
    EXPECT_EQ(image[9], 0x05);
    EXPECT_EQ(image[10], 0); // padding
    EXPECT_EQ(image[11], 0);
    EXPECT_EQ(image[12], 0x08);
    EXPECT_EQ(image[14], 0x0A);
    EXPECT_EQ(image[16], 0x0E);
    EXPECT_EQ(image[19], 0x0B);
    EXPECT_EQ(image[24], 0x24);
    EXPECT_EQ(image[28], 4);    // dataSize
    EXPECT_EQ(image[32], 0x20); // dataType "flt " little-endian
    EXPECT_EQ(image[35], 0x66);
    EXPECT_EQ(image[36], 0x80);
    EXPECT_EQ(image[40], 132);
    EXPECT_EQ(image[41], 7);
    EXPECT_EQ(image[42], 5);
    EXPECT_EQ(image[43], 0);
    EXPECT_EQ(image[44], 0xD4);
    EXPECT_EQ(image[47], 0xA1);
    EXPECT_EQ(image[51], 0x44);
    EXPECT_EQ(image[79], 0xEE);

    EXPECT_EQ(SMCKeyData::fromImage(image), data);
}

TEST(SMCKeyData, ReadingAnImageIgnoresPaddingBytes) {
    SMCKeyDataImage image{};
    image[10] = 0xFF;
    image[11] = 0xFF;
    image[43] = 0xFF;
    image[42] = 9;
    const SMCKeyData data = SMCKeyData::fromImage(image);
    EXPECT_EQ(data.data8, commandCode(SMCCommand::readKeyInfo));
    EXPECT_EQ(data.image()[10], 0);
    EXPECT_EQ(data.image()[43], 0);
}

TEST(SMCKeyData, CommandCodesAndSelectorAreTheDriverValues) {
    EXPECT_EQ(commandCode(SMCCommand::readKeyInfo), 9);
    EXPECT_EQ(commandCode(SMCCommand::readBytes), 5);
    EXPECT_EQ(commandCode(SMCCommand::writeBytes), 6);
    EXPECT_EQ(commandCode(SMCCommand::readKeyAtIndex), 8);
    EXPECT_EQ(smcStructMethodSelector, 2U);
}

} // namespace
} // namespace aerivo
