#include "sim/model/SimFaultPlan.h"

#include <nlohmann/json.hpp>

#include <charconv>

namespace aerivo {

namespace {

using nlohmann::json;

constexpr std::pair<std::string_view, KernReturn> kernelNames[] = {
    {"error", kIOReturnError},
    {"badArgument", kIOReturnBadArgument},
    {"notPrivileged", kIOReturnNotPrivileged},
    {"unsupported", kIOReturnUnsupported},
    {"notPermitted", kIOReturnNotPermitted},
    {"notFound", kIOReturnNotFound},
    {"noDevice", kIOReturnNoDevice},
};

bool isSMCKeyName(std::string_view key) {
    if (key.size() != 4) {
        return false;
    }
    for (const char c : key) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 32 || byte > 126) {
            return false;
        }
    }
    return true;
}

std::optional<KernReturn> kernelFromJSON(const json& value) {
    if (value.is_number_integer()) {
        const auto number = value.get<std::int64_t>();
        if (number < INT32_MIN || number > UINT32_MAX) {
            return std::nullopt;
        }
        return static_cast<KernReturn>(static_cast<std::uint32_t>(number));
    }
    if (value.is_string()) {
        return SimFaultPlan::kernelResultFromText(value.get<std::string>());
    }
    return std::nullopt;
}

std::variant<SimCallFailure, std::string> failureFromJSON(const std::string& key,
                                                          const json& value) {
    if (!value.is_object()) {
        return "fault for key \"" + key + "\" must be an object";
    }
    SimCallFailure failure;
    for (const auto& [name, member] : value.items()) {
        if (name == "kernelResult") {
            const auto code = kernelFromJSON(member);
            if (!code || *code == kIOReturnSuccess) {
                return "kernelResult for key \"" + key + "\" is not a non-zero kernel code";
            }
            failure.kernelResult = *code;
        } else if (name == "smcResult") {
            if (!member.is_number_integer() || member.get<std::int64_t>() < 1 ||
                member.get<std::int64_t>() > 255) {
                return "smcResult for key \"" + key + "\" must be an integer from 1 to 255";
            }
            failure.smcResult = static_cast<std::uint8_t>(member.get<std::int64_t>());
        } else {
            return "unknown member \"" + name + "\" in the fault for key \"" + key + "\"";
        }
    }
    if (failure.kernelResult == kIOReturnSuccess && failure.smcResult == 0) {
        return "fault for key \"" + key + "\" needs kernelResult or smcResult";
    }
    return failure;
}

std::string failureText(const SimCallFailure& failure) {
    if (failure.kernelResult != kIOReturnSuccess) {
        return "kernel:" + std::to_string(failure.kernelResult);
    }
    return "smc:" + std::to_string(failure.smcResult);
}

json failureJSON(const SimCallFailure& failure) {
    json value = json::object();
    if (failure.kernelResult != kIOReturnSuccess) {
        value["kernelResult"] = failure.kernelResult;
    }
    if (failure.smcResult != 0) {
        value["smcResult"] = failure.smcResult;
    }
    return value;
}

} // namespace

std::optional<KernReturn> SimFaultPlan::kernelResultFromText(std::string_view text) {
    for (const auto& [name, code] : kernelNames) {
        if (name == text) {
            return code;
        }
    }
    if (text.starts_with("0x") || text.starts_with("0X")) {
        const std::string_view digits = text.substr(2);
        std::uint32_t value = 0;
        const auto [ptr, ec] =
            std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
        if (digits.empty() || ec != std::errc() || ptr != digits.data() + digits.size()) {
            return std::nullopt;
        }
        return static_cast<KernReturn>(value);
    }
    std::int32_t value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

void SimFaultPlan::merge(const SimFaultPlan& other) {
    for (const auto& [key, failure] : other.readFailures) {
        readFailures[key] = failure;
    }
    for (const auto& [key, failure] : other.writeFailures) {
        writeFailures[key] = failure;
    }
    for (const auto& [name, code] : other.closedClasses) {
        closedClasses[name] = code;
    }
    if (other.callDelayMicroseconds != 0) {
        callDelayMicroseconds = other.callDelayMicroseconds;
    }
}

std::vector<std::string> SimFaultPlan::describe() const {
    std::vector<std::string> lines;
    for (const auto& [key, failure] : readFailures) {
        lines.push_back("faultRead." + key + "=" + failureText(failure));
    }
    for (const auto& [key, failure] : writeFailures) {
        lines.push_back("faultWrite." + key + "=" + failureText(failure));
    }
    for (const auto& [name, code] : closedClasses) {
        lines.push_back("faultClosedClass." + name + "=" + std::to_string(code));
    }
    if (callDelayMicroseconds != 0) {
        lines.push_back("faultCallDelayMicroseconds=" + std::to_string(callDelayMicroseconds));
    }
    if (lines.empty()) {
        lines.push_back("faults=none");
    }
    return lines;
}

std::string SimFaultPlan::toJSON() const {
    json document = json::object();
    json reads = json::object();
    for (const auto& [key, failure] : readFailures) {
        reads[key] = failureJSON(failure);
    }
    json writes = json::object();
    for (const auto& [key, failure] : writeFailures) {
        writes[key] = failureJSON(failure);
    }
    json classes = json::object();
    for (const auto& [name, code] : closedClasses) {
        classes[name] = code;
    }
    document["readFailures"] = reads;
    document["writeFailures"] = writes;
    document["closedClasses"] = classes;
    document["callDelayMicroseconds"] = callDelayMicroseconds;
    return document.dump();
}

std::variant<SimFaultPlan, std::string> SimFaultPlan::fromJSON(std::string_view text) {
    const json document = json::parse(text, nullptr, false);
    if (document.is_discarded()) {
        return std::string("fault file is not valid JSON");
    }
    if (!document.is_object()) {
        return std::string("fault file must hold a JSON object");
    }
    SimFaultPlan plan;
    for (const auto& [name, member] : document.items()) {
        if (name == "readFailures" || name == "writeFailures") {
            if (!member.is_object()) {
                return "\"" + name + "\" must be an object of keys";
            }
            auto& target = name == "readFailures" ? plan.readFailures : plan.writeFailures;
            for (const auto& [key, value] : member.items()) {
                if (!isSMCKeyName(key)) {
                    return "\"" + key + "\" is not a four-character SMC key";
                }
                auto failure = failureFromJSON(key, value);
                if (auto* error = std::get_if<std::string>(&failure)) {
                    return *error;
                }
                target[key] = std::get<SimCallFailure>(failure);
            }
        } else if (name == "closedClasses") {
            if (!member.is_object()) {
                return std::string("\"closedClasses\" must be an object of class names");
            }
            for (const auto& [className, value] : member.items()) {
                const auto code = kernelFromJSON(value);
                if (className.empty() || !code || *code == kIOReturnSuccess) {
                    return "closed class \"" + className + "\" needs a non-zero kernel code";
                }
                plan.closedClasses[className] = *code;
            }
        } else if (name == "callDelayMicroseconds") {
            if (!member.is_number_integer() || member.get<std::int64_t>() < 0 ||
                member.get<std::int64_t>() > 10'000'000) {
                return std::string(
                    "\"callDelayMicroseconds\" must be an integer from 0 to 10000000");
            }
            plan.callDelayMicroseconds = static_cast<std::uint32_t>(member.get<std::int64_t>());
        } else {
            return "unknown member \"" + name + "\"";
        }
    }
    return plan;
}

} // namespace aerivo
