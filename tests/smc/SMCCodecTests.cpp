#include "shared/KernelReturn.h"
#include "shared/SMCKeyCodec.h"
#include "shared/SMCValue.h"

#include <gtest/gtest.h>

#include <limits>

namespace aerivo {
namespace {

using Bytes = std::vector<std::uint8_t>;

SMCValue value(std::string type, Bytes bytes) {
    const int size = static_cast<int>(bytes.size());
    return SMCValue{"F0Ac", std::move(type), size, std::move(bytes)};
}

TEST(SMCKeyCodec, PacksFirstCharacterIntoTheMostSignificantByte) {
    EXPECT_EQ(smcKeyCode("F0Tg"), 0x46305467U);
    EXPECT_EQ(smcKeyCode("#KEY"), 0x234B4559U);
    EXPECT_EQ(smcKeyCode("FS! "), 0x46532120U);
    EXPECT_EQ(smcKeyCode(""), 0U);
    EXPECT_EQ(smcKeyCode("ui8"), 0x00756938U);
    // Bytes shifted out of 32 bits are dropped: only the last four characters count.
    EXPECT_EQ(smcKeyCode("XF0Tg"), 0x46305467U);
}

TEST(SMCKeyCodec, FourCharacterStringRoundTripsAndRejectsNonASCII) {
    EXPECT_EQ(fourCharacterString(0x234B4559), "#KEY");
    EXPECT_EQ(fourCharacterString(smcKeyCode("flt ")), "flt ");
    EXPECT_EQ(fourCharacterString(0x80000000), "");
    EXPECT_EQ(fourCharacterString(0x464E75FF), "");
    const std::string withZeros = fourCharacterString(0x00756938);
    EXPECT_EQ(withZeros, std::string("\0ui8", 4));
}

TEST(SMCKeyCodec, DisplayKeySpellsOutBlanks) {
    EXPECT_EQ(displayKey("FS! "), "FS!<space>");
    EXPECT_EQ(displayKey(" a "), "<space>a<space>");
    EXPECT_EQ(displayKey("F0Ac"), "F0Ac");
}

TEST(SMCValueSpeed, DecodesFloatFixedPointAndRawTypes) {
    EXPECT_EQ(value("fpe2", {0x1F, 0x40}).rpmValue(), 2000.0);
    EXPECT_EQ(value("fpe2", {0x40, 0x1F}).rpmValue(), 4103.75);
    EXPECT_EQ(value("flt ", {0x00, 0x00, 0xFA, 0x44}).rpmValue(), 2000.0);
    EXPECT_EQ(value("ui16", {0x07, 0xD0}).rpmValue(), 2000.0);
    EXPECT_EQ(value("fpe2\n", {0x1F, 0x40}).rpmValue(), 2000.0);
    EXPECT_EQ(value(" flt\t", {0x00, 0x00, 0xFA, 0x44}).rpmValue(), 2000.0);
}

TEST(SMCValueSpeed, TooFewBytesOrANonFiniteFloatGiveNoSpeed) {
    EXPECT_FALSE(value("flt ", {0x00, 0x00, 0xFA}).rpmValue());
    EXPECT_FALSE(value("fpe2", {0x1F}).rpmValue());
    EXPECT_FALSE(value("ui8 ", {}).rpmValue());
    EXPECT_FALSE(value("flt ", {0x00, 0x00, 0xC0, 0x7F}).rpmValue()); // NaN
    EXPECT_FALSE(value("flt ", {0x00, 0x00, 0x80, 0x7F}).rpmValue()); // +infinity
}

TEST(SMCValueSpeed, FloatEncodingIsLeastSignificantByteFirst) {
    const SMCValue target = value("flt ", {0, 0, 0, 0});
    EXPECT_EQ(target.replacingRPM(2000.0).bytes, (Bytes{0x00, 0x00, 0xFA, 0x44}));
    const SMCValue encoded = target.replacingRPM(2000.5);
    EXPECT_EQ(encoded.bytes, (Bytes{0x00, 0x10, 0xFA, 0x44}));
    EXPECT_EQ(encoded.key, "F0Ac");
    EXPECT_EQ(encoded.dataType, "flt ");
    EXPECT_EQ(encoded.dataSize, 4);
    EXPECT_EQ(encoded.rpmValue(), 2000.5);
}

TEST(SMCValueSpeed, OnlyFloatTargetsAreEncoded) {
    const SMCValue fixedPoint = value("fpe2", {0x1F, 0x40});
    EXPECT_EQ(fixedPoint.replacingRPM(2000.5), fixedPoint);
    const SMCValue target = value("flt ", {0x00, 0x00, 0xFA, 0x44});
    EXPECT_EQ(target.replacingRPM(std::numeric_limits<double>::quiet_NaN()), target);
    // Beyond the float range the speed is pinned to the largest float instead of overflowing.
    EXPECT_EQ(target.replacingRPM(1e300).bytes, (Bytes{0xFF, 0xFF, 0x7F, 0x7F}));
}

TEST(SMCValueSpeed, ReplacingBytesKeepsKeyTypeAndSize) {
    const SMCValue mode{"F0md", "ui8 ", 1, {0}};
    const SMCValue manual = mode.replacingBytes({1});
    EXPECT_EQ(manual, (SMCValue{"F0md", "ui8 ", 1, {1}}));
}

TEST(KernelResultText, NamesTheKnownCodesWithTheirSignedValue) {
    EXPECT_EQ(kernelResultText(kIOReturnSuccess), "success");
    EXPECT_EQ(kernelResultText(kIOReturnBadArgument), "badArgument(-536870206)");
    EXPECT_EQ(kernelResultText(kIOReturnNotPrivileged), "notPrivileged(-536870207)");
    EXPECT_EQ(kernelResultText(kIOReturnUnsupported), "unsupported(-536870201)");
    EXPECT_EQ(kernelResultText(kIOReturnNotPermitted), "notPermitted(-536870174)");
    EXPECT_EQ(kernelResultText(kIOReturnNotOpen), "kern(-536870195)");
    EXPECT_EQ(kernelResultText(5), "kern(5)");
}

} // namespace
} // namespace aerivo
