#include "shared/SimulatorWire.h"

#include <gtest/gtest.h>

#include <cmath>

namespace aerivo {
namespace {

TEST(SimulatorWire, FramesCarryTheirSizeAndOperationLittleEndian) {
    std::vector<std::uint8_t> frame;
    SimulatorWireWriter writer(frame);
    writer.begin(SimulatorOp::openService);
    writer.u32(0x01020304);
    writer.i32(-2);
    writer.string("AppleSMC");
    writer.f64(-0.5);
    ASSERT_TRUE(writer.finish());
    ASSERT_EQ(frame.size(), simulatorFrameHeaderSize + 4 + 4 + 4 + 8 + 8);
    EXPECT_EQ(frame[0], 28);
    EXPECT_EQ(frame[4], 4);
    EXPECT_EQ(frame[8], 0x04);
    EXPECT_EQ(frame[11], 0x01);

    const auto header = decodeSimulatorHeader(
        std::span<const std::uint8_t, simulatorFrameHeaderSize>(frame.data(), 8));
    ASSERT_TRUE(header.has_value());
    EXPECT_EQ(*header, (SimulatorFrameHeader{28, SimulatorOp::openService}));

    const std::span<const std::uint8_t> payload(frame.data() + simulatorFrameHeaderSize,
                                                frame.size() - simulatorFrameHeaderSize);
    SimulatorWireReader reader(payload);
    EXPECT_EQ(reader.u32(), 0x01020304u);
    EXPECT_EQ(reader.i32(), -2);
    EXPECT_EQ(reader.string(), "AppleSMC");
    EXPECT_EQ(reader.f64(), -0.5);
    EXPECT_TRUE(reader.finished());
}

TEST(SimulatorWire, HeadersOutsideTheFormatAreRefused) {
    auto decode = [](std::array<std::uint8_t, 8> bytes) { return decodeSimulatorHeader(bytes); };
    EXPECT_FALSE(decode({0, 0, 0, 0, 0, 0, 0, 0}).has_value()); // operation 0
    EXPECT_FALSE(decode({0, 0, 0, 0, 9, 0, 0, 0}).has_value()); // unknown operation
    EXPECT_FALSE(decode({0, 0, 0, 0, 1, 1, 0, 0}).has_value()); // operation 257
    EXPECT_FALSE(decode({0, 0, 0, 0, 1, 0, 0, 1}).has_value()); // reserved bits set
    EXPECT_FALSE(decode({1, 0, 1, 0, 1, 0, 0, 0}).has_value()); // 65537 bytes
    EXPECT_TRUE(decode({0, 0, 1, 0, 1, 0, 0, 0}).has_value());  // exactly 64 KiB
    EXPECT_TRUE(decode({0, 0, 0, 0, 45, 0, 0, 0}).has_value()); // ctlQuit
}

TEST(SimulatorWire, ReadersNeverReadPastThePayload) {
    // A string whose length claims more than the payload holds.
    const std::vector<std::uint8_t> lying{0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b'};
    SimulatorWireReader reader(lying);
    EXPECT_EQ(reader.string(), "");
    EXPECT_TRUE(reader.failed());
    EXPECT_EQ(reader.u32(), 0u); // stays failed
    EXPECT_FALSE(reader.finished());

    const std::vector<std::uint8_t> three{1, 2, 3};
    SimulatorWireReader shortRead(three);
    std::array<std::uint8_t, 4> out{9, 9, 9, 9};
    shortRead.raw(out);
    EXPECT_TRUE(shortRead.failed());
    EXPECT_EQ(out, (std::array<std::uint8_t, 4>{}));

    // Bytes left over are not a complete decode either.
    SimulatorWireReader leftover(three);
    leftover.u16();
    EXPECT_FALSE(leftover.failed());
    EXPECT_FALSE(leftover.finished());
}

TEST(SimulatorWire, OversizedPayloadsAreNotSent) {
    std::vector<std::uint8_t> frame{0xAA};
    SimulatorWireWriter writer(frame);
    writer.begin(SimulatorOp::ctlFaults);
    writer.string(std::string(simulatorMaxPayloadSize, 'x'));
    EXPECT_FALSE(writer.finish());
    // The partial frame is taken back; what came before stays.
    EXPECT_EQ(frame, std::vector<std::uint8_t>{0xAA});
    EXPECT_EQ(simulatorSocketPath("/tmp/r"), "/tmp/r/var/run/aerivo-sim-mac.sock");
}

} // namespace
} // namespace aerivo
