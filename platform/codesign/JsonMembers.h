#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// Strict reading of a JSON object's members for the signing documents: the object may hold only
// the named members, each read with its exact type. The first problem is kept in error(); once
// there is none, every value a reader returned is present.
class JsonMembers {
public:
    JsonMembers(const nlohmann::json& object, std::initializer_list<std::string_view> allowed);

    bool has(std::string_view name) const;

    std::optional<std::string> string(std::string_view name);
    // Lower-case hexadecimal text of exactly `length` bytes, decoded.
    std::optional<std::string> hex(std::string_view name, std::size_t length);
    std::optional<std::int64_t> integer(std::string_view name);
    std::optional<nlohmann::json> object(std::string_view name);

    const std::optional<std::string>& error() const { return error_; }

private:
    const nlohmann::json* member(std::string_view name);
    void fail(std::string text);

    const nlohmann::json& object_;
    std::optional<std::string> error_;
};

} // namespace aerivo
