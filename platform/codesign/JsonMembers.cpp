#include "platform/codesign/JsonMembers.h"

#include "platform/crypto/Sha256.h"

#include <algorithm>
#include <limits>

namespace aerivo {

JsonMembers::JsonMembers(const nlohmann::json& object,
                         std::initializer_list<std::string_view> allowed)
    : object_(object) {
    if (!object_.is_object()) {
        fail("not a JSON object");
        return;
    }
    for (const auto& [key, value] : object_.items()) {
        if (std::find(allowed.begin(), allowed.end(), key) == allowed.end()) {
            fail("unknown member \"" + key + "\"");
            return;
        }
    }
}

void JsonMembers::fail(std::string text) {
    if (!error_) {
        error_ = std::move(text);
    }
}

bool JsonMembers::has(std::string_view name) const {
    return object_.is_object() && object_.contains(name);
}

const nlohmann::json* JsonMembers::member(std::string_view name) {
    if (!has(name)) {
        fail("missing \"" + std::string(name) + "\"");
        return nullptr;
    }
    return &object_.find(name).value();
}

std::optional<std::string> JsonMembers::string(std::string_view name) {
    const nlohmann::json* value = member(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    if (!value->is_string()) {
        fail("\"" + std::string(name) + "\" is not a string");
        return std::nullopt;
    }
    return value->get<std::string>();
}

std::optional<std::string> JsonMembers::hex(std::string_view name, std::size_t length) {
    auto text = string(name);
    if (!text) {
        return std::nullopt;
    }
    auto bytes = bytesFromLowerHex(*text, length);
    if (!bytes) {
        fail("\"" + std::string(name) + "\" is not " + std::to_string(length) +
             " bytes in lower-case hexadecimal");
    }
    return bytes;
}

std::optional<std::int64_t> JsonMembers::integer(std::string_view name) {
    const nlohmann::json* value = member(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    if (value->is_number_unsigned() &&
        value->get<std::uint64_t>() <=
            static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return static_cast<std::int64_t>(value->get<std::uint64_t>());
    }
    if (value->is_number_integer() && !value->is_number_unsigned()) {
        return value->get<std::int64_t>();
    }
    fail("\"" + std::string(name) + "\" is not a whole number of 64 bits");
    return std::nullopt;
}

std::optional<nlohmann::json> JsonMembers::object(std::string_view name) {
    const nlohmann::json* value = member(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    if (!value->is_object()) {
        fail("\"" + std::string(name) + "\" is not an object");
        return std::nullopt;
    }
    return *value;
}

} // namespace aerivo
