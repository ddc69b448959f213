#include "platform/helpersocket/HelperFrame.h"

#include "platform/posix/BoundedJson.h"
#include "shared/Utf8.h"

namespace aerivo {

std::string_view HelperFrame::errorText(Error error) {
    switch (error) {
    case Error::oversized:
        return "frame larger than 65536 bytes";
    case Error::truncated:
        return "truncated frame";
    case Error::invalidUtf8:
        return "payload is not UTF-8";
    case Error::malformedJSON:
        return "payload is not JSON";
    case Error::tooDeep:
        return "JSON nested deeper than 32 levels";
    case Error::notAnObject:
        return "payload is not a JSON object";
    }
    return "malformed frame";
}

std::optional<std::string> HelperFrame::encode(const nlohmann::json& object) {
    if (!object.is_object()) {
        return std::nullopt;
    }
    std::string payload;
    try {
        // Invalid UTF-8 inside a string throws rather than being sent.
        payload = object.dump();
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
    if (payload.size() > payloadLimit) {
        return std::nullopt;
    }
    const auto size = static_cast<std::uint32_t>(payload.size());
    std::string frame;
    frame.reserve(headerSize + payload.size());
    frame.push_back(static_cast<char>((size >> 24) & 0xFF));
    frame.push_back(static_cast<char>((size >> 16) & 0xFF));
    frame.push_back(static_cast<char>((size >> 8) & 0xFF));
    frame.push_back(static_cast<char>(size & 0xFF));
    frame += payload;
    return frame;
}

std::variant<std::uint32_t, HelperFrame::Error>
HelperFrame::payloadLength(const std::array<unsigned char, headerSize>& header) {
    const std::uint32_t size = (std::uint32_t{header[0]} << 24) | (std::uint32_t{header[1]} << 16) |
                               (std::uint32_t{header[2]} << 8) | std::uint32_t{header[3]};
    if (size > payloadLimit) {
        return Error::oversized;
    }
    return size;
}

std::variant<nlohmann::json, HelperFrame::Error>
HelperFrame::decodePayload(std::string_view payload) {
    if (payload.size() > payloadLimit) {
        return Error::oversized;
    }
    if (!isValidUtf8(payload)) {
        return Error::invalidUtf8;
    }
    const JsonScreen screen = screenJson(payload, nestingLimit);
    if (!screen.isWellFormed()) {
        return screen.verdict == JsonScreen::Verdict::tooDeep ? Error::tooDeep
                                                              : Error::malformedJSON;
    }
    nlohmann::json value = nlohmann::json::parse(payload, nullptr, false);
    if (value.is_discarded()) {
        return Error::malformedJSON;
    }
    if (!value.is_object()) {
        return Error::notAnObject;
    }
    return value;
}

std::variant<nlohmann::json, HelperFrame::Error> HelperFrame::decode(std::string_view bytes) {
    if (bytes.size() < headerSize) {
        return Error::truncated;
    }
    std::array<unsigned char, headerSize> header{};
    for (std::size_t i = 0; i < headerSize; ++i) {
        header[i] = static_cast<unsigned char>(bytes[i]);
    }
    const auto length = payloadLength(header);
    if (const Error* error = std::get_if<Error>(&length)) {
        return *error;
    }
    const std::size_t size = std::get<std::uint32_t>(length);
    if (bytes.size() - headerSize < size) {
        return Error::truncated;
    }
    if (bytes.size() - headerSize > size) {
        return Error::malformedJSON;
    }
    return decodePayload(bytes.substr(headerSize));
}

} // namespace aerivo
