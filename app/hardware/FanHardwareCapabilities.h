#pragma once

#include "app/hardware/FanHardwareFan.h"
#include "app/hardware/FanHardwareSupportStatus.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// What the application knows about the machine's fans: the count, aggregate speeds over all
// fans, the fans themselves and whether they can be driven. A plain value; the constructor fills
// in whatever the caller left out from the other fields.
struct FanHardwareCapabilities {
    // The SMC counts fans in one byte ("FNum"). Counts beyond it are treated as malformed by the
    // parsers, and the constructor never builds more legacy fans than this.
    static constexpr int maximumFanCount = 255;

    int fanCount = 0;
    std::optional<double> minimumRPM;
    std::optional<double> maximumRPM;
    std::optional<double> currentRPM;
    std::string source;
    std::vector<FanHardwareFan> fans;
    FanHardwareSupportStatus supportStatus = FanHardwareSupportStatus::unavailable;

    // Equal to unavailable().
    FanHardwareCapabilities();
    // With no fans given, the fans are built from the aggregates (legacyFans); the count is raised
    // to the number of fans; absent aggregates are taken from the fans (smallest minimum, largest
    // maximum, first current speed); with no status given it is supported when the final count
    // is non-zero and unavailable otherwise.
    FanHardwareCapabilities(int fanCount, std::optional<double> minimumRPM,
                            std::optional<double> maximumRPM, std::optional<double> currentRPM,
                            std::string source, std::vector<FanHardwareFan> fans = {},
                            std::optional<FanHardwareSupportStatus> supportStatus = std::nullopt);

    // No fans, no aggregates, source "Hardware range unavailable", status unavailable: what a
    // reader returns when it learned nothing.
    static const FanHardwareCapabilities& unavailable();

    bool hasRPMAxis() const;
    bool hasLiveRPMReadback() const;
    bool isUnsupported() const;
    std::string rangeText() const;
    std::string detailText() const;
    // The lines detailText joins with line feeds: one per fan when several fans are listed,
    // otherwise the one text (which may itself hold line breaks taken from the source).
    std::vector<std::string> detailLines() const;
    // "Fan 0 <rpm> / Fan 1 <rpm>" for a linked fraction (0...1) of each fan's range; empty unless
    // supported with at least one fan.
    std::string linkedTargetText(double linkedFraction) const;

    // The hardware-probe lines (see HardwareProbeLines.h for the writer). Nothing without a
    // valid "fanCount".
    static std::optional<FanHardwareCapabilities> fromProbeOutput(std::string_view text);
    // The output of /usr/libexec/smcDiagnose. Nothing without a minimum and a maximum, or when
    // the minimum is not below the maximum.
    static std::optional<FanHardwareCapabilities> fromSMCDiagnoseOutput(std::string_view text);

    // Building blocks of the above, public for their tests.
    using ProbeFields = std::map<std::string, std::string, std::less<>>;
    using SMCDiagnoseFields = std::map<std::string, double, std::less<>>;
    struct SMCDiagnoseValue {
        std::string key;
        double value = 0;
        friend bool operator==(const SMCDiagnoseValue&, const SMCDiagnoseValue&) = default;
    };

    static std::vector<FanHardwareFan> legacyFans(int fanCount, std::optional<double> minimumRPM,
                                                  std::optional<double> maximumRPM,
                                                  std::optional<double> currentRPM,
                                                  const std::string& source);
    static ProbeFields probeFields(std::string_view text);
    static std::vector<FanHardwareFan> parseFans(const ProbeFields& fields, int fanCount);
    // No value or "nil" gives nothing; otherwise a finite decimal number or nothing.
    static std::optional<double> parseOptionalRPM(std::optional<std::string_view> value);
    static SMCDiagnoseFields smcDiagnoseFields(std::string_view text);
    static std::optional<SMCDiagnoseValue>
    firstSMCDiagnoseValue(const std::vector<std::string_view>& keys,
                          const SMCDiagnoseFields& fields);

    friend bool operator==(const FanHardwareCapabilities&,
                           const FanHardwareCapabilities&) = default;
};

} // namespace aerivo
