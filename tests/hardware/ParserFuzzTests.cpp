#include "app/hardware/FanHardwareCapabilities.h"
#include "app/hardware/HardwareProbeLines.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

namespace aerivo {
namespace {

// Deterministic inputs for both parsers: random bytes, soups of real keys with odd values, and
// mutations (byte flips, insertions, cut-offs, repeated lines) of well-formed outputs. Every
// result must keep the invariants the rest of the program relies on.
class InputSource {
public:
    explicit InputSource(std::uint32_t seed) : engine_(seed) {}

    std::string next() {
        switch (below(4)) {
        case 0:
            return randomBytes();
        case 1:
            return keySoup();
        default:
            return mutated(pick(seeds_));
        }
    }

private:
    std::size_t below(std::size_t n) { return engine_() % n; }
    const std::string& pick(const std::vector<std::string>& options) {
        return options[below(options.size())];
    }

    std::string randomBytes() {
        std::string text(below(200), '\0');
        for (char& c : text) {
            c = static_cast<char>(engine_() & 0xFFU);
        }
        return text;
    }

    std::string keySoup() {
        std::string text;
        const std::size_t lines = below(20);
        for (std::size_t i = 0; i < lines; ++i) {
            text += pick(keys_);
            text += pick(separators_);
            text += pick(values_);
            text += pick(breaks_);
        }
        return text;
    }

    std::string mutated(std::string text) {
        const std::size_t edits = 1 + below(6);
        for (std::size_t i = 0; i < edits && !text.empty(); ++i) {
            const std::size_t at = below(text.size());
            switch (below(5)) {
            case 0:
                text[at] = static_cast<char>(engine_() & 0xFFU);
                break;
            case 1:
                text.insert(at, pick(values_));
                break;
            case 2:
                text.erase(at, below(8));
                break;
            case 3:
                text.resize(at);
                break;
            default:
                text += text.substr(at, below(40));
                break;
            }
        }
        return text;
    }

    std::mt19937 engine_;
    const std::vector<std::string> keys_{"fanCount",
                                         "minimumRPM",
                                         "maximumRPM",
                                         "currentRPM",
                                         "source",
                                         "detail",
                                         "supportStatus",
                                         "fan0Name",
                                         "fan0MinimumRPM",
                                         "fan0MaximumRPM",
                                         "fan0CurrentRPM",
                                         "fan0Source",
                                         "fan1Name",
                                         "fan1MaximumRPM",
                                         "fan254Name",
                                         "fRMN",
                                         "fRMX",
                                         "iaFl",
                                         "iaFh",
                                         "mrFL",
                                         "FNum",
                                         "F0Ac",
                                         "",
                                         " ",
                                         "fanCount "};
    const std::vector<std::string> separators_{"=", ",", " = ", "==", ", ", ""};
    const std::vector<std::string> values_{"0",
                                           "1",
                                           "2",
                                           "255",
                                           "256",
                                           "-1",
                                           "2147483648",
                                           "99999999999999999999",
                                           "nil",
                                           "1e308",
                                           "1e309",
                                           "-1e308",
                                           "inf",
                                           "nan",
                                           "NaN",
                                           "1250 rpm",
                                           "6800.5",
                                           "0.5",
                                           "",
                                           "=",
                                           ",",
                                           "supported",
                                           "unsupportedNoFan",
                                           "unavailable",
                                           "\xFF\xFE",
                                           "\xE2\x80",
                                           "한국어",
                                           "\0"};
    const std::vector<std::string> breaks_{"\n", "\r", "\r\n", "\u2028", "", "\n\n"};
    const std::vector<std::string> seeds_{
        "fanCount=2\nminimumRPM=1000\nmaximumRPM=6000\ncurrentRPM=1800\nrange=1000 RPM - 6000 RPM "
        "each\ndetail=Fan 0: 1000 RPM - 6000 RPM, 1800 RPM now\nFan 1: 1000 RPM - 6000 RPM\n"
        "source=SMC\nsupportStatus=supported\nfan0Name=Fan 0\nfan0MinimumRPM=1000\n"
        "fan0MaximumRPM=6000\nfan0CurrentRPM=1800\nfan0Source=SMC\nfan1Name=Fan 1\n"
        "fan1MinimumRPM=1000\nfan1MaximumRPM=6000\nfan1CurrentRPM=nil\nfan1Source=SMC\n"
        "fallback=smcDiagnose applied\n",
        "FNum = 2\r\nfRMN, 1250\r\nfRMX = 6800 rpm\r\nF0Ac = 2200\r\n",
        "iaFl=900\niaFh=5000\nmrFL=800\n"};
};

bool finiteOrAbsent(std::optional<double> value) {
    return !value || std::isfinite(*value);
}

void expectSoundProbeResult(const FanHardwareCapabilities& parsed, const std::string& input) {
    ASSERT_GE(parsed.fanCount, 0) << input;
    ASSERT_LE(parsed.fanCount, FanHardwareCapabilities::maximumFanCount) << input;
    ASSERT_GE(static_cast<std::size_t>(parsed.fanCount), parsed.fans.size()) << input;
    ASSERT_TRUE(finiteOrAbsent(parsed.minimumRPM) && finiteOrAbsent(parsed.maximumRPM) &&
                finiteOrAbsent(parsed.currentRPM))
        << input;
    int previous = -1;
    bool namesWithEquals = false;
    for (const FanHardwareFan& fan : parsed.fans) {
        ASSERT_GT(fan.index, previous) << input;
        ASSERT_LT(fan.index, parsed.fanCount) << input;
        ASSERT_TRUE(finiteOrAbsent(fan.minimumRPM) && finiteOrAbsent(fan.maximumRPM) &&
                    finiteOrAbsent(fan.currentRPM))
            << input;
        previous = fan.index;
        namesWithEquals = namesWithEquals || fan.displayName.find('=') != std::string::npos;
    }
    // Written back, the result reads back as itself once speeds are whole numbers. (A fan name
    // holding "=" could pose as a key in the per-fan lines of the detail, so those are skipped.)
    if (namesWithEquals) {
        return;
    }
    const auto joined = [](const std::vector<std::string>& lines) {
        std::string text;
        for (const std::string& line : lines) {
            text += line + "\n";
        }
        return text;
    };
    const auto once = FanHardwareCapabilities::fromProbeOutput(joined(hardwareProbeLines(parsed)));
    ASSERT_TRUE(once) << input;
    const auto twice = FanHardwareCapabilities::fromProbeOutput(joined(hardwareProbeLines(*once)));
    ASSERT_TRUE(twice) << input;
    ASSERT_EQ(*twice, *once) << input;
}

void expectSoundDiagnoseResult(const FanHardwareCapabilities& parsed, const std::string& input) {
    ASSERT_TRUE(parsed.minimumRPM && parsed.maximumRPM) << input;
    ASSERT_LT(*parsed.minimumRPM, *parsed.maximumRPM) << input;
    ASSERT_TRUE(std::isfinite(*parsed.minimumRPM) && std::isfinite(*parsed.maximumRPM)) << input;
    ASSERT_TRUE(finiteOrAbsent(parsed.currentRPM)) << input;
    ASSERT_GE(parsed.fanCount, 1) << input;
    ASSERT_LE(parsed.fanCount, FanHardwareCapabilities::maximumFanCount) << input;
    ASSERT_EQ(parsed.fans.size(), 1U) << input;
    ASSERT_EQ(parsed.supportStatus, FanHardwareSupportStatus::supported) << input;
    ASSERT_TRUE(parsed.hasRPMAxis()) << input;
    ASSERT_EQ(parsed.source.rfind("smcDiagnose ", 0), 0U) << input;
}

TEST(ParserFuzz, BothParsersStaySoundOnOddInput) {
    InputSource source(0xAE21F0);
    int probeResults = 0;
    int diagnoseResults = 0;
    for (int i = 0; i < 4000; ++i) {
        const std::string input = source.next();
        if (const auto parsed = FanHardwareCapabilities::fromProbeOutput(input)) {
            ++probeResults;
            expectSoundProbeResult(*parsed, input);
            // The texts of any parsed value can be built.
            EXPECT_FALSE(parsed->rangeText().empty());
            (void)parsed->linkedTargetText(0.5);
        }
        if (const auto parsed = FanHardwareCapabilities::fromSMCDiagnoseOutput(input)) {
            ++diagnoseResults;
            expectSoundDiagnoseResult(*parsed, input);
        }
        if (HasFatalFailure()) {
            return;
        }
    }
    // The inputs reached past the first checks of both parsers often enough to mean something.
    EXPECT_GT(probeResults, 300);
    EXPECT_GT(diagnoseResults, 100);
}

} // namespace
} // namespace aerivo
