#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace aerivo {

// A 128-bit universally unique identifier. Printed in the 36-character hyphenated form with
// upper-case hex digits, which saved profiles store; parsed in any letter case.
class Uuid {
public:
    using Bytes = std::array<std::uint8_t, 16>;

    constexpr Uuid() = default;
    constexpr explicit Uuid(const Bytes& bytes) : bytes_(bytes) {}

    // A random version-4 identifier drawn from the operating system's random source.
    static Uuid random();

    // Accepts exactly the hyphenated 8-4-4-4-12 form, hex digits in either case.
    static std::optional<Uuid> parse(std::string_view text);

    std::string string() const;
    const Bytes& bytes() const { return bytes_; }

    friend bool operator==(const Uuid&, const Uuid&) = default;
    friend auto operator<=>(const Uuid&, const Uuid&) = default;

private:
    Bytes bytes_{};
};

} // namespace aerivo
