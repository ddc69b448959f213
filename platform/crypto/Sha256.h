#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace aerivo {

using Sha256Digest = std::array<std::uint8_t, 32>;

// SHA-256 (OpenSSL) of bytes in memory.
Sha256Digest sha256(std::string_view bytes);

// SHA-256 of everything an open descriptor holds, read from offset 0 with pread (the
// descriptor's own offset is left alone). Nothing when a read fails.
std::optional<Sha256Digest> sha256OfDescriptor(int descriptor);

// Lower-case hexadecimal text of bytes, and its strict inverse: only lower-case digits, exactly
// twice `length` characters.
std::string lowerHex(std::string_view bytes);
std::optional<std::string> bytesFromLowerHex(std::string_view text, std::size_t length);

inline std::string lowerHex(const Sha256Digest& digest) {
    return lowerHex(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
}

} // namespace aerivo
