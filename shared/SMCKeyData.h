#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace aerivo {

// The SMC call record and its parts, laid out exactly as the SMC driver's user client expects
// them: one 80-byte record goes in and one comes back through a single struct method. Integers
// are little-endian in the record image (the byte order of every machine with this driver).
// Every field starts at zero, so a default-made record is all zero bytes.

struct SMCVersion {
    std::uint8_t major = 0;
    std::uint8_t minor = 0;
    std::uint8_t build = 0;
    std::uint8_t reserved = 0;
    std::uint16_t release = 0;

    bool operator==(const SMCVersion&) const = default;
};

struct SMCPowerLimitData {
    std::uint16_t version = 0;
    std::uint16_t length = 0;
    std::uint32_t cpuPLimit = 0;
    std::uint32_t gpuPLimit = 0;
    std::uint32_t memPLimit = 0;

    bool operator==(const SMCPowerLimitData&) const = default;
};

struct SMCKeyInfo {
    std::uint32_t dataSize = 0; // number of value bytes of the key
    std::uint32_t dataType = 0; // four-character type code, packed like a key
    std::uint8_t dataAttributes = 0;
    std::uint8_t reserved0 = 0;
    std::uint8_t reserved1 = 0;
    std::uint8_t reserved2 = 0;

    bool operator==(const SMCKeyInfo&) const = default;
};

inline constexpr std::size_t smcKeyDataSize = 80;
inline constexpr std::size_t smcKeyDataValueBytes = 32;
using SMCKeyDataImage = std::array<std::uint8_t, smcKeyDataSize>;

struct SMCKeyData {
    std::uint32_t key = 0; // four-character key code
    SMCVersion version;
    std::array<std::uint8_t, 2> padding0{};
    SMCPowerLimitData powerLimitData;
    SMCKeyInfo keyInfo;
    std::uint8_t result = 0; // SMC result of the command, 0 = success
    std::uint8_t status = 0;
    std::uint8_t data8 = 0; // command code (SMCCommand)
    std::uint8_t padding1 = 0;
    std::uint32_t data32 = 0; // command argument: the key index of readKeyAtIndex
    std::array<std::uint8_t, smcKeyDataValueBytes> bytes{};

    bool operator==(const SMCKeyData&) const = default;

    // The record image, written field by field (little-endian, padding zero), and back. Reading
    // an image ignores its padding bytes; any 80 bytes give a record.
    SMCKeyDataImage image() const;
    static SMCKeyData fromImage(const SMCKeyDataImage& image);
};

// Command codes carried in SMCKeyData::data8.
enum class SMCCommand : std::uint8_t {
    readBytes = 5,
    writeBytes = 6,
    readKeyAtIndex = 8,
    readKeyInfo = 9,
};

constexpr std::uint8_t commandCode(SMCCommand command) {
    return static_cast<std::uint8_t>(command);
}

// The one user-client selector used for SMC traffic.
inline constexpr std::uint32_t smcStructMethodSelector = 2;

static_assert(sizeof(SMCVersion) == 6 && alignof(SMCVersion) == 2);
static_assert(offsetof(SMCVersion, major) == 0 && offsetof(SMCVersion, minor) == 1 &&
              offsetof(SMCVersion, build) == 2 && offsetof(SMCVersion, reserved) == 3 &&
              offsetof(SMCVersion, release) == 4);

static_assert(sizeof(SMCPowerLimitData) == 16 && alignof(SMCPowerLimitData) == 4);
static_assert(offsetof(SMCPowerLimitData, version) == 0 &&
              offsetof(SMCPowerLimitData, length) == 2 &&
              offsetof(SMCPowerLimitData, cpuPLimit) == 4 &&
              offsetof(SMCPowerLimitData, gpuPLimit) == 8 &&
              offsetof(SMCPowerLimitData, memPLimit) == 12);

static_assert(sizeof(SMCKeyInfo) == 12 && alignof(SMCKeyInfo) == 4);
static_assert(offsetof(SMCKeyInfo, dataSize) == 0 && offsetof(SMCKeyInfo, dataType) == 4 &&
              offsetof(SMCKeyInfo, dataAttributes) == 8 && offsetof(SMCKeyInfo, reserved0) == 9 &&
              offsetof(SMCKeyInfo, reserved1) == 10 && offsetof(SMCKeyInfo, reserved2) == 11);

static_assert(sizeof(SMCKeyData) == smcKeyDataSize && alignof(SMCKeyData) == 4);
static_assert(offsetof(SMCKeyData, key) == 0 && offsetof(SMCKeyData, version) == 4 &&
              offsetof(SMCKeyData, padding0) == 10 && offsetof(SMCKeyData, powerLimitData) == 12 &&
              offsetof(SMCKeyData, keyInfo) == 28 && offsetof(SMCKeyData, result) == 40 &&
              offsetof(SMCKeyData, status) == 41 && offsetof(SMCKeyData, data8) == 42 &&
              offsetof(SMCKeyData, padding1) == 43 && offsetof(SMCKeyData, data32) == 44 &&
              offsetof(SMCKeyData, bytes) == 48);

} // namespace aerivo
