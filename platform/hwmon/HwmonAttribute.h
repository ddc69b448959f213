#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace aerivo {

// One sysfs attribute file of a hwmon device. The kernel answers a read with the whole value at
// once and takes a write in one call, so each operation is a single read or write on a fresh
// descriptor. Failures are the errno of the call that failed.
struct HwmonAttribute {
    // Reads of more than this are refused: an attribute is one short line.
    static constexpr std::size_t maximumBytes = 4096;

    // The attribute's text with one trailing line feed removed, or the errno.
    static std::variant<std::string, int> readText(const std::filesystem::path& file);

    // The attribute as a decimal integer (optional sign, surrounding blanks allowed). Nothing when
    // it cannot be read or does not hold exactly one integer of 64 bits.
    static std::optional<std::int64_t> readInteger(const std::filesystem::path& file);
    // The same rule on text already read.
    static std::optional<std::int64_t> parseInteger(std::string_view text);

    // Writes the integer in decimal followed by a line feed; 0 or the errno.
    static int writeInteger(const std::filesystem::path& file, std::int64_t value);

    // Whether the file exists (following links) as a regular file.
    static bool exists(const std::filesystem::path& file);

    // Whether the owner may write the file: sysfs shows an attribute without a store method, or
    // one a driver keeps read-only, without any write bit. Root bypasses the bits when it opens a
    // plain file, so the bits, not access(2), tell what the driver allows.
    static bool hasWriteBit(const std::filesystem::path& file);
};

// Where a device's attribute reads and writes go: the kernel's files. Tests put a model of the
// driver in between, since a plain file cannot refuse a value the way a driver's store method
// does. Calls never throw.
class HwmonAttributeFiles {
public:
    virtual ~HwmonAttributeFiles() = default;

    virtual std::variant<std::string, int> readText(const std::filesystem::path& file) const {
        return HwmonAttribute::readText(file);
    }
    virtual int writeInteger(const std::filesystem::path& file, std::int64_t value) const {
        return HwmonAttribute::writeInteger(file, value);
    }
    // readText, then HwmonAttribute::parseInteger.
    std::optional<std::int64_t> readInteger(const std::filesystem::path& file) const;

    // The files as the kernel has them.
    static const HwmonAttributeFiles& kernel();
};

} // namespace aerivo
