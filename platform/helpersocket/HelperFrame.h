#pragma once

#include <nlohmann/json.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace aerivo {

// One message on the helper socket: a 4-byte big-endian payload length, then the payload, one
// UTF-8 JSON object. Both directions use the same frame.
struct HelperFrame {
    HelperFrame() = delete;

    static constexpr std::size_t headerSize = 4;
    // The largest payload either side sends or accepts.
    static constexpr std::size_t payloadLimit = 64 * 1024;
    // Deeper JSON is refused before any tree is built.
    static constexpr std::size_t nestingLimit = 32;

    enum class Error { oversized, truncated, invalidUtf8, malformedJSON, tooDeep, notAnObject };
    static std::string_view errorText(Error error);

    // The whole frame for an object; nothing when the value is not an object or its payload
    // would exceed the limit.
    static std::optional<std::string> encode(const nlohmann::json& object);

    // The payload length a header announces; Error::oversized above the limit, so a reader never
    // reads past it.
    static std::variant<std::uint32_t, Error>
    payloadLength(const std::array<unsigned char, headerSize>& header);

    // The object a payload holds: valid UTF-8, well-formed JSON nested at most 32 deep, an object
    // at the top.
    static std::variant<nlohmann::json, Error> decodePayload(std::string_view payload);

    // A complete frame, exactly: header and payload and nothing after it (trailing bytes are
    // malformed, a short buffer is truncated).
    static std::variant<nlohmann::json, Error> decode(std::string_view bytes);
};

} // namespace aerivo
