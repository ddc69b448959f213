#pragma once

#include "app/model/AerivoAxis.h"
#include "app/model/AerivoPoint.h"
#include "app/model/AerivoProfile.h"
#include "app/model/CodingResult.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <string>
#include <string_view>

namespace aerivo {

// JSON coding of the curve, as saved profiles store it.
//
// Encoding writes exactly these members, in this order:
//   profile: name, temperatureAxis, rpmAxis, isFanOffThresholdEnabled, fanOffThresholdC,
//            safetyLimitC, points
//   axis:    title, unit, minimum, maximum
//   point:   id (upper-case hyphenated UUID), temperatureC, rpm
// Numbers are written in their shortest exact form. A non-finite number or text that is not
// valid UTF-8 is refused, naming the member, because JSON has no way to carry it.
//
// Decoding reads the same members and, for documents written by earlier versions, the fan-off
// range names: `isFanOffThresholdEnabled`, else `isFanOffRangeEnabled`, else false;
// `fanOffThresholdC`, else `fanOffRangeEndC`, else `fanOffLimitC`, else
// min(45, temperature axis maximum). These five optional members count as absent when null.
// Every other member is required and non-null. Any known member present with the wrong type,
// a non-finite number (an overflowing literal such as 1e999) or an id that is not a UUID fails
// the whole decode. Unknown members are ignored. The decoded profile has its threshold clamped
// into its fan-off bounds and is normalized; its axes and safety limit are taken as stored.

CodingResult<nlohmann::ordered_json> encodeJson(const AerivoAxis& axis);
CodingResult<nlohmann::ordered_json> encodeJson(const AerivoPoint& point);
CodingResult<nlohmann::ordered_json> encodeJson(const AerivoProfile& profile);

CodingResult<AerivoAxis> decodeAerivoAxis(const nlohmann::json& json);
CodingResult<AerivoPoint> decodeAerivoPoint(const nlohmann::json& json);
CodingResult<AerivoProfile> decodeAerivoProfile(const nlohmann::json& json);

// Saved documents are bounded so that damaged data cannot exhaust memory: a profile of 10 000
// points needs well under a tenth of this.
inline constexpr std::size_t maximumProfileDocumentBytes = 1024 * 1024;
// Deepest nesting of arrays and objects a document may have; a profile itself needs three.
inline constexpr std::size_t maximumProfileDocumentDepth = 32;

// The compact UTF-8 JSON text of a profile; refused when encoding fails or the text would exceed
// maximumProfileDocumentBytes (so that everything saved can be loaded again).
CodingResult<std::string> encodeAerivoProfileDocument(const AerivoProfile& profile);
// A profile from JSON text; fails on anything that is not one well-formed JSON document within
// the size and depth bounds, or that does not decode as above.
CodingResult<AerivoProfile> decodeAerivoProfileDocument(std::string_view text);

} // namespace aerivo
