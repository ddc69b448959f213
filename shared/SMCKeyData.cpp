#include "shared/SMCKeyData.h"

#include <type_traits>

namespace aerivo {

static_assert(std::is_standard_layout_v<SMCKeyData>);

namespace {

class ImageWriter {
public:
    explicit ImageWriter(SMCKeyDataImage& image) : image_(image) {}

    void u8(std::size_t offset, std::uint8_t value) { image_[offset] = value; }
    void u16(std::size_t offset, std::uint16_t value) {
        image_[offset] = static_cast<std::uint8_t>(value & 0xFFU);
        image_[offset + 1] = static_cast<std::uint8_t>(value >> 8);
    }
    void u32(std::size_t offset, std::uint32_t value) {
        for (std::size_t i = 0; i < 4; ++i) {
            image_[offset + i] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFFU);
        }
    }

private:
    SMCKeyDataImage& image_;
};

class ImageReader {
public:
    explicit ImageReader(const SMCKeyDataImage& image) : image_(image) {}

    std::uint8_t u8(std::size_t offset) const { return image_[offset]; }
    std::uint16_t u16(std::size_t offset) const {
        return static_cast<std::uint16_t>(image_[offset] | (image_[offset + 1] << 8));
    }
    std::uint32_t u32(std::size_t offset) const {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            value |= static_cast<std::uint32_t>(image_[offset + i]) << (8 * i);
        }
        return value;
    }

private:
    const SMCKeyDataImage& image_;
};

// Offsets of the record image; the layout assertions in the header tie them to the struct.
constexpr std::size_t versionAt = offsetof(SMCKeyData, version);
constexpr std::size_t powerAt = offsetof(SMCKeyData, powerLimitData);
constexpr std::size_t infoAt = offsetof(SMCKeyData, keyInfo);

} // namespace

SMCKeyDataImage SMCKeyData::image() const {
    SMCKeyDataImage out{};
    ImageWriter w(out);
    w.u32(offsetof(SMCKeyData, key), key);
    w.u8(versionAt + offsetof(SMCVersion, major), version.major);
    w.u8(versionAt + offsetof(SMCVersion, minor), version.minor);
    w.u8(versionAt + offsetof(SMCVersion, build), version.build);
    w.u8(versionAt + offsetof(SMCVersion, reserved), version.reserved);
    w.u16(versionAt + offsetof(SMCVersion, release), version.release);
    w.u16(powerAt + offsetof(SMCPowerLimitData, version), powerLimitData.version);
    w.u16(powerAt + offsetof(SMCPowerLimitData, length), powerLimitData.length);
    w.u32(powerAt + offsetof(SMCPowerLimitData, cpuPLimit), powerLimitData.cpuPLimit);
    w.u32(powerAt + offsetof(SMCPowerLimitData, gpuPLimit), powerLimitData.gpuPLimit);
    w.u32(powerAt + offsetof(SMCPowerLimitData, memPLimit), powerLimitData.memPLimit);
    w.u32(infoAt + offsetof(SMCKeyInfo, dataSize), keyInfo.dataSize);
    w.u32(infoAt + offsetof(SMCKeyInfo, dataType), keyInfo.dataType);
    w.u8(infoAt + offsetof(SMCKeyInfo, dataAttributes), keyInfo.dataAttributes);
    w.u8(infoAt + offsetof(SMCKeyInfo, reserved0), keyInfo.reserved0);
    w.u8(infoAt + offsetof(SMCKeyInfo, reserved1), keyInfo.reserved1);
    w.u8(infoAt + offsetof(SMCKeyInfo, reserved2), keyInfo.reserved2);
    w.u8(offsetof(SMCKeyData, result), result);
    w.u8(offsetof(SMCKeyData, status), status);
    w.u8(offsetof(SMCKeyData, data8), data8);
    w.u32(offsetof(SMCKeyData, data32), data32);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        w.u8(offsetof(SMCKeyData, bytes) + i, bytes[i]);
    }
    return out;
}

SMCKeyData SMCKeyData::fromImage(const SMCKeyDataImage& image) {
    const ImageReader r(image);
    SMCKeyData data;
    data.key = r.u32(offsetof(SMCKeyData, key));
    data.version.major = r.u8(versionAt + offsetof(SMCVersion, major));
    data.version.minor = r.u8(versionAt + offsetof(SMCVersion, minor));
    data.version.build = r.u8(versionAt + offsetof(SMCVersion, build));
    data.version.reserved = r.u8(versionAt + offsetof(SMCVersion, reserved));
    data.version.release = r.u16(versionAt + offsetof(SMCVersion, release));
    data.powerLimitData.version = r.u16(powerAt + offsetof(SMCPowerLimitData, version));
    data.powerLimitData.length = r.u16(powerAt + offsetof(SMCPowerLimitData, length));
    data.powerLimitData.cpuPLimit = r.u32(powerAt + offsetof(SMCPowerLimitData, cpuPLimit));
    data.powerLimitData.gpuPLimit = r.u32(powerAt + offsetof(SMCPowerLimitData, gpuPLimit));
    data.powerLimitData.memPLimit = r.u32(powerAt + offsetof(SMCPowerLimitData, memPLimit));
    data.keyInfo.dataSize = r.u32(infoAt + offsetof(SMCKeyInfo, dataSize));
    data.keyInfo.dataType = r.u32(infoAt + offsetof(SMCKeyInfo, dataType));
    data.keyInfo.dataAttributes = r.u8(infoAt + offsetof(SMCKeyInfo, dataAttributes));
    data.keyInfo.reserved0 = r.u8(infoAt + offsetof(SMCKeyInfo, reserved0));
    data.keyInfo.reserved1 = r.u8(infoAt + offsetof(SMCKeyInfo, reserved1));
    data.keyInfo.reserved2 = r.u8(infoAt + offsetof(SMCKeyInfo, reserved2));
    data.result = r.u8(offsetof(SMCKeyData, result));
    data.status = r.u8(offsetof(SMCKeyData, status));
    data.data8 = r.u8(offsetof(SMCKeyData, data8));
    data.data32 = r.u32(offsetof(SMCKeyData, data32));
    for (std::size_t i = 0; i < data.bytes.size(); ++i) {
        data.bytes[i] = r.u8(offsetof(SMCKeyData, bytes) + i);
    }
    return data;
}

} // namespace aerivo
