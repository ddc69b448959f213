#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace aerivo {

// The outcome of one helper operation: success, a fixed English sentence, and the helper's reply
// dictionary when one arrived.
struct PrivilegedHelperActionResult {
    bool isSuccess = false;
    std::string message;
    std::optional<nlohmann::json> dictionary;

    static PrivilegedHelperActionResult failure(std::string message) {
        return PrivilegedHelperActionResult{false, std::move(message), std::nullopt};
    }

    // "success=true|false", "message=<message>", then one "key=value" line per dictionary entry in
    // ascending key order. Values print as plain text: strings unquoted, Booleans true/false,
    // numbers in their shortest exact form, null as "nil", arrays and objects as compact JSON.
    std::vector<std::string> lines() const;

    // The plain text of one reply value, as used in lines().
    static std::string text(const nlohmann::json& value);

    friend bool operator==(const PrivilegedHelperActionResult&,
                           const PrivilegedHelperActionResult&) = default;
};

} // namespace aerivo
