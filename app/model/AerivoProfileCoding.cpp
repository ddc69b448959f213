#include "app/model/AerivoProfileCoding.h"

#include "platform/posix/BoundedJson.h"

#include <cmath>
#include <exception>
#include <optional>

namespace aerivo {

namespace {

using nlohmann::json;
using nlohmann::ordered_json;

// --- Encoding --------------------------------------------------------------------------------

std::optional<CodingError> requireFinite(const char* member, double value) {
    if (std::isfinite(value)) {
        return std::nullopt;
    }
    return CodingError{member, std::isnan(value) ? "not a finite number (NaN)"
                                                 : "not a finite number (infinity)"};
}

// --- Decoding --------------------------------------------------------------------------------

const char* typeName(const json& value) {
    switch (value.type()) {
    case json::value_t::null:
        return "null";
    case json::value_t::object:
        return "an object";
    case json::value_t::array:
        return "an array";
    case json::value_t::string:
        return "a string";
    case json::value_t::boolean:
        return "a Boolean";
    case json::value_t::binary:
        return "binary data";
    case json::value_t::discarded:
        return "nothing";
    default:
        return "a number";
    }
}

CodingError wrongType(const char* member, const char* expected, const json& found) {
    return {member, std::string("expected ") + expected + ", found " + typeName(found)};
}

// One member of an object being decoded. Absent and null are told apart so that required
// members can refuse null while optional ones take it as absent.
const json* member(const json& object, const char* name) {
    const auto it = object.find(name);
    return it == object.end() ? nullptr : &*it;
}

CodingResult<const json*> required(const json& object, const char* name) {
    const json* value = member(object, name);
    if (value == nullptr) {
        return CodingError{name, "missing"};
    }
    if (value->is_null()) {
        return CodingError{name, "is null"};
    }
    return value;
}

CodingResult<double> numberValue(const char* name, const json& value) {
    if (!value.is_number()) {
        return wrongType(name, "a number", value);
    }
    const double number = value.get<double>();
    if (!std::isfinite(number)) {
        return CodingError{name, "number out of range"};
    }
    return number;
}

CodingResult<std::string> requiredString(const json& object, const char* name) {
    auto value = required(object, name);
    if (!value) {
        return value.error();
    }
    const json& found = **value.value();
    if (!found.is_string()) {
        return wrongType(name, "a string", found);
    }
    return found.get<std::string>();
}

CodingResult<double> requiredNumber(const json& object, const char* name) {
    auto value = required(object, name);
    if (!value) {
        return value.error();
    }
    return numberValue(name, **value.value());
}

// Optional members: absent or null gives nothing; any other type than the expected one fails.
CodingResult<std::optional<double>> optionalNumber(const json& object, const char* name) {
    const json* value = member(object, name);
    if (value == nullptr || value->is_null()) {
        return std::optional<double>{};
    }
    auto number = numberValue(name, *value);
    if (!number) {
        return number.error();
    }
    return std::optional<double>{*number.value()};
}

CodingResult<std::optional<bool>> optionalBool(const json& object, const char* name) {
    const json* value = member(object, name);
    if (value == nullptr || value->is_null()) {
        return std::optional<bool>{};
    }
    if (!value->is_boolean()) {
        return wrongType(name, "a Boolean", *value);
    }
    return std::optional<bool>{value->get<bool>()};
}

CodingResult<AerivoAxis> requiredAxis(const json& object, const char* name) {
    auto value = required(object, name);
    if (!value) {
        return value.error();
    }
    auto axis = decodeAerivoAxis(**value.value());
    if (!axis) {
        return axis.error().within(name);
    }
    return std::move(axis).value().value();
}

} // namespace

CodingResult<ordered_json> encodeJson(const AerivoAxis& axis) {
    for (auto error :
         {requireFinite("minimum", axis.minimum), requireFinite("maximum", axis.maximum)}) {
        if (error) {
            return *error;
        }
    }
    ordered_json json = ordered_json::object();
    json["title"] = axis.title;
    json["unit"] = axis.unit;
    json["minimum"] = axis.minimum;
    json["maximum"] = axis.maximum;
    return json;
}

CodingResult<ordered_json> encodeJson(const AerivoPoint& point) {
    for (auto error :
         {requireFinite("temperatureC", point.temperatureC), requireFinite("rpm", point.rpm)}) {
        if (error) {
            return *error;
        }
    }
    ordered_json json = ordered_json::object();
    json["id"] = point.id.string();
    json["temperatureC"] = point.temperatureC;
    json["rpm"] = point.rpm;
    return json;
}

CodingResult<ordered_json> encodeJson(const AerivoProfile& profile) {
    auto temperatureAxis = encodeJson(profile.temperatureAxis);
    if (!temperatureAxis) {
        return temperatureAxis.error().within("temperatureAxis");
    }
    auto rpmAxis = encodeJson(profile.rpmAxis);
    if (!rpmAxis) {
        return rpmAxis.error().within("rpmAxis");
    }
    for (auto error : {requireFinite("fanOffThresholdC", profile.fanOffThresholdC),
                       requireFinite("safetyLimitC", profile.safetyLimitC)}) {
        if (error) {
            return *error;
        }
    }
    ordered_json points = ordered_json::array();
    for (std::size_t i = 0; i < profile.points.size(); ++i) {
        auto point = encodeJson(profile.points[i]);
        if (!point) {
            return point.error().within("points[" + std::to_string(i) + "]");
        }
        points.push_back(std::move(point).value().value());
    }
    ordered_json json = ordered_json::object();
    json["name"] = profile.name;
    json["temperatureAxis"] = std::move(temperatureAxis).value().value();
    json["rpmAxis"] = std::move(rpmAxis).value().value();
    json["isFanOffThresholdEnabled"] = profile.isFanOffThresholdEnabled;
    json["fanOffThresholdC"] = profile.fanOffThresholdC;
    json["safetyLimitC"] = profile.safetyLimitC;
    json["points"] = std::move(points);
    return json;
}

CodingResult<AerivoAxis> decodeAerivoAxis(const json& value) {
    if (!value.is_object()) {
        return wrongType("", "an object", value);
    }
    auto title = requiredString(value, "title");
    if (!title) {
        return title.error();
    }
    auto unit = requiredString(value, "unit");
    if (!unit) {
        return unit.error();
    }
    auto minimum = requiredNumber(value, "minimum");
    if (!minimum) {
        return minimum.error();
    }
    auto maximum = requiredNumber(value, "maximum");
    if (!maximum) {
        return maximum.error();
    }
    return AerivoAxis{std::move(title).value().value(), std::move(unit).value().value(),
                      *minimum.value(), *maximum.value()};
}

CodingResult<AerivoPoint> decodeAerivoPoint(const json& value) {
    if (!value.is_object()) {
        return wrongType("", "an object", value);
    }
    auto idText = requiredString(value, "id");
    if (!idText) {
        return idText.error();
    }
    const auto id = Uuid::parse(*idText.value());
    if (!id) {
        return CodingError{"id", "not a UUID"};
    }
    auto temperatureC = requiredNumber(value, "temperatureC");
    if (!temperatureC) {
        return temperatureC.error();
    }
    auto rpm = requiredNumber(value, "rpm");
    if (!rpm) {
        return rpm.error();
    }
    return AerivoPoint(*id, *temperatureC.value(), *rpm.value());
}

CodingResult<AerivoProfile> decodeAerivoProfile(const json& value) {
    if (!value.is_object()) {
        return wrongType("", "an object", value);
    }
    AerivoProfile profile;

    auto name = requiredString(value, "name");
    if (!name) {
        return name.error();
    }
    profile.name = std::move(name).value().value();
    auto temperatureAxis = requiredAxis(value, "temperatureAxis");
    if (!temperatureAxis) {
        return temperatureAxis.error();
    }
    profile.temperatureAxis = std::move(temperatureAxis).value().value();
    auto rpmAxis = requiredAxis(value, "rpmAxis");
    if (!rpmAxis) {
        return rpmAxis.error();
    }
    profile.rpmAxis = std::move(rpmAxis).value().value();

    // Every known name is checked for its type, including a legacy one that a newer name
    // outranks: a document carrying either kind of damage is damaged.
    auto enabled = optionalBool(value, "isFanOffThresholdEnabled");
    auto legacyEnabled = optionalBool(value, "isFanOffRangeEnabled");
    for (const auto* result : {&enabled, &legacyEnabled}) {
        if (!*result) {
            return result->error();
        }
    }
    profile.isFanOffThresholdEnabled =
        enabled.value()->value_or(legacyEnabled.value()->value_or(false));

    auto threshold = optionalNumber(value, "fanOffThresholdC");
    auto rangeEnd = optionalNumber(value, "fanOffRangeEndC");
    auto limit = optionalNumber(value, "fanOffLimitC");
    for (const auto* result : {&threshold, &rangeEnd, &limit}) {
        if (!*result) {
            return result->error();
        }
    }
    if (*threshold.value()) {
        profile.fanOffThresholdC = **threshold.value();
    } else if (*rangeEnd.value()) {
        profile.fanOffThresholdC = **rangeEnd.value();
    } else if (*limit.value()) {
        profile.fanOffThresholdC = **limit.value();
    } else {
        profile.fanOffThresholdC =
            std::min(AerivoProfile::defaultFanOffThresholdC, profile.temperatureAxis.maximum);
    }

    auto safetyLimit = requiredNumber(value, "safetyLimitC");
    if (!safetyLimit) {
        return safetyLimit.error();
    }
    profile.safetyLimitC = *safetyLimit.value();

    auto points = required(value, "points");
    if (!points) {
        return points.error();
    }
    const nlohmann::json& pointArray = **points.value();
    if (!pointArray.is_array()) {
        return wrongType("points", "an array", pointArray);
    }
    profile.points.reserve(pointArray.size());
    for (std::size_t i = 0; i < pointArray.size(); ++i) {
        auto point = decodeAerivoPoint(pointArray[i]);
        if (!point) {
            return point.error().within("points[" + std::to_string(i) + "]");
        }
        profile.points.push_back(*point.value());
    }

    profile.updateFanOffThreshold(profile.fanOffThresholdC);
    profile.normalize();
    return profile;
}

CodingResult<std::string> encodeAerivoProfileDocument(const AerivoProfile& profile) {
    auto json = encodeJson(profile);
    if (!json) {
        return json.error();
    }
    std::string text;
    try {
        text = json.value()->dump();
    } catch (const nlohmann::json::exception&) {
        // The only failure of dump with strict handling: a text member that is not UTF-8.
        return CodingError{"", "the profile holds text that is not valid UTF-8"};
    }
    if (text.size() > maximumProfileDocumentBytes) {
        return CodingError{"", "the document would be " + std::to_string(text.size()) +
                                   " bytes, more than the " +
                                   std::to_string(maximumProfileDocumentBytes) + " allowed"};
    }
    return text;
}

CodingResult<AerivoProfile> decodeAerivoProfileDocument(std::string_view text) {
    if (text.size() > maximumProfileDocumentBytes) {
        return CodingError{"", "the document is " + std::to_string(text.size()) +
                                   " bytes, more than the " +
                                   std::to_string(maximumProfileDocumentBytes) + " allowed"};
    }
    try {
        // Shape first, so a deep document never becomes a tree as deep as the input.
        const JsonScreen screen = screenJson(text, maximumProfileDocumentDepth);
        if (screen.verdict == JsonScreen::Verdict::tooDeep) {
            return CodingError{"", "not a JSON document: nested deeper than " +
                                       std::to_string(maximumProfileDocumentDepth) + " levels"};
        }
        if (!screen.isWellFormed()) {
            return CodingError{"", "not a JSON document: " + screen.message};
        }
        const json document = json::parse(text, nullptr, false);
        if (document.is_discarded()) {
            return CodingError{"", "not a JSON document"};
        }
        return decodeAerivoProfile(document);
    } catch (const std::exception& error) {
        // Parsing reports its errors through the screen; this is the last line for the
        // unexpected (an allocation failure), which must not escape a reader.
        return CodingError{"", std::string("the document could not be read: ") + error.what()};
    }
}

} // namespace aerivo
