#include "app/helperclient/PrivilegedHelperActionResult.h"

namespace aerivo {

std::string PrivilegedHelperActionResult::text(const nlohmann::json& value) {
    if (value.is_string()) {
        return value.get<std::string>();
    }
    if (value.is_null()) {
        return "nil";
    }
    // Booleans, numbers, arrays and objects: JSON's own text is the plain form. Invalid UTF-8 in
    // nested strings is replaced rather than thrown on.
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::vector<std::string> PrivilegedHelperActionResult::lines() const {
    std::vector<std::string> result{std::string("success=") + (isSuccess ? "true" : "false"),
                                    "message=" + message};
    if (dictionary && dictionary->is_object()) {
        // Object keys are kept sorted, so iteration is already in ascending key order.
        for (const auto& [key, value] : dictionary->items()) {
            result.push_back(key + "=" + text(value));
        }
    }
    return result;
}

} // namespace aerivo
