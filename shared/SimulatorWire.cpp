#include "shared/SimulatorWire.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace aerivo {

bool isSimulatorOp(std::uint16_t value) {
    switch (static_cast<SimulatorOp>(value)) {
    case SimulatorOp::matchingService:
    case SimulatorOp::matchingServices:
    case SimulatorOp::stringProperty:
    case SimulatorOp::openService:
    case SimulatorOp::callStructMethod:
    case SimulatorOp::closeService:
    case SimulatorOp::releaseObject:
    case SimulatorOp::registryProperty:
    case SimulatorOp::hidCopyServices:
    case SimulatorOp::hidProduct:
    case SimulatorOp::hidTemperature:
    case SimulatorOp::hidCopyServiceSnapshot:
    case SimulatorOp::ctlStatus:
    case SimulatorOp::ctlWorkload:
    case SimulatorOp::ctlFaults:
    case SimulatorOp::ctlClearFaults:
    case SimulatorOp::ctlTakeBack:
    case SimulatorOp::ctlQuit:
    case SimulatorOp::ctlApprove:
    case SimulatorOp::approvalRequest:
    case SimulatorOp::serviceJobStatus:
        return true;
    }
    return false;
}

std::array<std::uint8_t, simulatorFrameHeaderSize>
encodeSimulatorHeader(SimulatorFrameHeader header) {
    const auto op = static_cast<std::uint16_t>(header.op);
    return {static_cast<std::uint8_t>(header.payloadSize & 0xFF),
            static_cast<std::uint8_t>((header.payloadSize >> 8) & 0xFF),
            static_cast<std::uint8_t>((header.payloadSize >> 16) & 0xFF),
            static_cast<std::uint8_t>((header.payloadSize >> 24) & 0xFF),
            static_cast<std::uint8_t>(op & 0xFF),
            static_cast<std::uint8_t>(op >> 8),
            0,
            0};
}

std::optional<SimulatorFrameHeader>
decodeSimulatorHeader(std::span<const std::uint8_t, simulatorFrameHeaderSize> bytes) {
    const std::uint32_t size = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                               (static_cast<std::uint32_t>(bytes[3]) << 24);
    const auto op = static_cast<std::uint16_t>(bytes[4] | (bytes[5] << 8));
    if (size > simulatorMaxPayloadSize || !isSimulatorOp(op) || bytes[6] != 0 || bytes[7] != 0) {
        return std::nullopt;
    }
    return SimulatorFrameHeader{size, static_cast<SimulatorOp>(op)};
}

std::filesystem::path simulatorSocketPath(const std::filesystem::path& systemRoot) {
    return systemRoot / "var" / "run" / "aerivo-sim-mac.sock";
}

// MARK: writer

void SimulatorWireWriter::begin(SimulatorOp op) {
    start_ = buffer_.size();
    const auto header = encodeSimulatorHeader({0, op});
    buffer_.insert(buffer_.end(), header.begin(), header.end());
}

bool SimulatorWireWriter::finish() {
    const std::size_t payload = buffer_.size() - start_ - simulatorFrameHeaderSize;
    if (payload > simulatorMaxPayloadSize) {
        buffer_.resize(start_);
        return false;
    }
    const auto size = static_cast<std::uint32_t>(payload);
    for (std::size_t i = 0; i < 4; ++i) {
        buffer_[start_ + i] = static_cast<std::uint8_t>((size >> (8 * i)) & 0xFF);
    }
    return true;
}

void SimulatorWireWriter::u8(std::uint8_t value) {
    buffer_.push_back(value);
}

void SimulatorWireWriter::u16(std::uint16_t value) {
    buffer_.push_back(static_cast<std::uint8_t>(value & 0xFF));
    buffer_.push_back(static_cast<std::uint8_t>(value >> 8));
}

void SimulatorWireWriter::u32(std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        buffer_.push_back(static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF));
    }
}

void SimulatorWireWriter::u64(std::uint64_t value) {
    for (int i = 0; i < 8; ++i) {
        buffer_.push_back(static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF));
    }
}

void SimulatorWireWriter::f64(double value) {
    u64(std::bit_cast<std::uint64_t>(value));
}

void SimulatorWireWriter::bytes(std::span<const std::uint8_t> data) {
    u32(static_cast<std::uint32_t>(std::min<std::size_t>(data.size(), UINT32_MAX)));
    raw(data);
}

void SimulatorWireWriter::string(std::string_view text) {
    u32(static_cast<std::uint32_t>(std::min<std::size_t>(text.size(), UINT32_MAX)));
    buffer_.insert(buffer_.end(), text.begin(), text.end());
}

void SimulatorWireWriter::raw(std::span<const std::uint8_t> data) {
    buffer_.insert(buffer_.end(), data.begin(), data.end());
}

// MARK: reader

bool SimulatorWireReader::take(std::size_t count) {
    if (failed_ || data_.size() - offset_ < count) {
        failed_ = true;
        return false;
    }
    return true;
}

std::uint8_t SimulatorWireReader::u8() {
    if (!take(1)) {
        return 0;
    }
    return data_[offset_++];
}

std::uint16_t SimulatorWireReader::u16() {
    if (!take(2)) {
        return 0;
    }
    const auto value = static_cast<std::uint16_t>(data_[offset_] | (data_[offset_ + 1] << 8));
    offset_ += 2;
    return value;
}

std::uint32_t SimulatorWireReader::u32() {
    if (!take(4)) {
        return 0;
    }
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(data_[offset_ + i]) << (8 * i);
    }
    offset_ += 4;
    return value;
}

std::uint64_t SimulatorWireReader::u64() {
    if (!take(8)) {
        return 0;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        value |= static_cast<std::uint64_t>(data_[offset_ + i]) << (8 * i);
    }
    offset_ += 8;
    return value;
}

double SimulatorWireReader::f64() {
    return std::bit_cast<double>(u64());
}

std::vector<std::uint8_t> SimulatorWireReader::bytes() {
    const std::uint32_t size = u32();
    if (!take(size)) {
        return {};
    }
    std::vector<std::uint8_t> out(data_.begin() + static_cast<std::ptrdiff_t>(offset_),
                                  data_.begin() + static_cast<std::ptrdiff_t>(offset_ + size));
    offset_ += size;
    return out;
}

std::string SimulatorWireReader::string() {
    const std::uint32_t size = u32();
    if (!take(size)) {
        return {};
    }
    std::string out(reinterpret_cast<const char*>(data_.data() + offset_), size);
    offset_ += size;
    return out;
}

void SimulatorWireReader::raw(std::span<std::uint8_t> out) {
    if (!take(out.size())) {
        std::fill(out.begin(), out.end(), std::uint8_t{0});
        return;
    }
    std::memcpy(out.data(), data_.data() + offset_, out.size());
    offset_ += out.size();
}

} // namespace aerivo
