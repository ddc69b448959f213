#include "app/hardware/FanHardwareCapabilities.h"

#include "app/hardware/DiagnosticText.h"
#include "app/l10n/Formatters.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace aerivo {

namespace text = diagnostic_text;

namespace {

// NaN speeds (never produced by the parsers) take no part in the smallest and largest, which
// keeps the aggregates independent of the fan order.
const char* const unavailableSource = "Hardware range unavailable";
const char* const probeSource = "Hardware probe";

std::optional<double> smallestMinimum(const std::vector<FanHardwareFan>& fans) {
    std::optional<double> result;
    for (const FanHardwareFan& fan : fans) {
        if (fan.minimumRPM && !std::isnan(*fan.minimumRPM) &&
            (!result || *fan.minimumRPM < *result)) {
            result = fan.minimumRPM;
        }
    }
    return result;
}

std::optional<double> largestMaximum(const std::vector<FanHardwareFan>& fans) {
    std::optional<double> result;
    for (const FanHardwareFan& fan : fans) {
        if (fan.maximumRPM && !std::isnan(*fan.maximumRPM) &&
            (!result || *fan.maximumRPM > *result)) {
            result = fan.maximumRPM;
        }
    }
    return result;
}

std::optional<double> firstCurrent(const std::vector<FanHardwareFan>& fans) {
    for (const FanHardwareFan& fan : fans) {
        if (fan.currentRPM) {
            return fan.currentRPM;
        }
    }
    return std::nullopt;
}

std::optional<std::string_view> lookup(const FanHardwareCapabilities::ProbeFields& fields,
                                       std::string_view key) {
    const auto found = fields.find(key);
    if (found == fields.end()) {
        return std::nullopt;
    }
    return std::string_view(found->second);
}

} // namespace

FanHardwareCapabilities::FanHardwareCapabilities()
    : source(unavailableSource), supportStatus(FanHardwareSupportStatus::unavailable) {}

FanHardwareCapabilities::FanHardwareCapabilities(
    int givenFanCount, std::optional<double> givenMinimumRPM, std::optional<double> givenMaximumRPM,
    std::optional<double> givenCurrentRPM, std::string givenSource,
    std::vector<FanHardwareFan> givenFans, std::optional<FanHardwareSupportStatus> givenStatus)
    : source(std::move(givenSource)) {
    fans = givenFans.empty() ? legacyFans(givenFanCount, givenMinimumRPM, givenMaximumRPM,
                                          givenCurrentRPM, source)
                             : std::move(givenFans);
    const int listed =
        static_cast<int>(std::min<std::size_t>(fans.size(), std::numeric_limits<int>::max()));
    fanCount = givenFanCount != 0 ? std::max(givenFanCount, listed) : listed;
    minimumRPM = givenMinimumRPM ? givenMinimumRPM : smallestMinimum(fans);
    maximumRPM = givenMaximumRPM ? givenMaximumRPM : largestMaximum(fans);
    currentRPM = givenCurrentRPM ? givenCurrentRPM : firstCurrent(fans);
    supportStatus = givenStatus.value_or(fanCount != 0 ? FanHardwareSupportStatus::supported
                                                       : FanHardwareSupportStatus::unavailable);
}

const FanHardwareCapabilities& FanHardwareCapabilities::unavailable() {
    static const FanHardwareCapabilities value;
    return value;
}

std::vector<FanHardwareFan> FanHardwareCapabilities::legacyFans(int fanCount,
                                                                std::optional<double> minimumRPM,
                                                                std::optional<double> maximumRPM,
                                                                std::optional<double> currentRPM,
                                                                const std::string& source) {
    std::vector<FanHardwareFan> result;
    const int count = std::min(fanCount, maximumFanCount);
    for (int index = 0; index < count; ++index) {
        result.push_back(FanHardwareFan{
            .index = index,
            .displayName = "Fan " + std::to_string(index),
            .minimumRPM = minimumRPM,
            .maximumRPM = maximumRPM,
            .currentRPM = index == 0 ? currentRPM : std::nullopt,
            .source = source,
        });
    }
    return result;
}

bool FanHardwareCapabilities::hasRPMAxis() const {
    if (fans.empty()) {
        return supportStatus == FanHardwareSupportStatus::supported && fanCount > 0 && minimumRPM &&
               maximumRPM && *minimumRPM < *maximumRPM;
    }
    return std::all_of(fans.begin(), fans.end(),
                       [](const FanHardwareFan& fan) { return fan.hasRPMAxis(); });
}

bool FanHardwareCapabilities::hasLiveRPMReadback() const {
    if (fans.empty()) {
        return currentRPM.has_value();
    }
    return std::all_of(fans.begin(), fans.end(),
                       [](const FanHardwareFan& fan) { return fan.currentRPM.has_value(); });
}

bool FanHardwareCapabilities::isUnsupported() const {
    return supportStatus == FanHardwareSupportStatus::unsupportedNoFan;
}

std::string FanHardwareCapabilities::rangeText() const {
    if (isUnsupported()) {
        return "Unsupported";
    }
    if (!minimumRPM || !maximumRPM) {
        return "Unavailable";
    }
    const std::string aggregate =
        Formatters::rpm(*minimumRPM) + " - " + Formatters::rpm(*maximumRPM);
    if (fans.size() <= 1) {
        return aggregate;
    }
    const std::string first = fans.front().rangeText();
    const bool allSame = std::all_of(fans.begin() + 1, fans.end(), [&](const FanHardwareFan& fan) {
        return fan.rangeText() == first;
    });
    return allSame ? first + " each" : aggregate + " aggregate";
}

std::vector<std::string> FanHardwareCapabilities::detailLines() const {
    if (isUnsupported()) {
        return {"This Mac has no controllable fan."};
    }
    if (supportStatus == FanHardwareSupportStatus::unavailable || fanCount == 0) {
        return {source};
    }
    if (fans.size() > 1) {
        std::vector<std::string> lines;
        lines.reserve(fans.size());
        for (const FanHardwareFan& fan : fans) {
            lines.push_back(fan.detailText());
        }
        return lines;
    }
    std::string text = fanCount == 1 ? std::string("1 fan") : std::to_string(fanCount) + " fans";
    if (currentRPM) {
        text += ", " + Formatters::rpm(*currentRPM) + " now";
    } else {
        text += ", " + source;
    }
    return {text};
}

std::string FanHardwareCapabilities::detailText() const {
    const std::vector<std::string> lines = detailLines();
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        text += i == 0 ? "" : "\n";
        text += lines[i];
    }
    return text;
}

std::string FanHardwareCapabilities::linkedTargetText(double linkedFraction) const {
    if (supportStatus != FanHardwareSupportStatus::supported || fans.empty()) {
        return {};
    }
    std::string text;
    for (const FanHardwareFan& fan : fans) {
        const std::optional<double> target = fan.targetRPM(linkedFraction);
        if (!target) {
            continue;
        }
        if (!text.empty()) {
            text += " / ";
        }
        text += fan.displayName + " " + Formatters::rpm(*target);
    }
    return text;
}

// Hardware-probe lines.

FanHardwareCapabilities::ProbeFields FanHardwareCapabilities::probeFields(std::string_view output) {
    ProbeFields fields;
    for (std::string_view line : text::nonEmptyLines(output)) {
        const std::size_t separator = line.find('=');
        if (separator == std::string_view::npos || separator == 0 || separator + 1 == line.size()) {
            continue; // no "=", or an empty key or value
        }
        fields.insert_or_assign(std::string(line.substr(0, separator)),
                                std::string(line.substr(separator + 1)));
    }
    return fields;
}

std::optional<double>
FanHardwareCapabilities::parseOptionalRPM(std::optional<std::string_view> value) {
    if (!value || *value == "nil") {
        return std::nullopt;
    }
    return text::parseFiniteDouble(*value);
}

std::vector<FanHardwareFan> FanHardwareCapabilities::parseFans(const ProbeFields& fields,
                                                               int fanCount) {
    std::vector<FanHardwareFan> fans;
    const int count = std::min(fanCount, maximumFanCount);
    for (int index = 0; index < count; ++index) {
        const std::string prefix = "fan" + std::to_string(index);
        const std::optional<std::string_view> name = lookup(fields, prefix + "Name");
        const std::optional<double> minimum =
            parseOptionalRPM(lookup(fields, prefix + "MinimumRPM"));
        const std::optional<double> maximum =
            parseOptionalRPM(lookup(fields, prefix + "MaximumRPM"));
        const std::optional<double> current =
            parseOptionalRPM(lookup(fields, prefix + "CurrentRPM"));
        if (!name && !minimum && !maximum && !current) {
            continue;
        }
        std::optional<std::string_view> fanSource = lookup(fields, prefix + "Source");
        if (!fanSource) {
            fanSource = lookup(fields, "source");
        }
        fans.push_back(FanHardwareFan{
            .index = index,
            .displayName = name ? std::string(*name) : "Fan " + std::to_string(index),
            .minimumRPM = minimum,
            .maximumRPM = maximum,
            .currentRPM = current,
            .source = std::string(fanSource.value_or(probeSource)),
        });
    }
    return fans;
}

std::optional<FanHardwareCapabilities>
FanHardwareCapabilities::fromProbeOutput(std::string_view output) {
    const ProbeFields fields = probeFields(output);
    const std::optional<std::string_view> countText = lookup(fields, "fanCount");
    if (!countText) {
        return std::nullopt;
    }
    const std::optional<std::int64_t> count = text::parseInteger(*countText);
    if (!count || *count > maximumFanCount) {
        return std::nullopt;
    }
    // A negative count means the same to the constructor as 0: "take the number of fans".
    const int fanCount = static_cast<int>(std::max<std::int64_t>(*count, 0));

    std::optional<FanHardwareSupportStatus> status;
    if (const auto raw = lookup(fields, "supportStatus")) {
        status = fanHardwareSupportStatusFromRawValue(*raw);
    }
    std::optional<std::string_view> source = lookup(fields, "source");
    if (!source) {
        source = lookup(fields, "detail");
    }
    return FanHardwareCapabilities(fanCount, parseOptionalRPM(lookup(fields, "minimumRPM")),
                                   parseOptionalRPM(lookup(fields, "maximumRPM")),
                                   parseOptionalRPM(lookup(fields, "currentRPM")),
                                   std::string(source.value_or(probeSource)),
                                   parseFans(fields, fanCount), status);
}

// smcDiagnose output.

FanHardwareCapabilities::SMCDiagnoseFields
FanHardwareCapabilities::smcDiagnoseFields(std::string_view output) {
    SMCDiagnoseFields fields;
    // Carriage returns count as line breaks here, so CR-only output splits as well.
    for (std::string_view line : text::nonEmptyLines(output)) {
        const char separator = line.find(',') != std::string_view::npos ? ',' : '=';
        const std::size_t at = line.find(separator);
        if (at == std::string_view::npos || at == 0 || at + 1 == line.size()) {
            continue;
        }
        const std::string_view key = text::trimWhitespace(line.substr(0, at));
        const std::string_view rest = text::trimWhitespace(line.substr(at + 1));
        if (key.empty()) {
            continue;
        }
        const std::optional<double> value = text::parseFiniteDouble(text::firstToken(rest));
        if (!value) {
            continue;
        }
        fields.insert_or_assign(std::string(key), *value);
    }
    return fields;
}

std::optional<FanHardwareCapabilities::SMCDiagnoseValue>
FanHardwareCapabilities::firstSMCDiagnoseValue(const std::vector<std::string_view>& keys,
                                               const SMCDiagnoseFields& fields) {
    for (std::string_view key : keys) {
        const auto found = fields.find(key);
        if (found != fields.end()) {
            return SMCDiagnoseValue{found->first, found->second};
        }
    }
    return std::nullopt;
}

std::optional<FanHardwareCapabilities>
FanHardwareCapabilities::fromSMCDiagnoseOutput(std::string_view output) {
    const SMCDiagnoseFields fields = smcDiagnoseFields(output);
    const auto minimum = firstSMCDiagnoseValue({"fRMN", "iaFl", "mrFL"}, fields);
    if (!minimum) {
        return std::nullopt;
    }
    const auto maximum = firstSMCDiagnoseValue({"fRMX", "iaFh"}, fields);
    if (!maximum || !(minimum->value < maximum->value)) {
        return std::nullopt;
    }
    // "FNum" is a one-byte count: a value that cannot be one (negative, beyond a byte) is
    // ignored like a missing one. Parsed values are always finite.
    int fanCount = 1;
    if (const auto found = fields.find("FNum"); found != fields.end()) {
        const double value = found->second;
        if (value > -1.0 && value < maximumFanCount + 1.0) {
            fanCount = static_cast<int>(value); // drops the fraction
        }
    }
    std::optional<double> current;
    if (const auto found = fields.find("F0Ac"); found != fields.end()) {
        current = found->second;
    }
    const std::string source = "smcDiagnose " + minimum->key + "/" + maximum->key + " read-only";
    FanHardwareFan fan{
        .index = 0,
        .displayName = "Fan 0",
        .minimumRPM = minimum->value,
        .maximumRPM = maximum->value,
        .currentRPM = current,
        .source = source,
    };
    return FanHardwareCapabilities(fanCount, minimum->value, maximum->value, current, source,
                                   {std::move(fan)}, FanHardwareSupportStatus::supported);
}

} // namespace aerivo
