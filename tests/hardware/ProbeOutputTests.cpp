#include "app/hardware/FanHardwareCapabilities.h"
#include "app/hardware/HardwareProbeLines.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>

namespace aerivo {
namespace {

std::string joined(const std::vector<std::string>& lines, std::string_view separator = "\n") {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += separator;
    }
    return text;
}

FanHardwareFan fan(int index, std::optional<double> minimum, std::optional<double> maximum,
                   std::optional<double> current, std::string name, std::string source) {
    return FanHardwareFan{.index = index,
                          .displayName = std::move(name),
                          .minimumRPM = minimum,
                          .maximumRPM = maximum,
                          .currentRPM = current,
                          .source = std::move(source)};
}

TEST(HardwareProbeLines, WritesTheBlockInOrder) {
    const FanHardwareCapabilities capabilities(
        0, std::nullopt, std::nullopt, std::nullopt, "SMC F0Mn/F0Mx",
        {fan(0, 1200.0, 6000.0, 2317.5, "Fan 0", "SMC fan 0"),
         fan(1, 1000.0, 5000.0, std::nullopt, "Fan 1", "SMC fan 1")});
    const std::vector<std::string> expected{
        "fanCount=2",
        "minimumRPM=1000",
        "maximumRPM=6000",
        "currentRPM=2318",
        "range=1000 RPM - 6000 RPM aggregate",
        "detail=Fan 0: 1200 RPM - 6000 RPM, 2318 RPM now\nFan 1: 1000 RPM - 5000 RPM",
        "source=SMC F0Mn/F0Mx",
        "supportStatus=supported",
        "fan0Name=Fan 0",
        "fan0MinimumRPM=1200",
        "fan0MaximumRPM=6000",
        "fan0CurrentRPM=2318",
        "fan0Source=SMC fan 0",
        "fan1Name=Fan 1",
        "fan1MinimumRPM=1000",
        "fan1MaximumRPM=5000",
        "fan1CurrentRPM=nil",
        "fan1Source=SMC fan 1",
    };
    EXPECT_EQ(hardwareProbeLines(capabilities), expected);

    const std::vector<std::string> withFallback = hardwareProbeLines(
        FanHardwareCapabilities::unavailable(), "smcDiagnose failed: no\r\nway ");
    ASSERT_EQ(withFallback.size(), 9U);
    EXPECT_EQ(withFallback.back(), "fallback=smcDiagnose failed: no  way");
    EXPECT_EQ(withFallback[0], "fanCount=0");
    EXPECT_EQ(withFallback[7], "supportStatus=unavailable");
}

TEST(HardwareProbeLines, ProbeValueRoundsHalvesAwayAndRefusesWhatIsNoInteger) {
    EXPECT_EQ(probeValue(std::nullopt), "nil");
    EXPECT_EQ(probeValue(2317.5), "2318");
    EXPECT_EQ(probeValue(-2317.5), "-2318");
    EXPECT_EQ(probeValue(-0.4), "0");
    EXPECT_EQ(probeValue(2317.49), "2317");
    EXPECT_EQ(probeValue(std::numeric_limits<double>::quiet_NaN()), "nil");
    EXPECT_EQ(probeValue(std::numeric_limits<double>::infinity()), "nil");
    EXPECT_EQ(probeValue(-std::numeric_limits<double>::infinity()), "nil");
    EXPECT_EQ(probeValue(9223372036854775808.0), "nil"); // 2^63 does not fit
    EXPECT_EQ(probeValue(-9223372036854775808.0), "nil");
    EXPECT_EQ(probeValue(9007199254740992.0), "9007199254740992");
}

TEST(HardwareProbeLines, SingleLineValuesCannotStartANewLine) {
    EXPECT_EQ(singleLine("  a\rb\nc\u2028d  \n"), "a b c d");
    FanHardwareCapabilities capabilities(1, 1000.0, 2000.0, std::nullopt, "SMC\nfanCount=9");
    capabilities.fans[0].displayName = "Fan\r\n0";
    const auto parsed =
        FanHardwareCapabilities::fromProbeOutput(joined(hardwareProbeLines(capabilities)));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->fanCount, 1);
    EXPECT_EQ(parsed->source, "SMC fanCount=9");
    EXPECT_EQ(parsed->fans[0].displayName, "Fan  0");
}

TEST(ProbeOutputParser, FanValuesFillMissingAggregates) {
    const auto parsed = FanHardwareCapabilities::fromProbeOutput(
        "fanCount=1\nminimumRPM=nil\nfan0MinimumRPM=1200\nfan0MaximumRPM=6000\n");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->minimumRPM, 1200.0);
    EXPECT_EQ(parsed->maximumRPM, 6000.0);
    EXPECT_EQ(parsed->source, "Hardware probe");
    EXPECT_EQ(parsed->supportStatus, FanHardwareSupportStatus::supported);
    ASSERT_EQ(parsed->fans.size(), 1U);
    EXPECT_EQ(parsed->fans[0].displayName, "Fan 0");
    EXPECT_EQ(parsed->fans[0].source, "Hardware probe");
}

TEST(ProbeOutputParser, NeedsAPlainIntegerFanCount) {
    EXPECT_FALSE(FanHardwareCapabilities::fromProbeOutput("minimumRPM=1000\nmaximumRPM=2000\n"));
    EXPECT_FALSE(FanHardwareCapabilities::fromProbeOutput("fanCount= 1\n"));
    EXPECT_FALSE(FanHardwareCapabilities::fromProbeOutput("fanCount=1 \n"));
    EXPECT_FALSE(FanHardwareCapabilities::fromProbeOutput("fanCount=1.0\n"));
    EXPECT_FALSE(FanHardwareCapabilities::fromProbeOutput("fanCount=two\n"));
    EXPECT_FALSE(FanHardwareCapabilities::fromProbeOutput("fanCount=\n"));
    EXPECT_FALSE(FanHardwareCapabilities::fromProbeOutput("fanCount=0x2\n"));
    EXPECT_FALSE(FanHardwareCapabilities::fromProbeOutput("fanCount=99999999999999999999\n"));
    EXPECT_FALSE(FanHardwareCapabilities::fromProbeOutput("fanCount=256\n")); // past one byte
    EXPECT_FALSE(FanHardwareCapabilities::fromProbeOutput("FanCount=1\n"));   // keys are exact
    EXPECT_FALSE(FanHardwareCapabilities::fromProbeOutput(""));
    EXPECT_EQ(FanHardwareCapabilities::fromProbeOutput("fanCount=+2\n")->fanCount, 2);
    EXPECT_EQ(FanHardwareCapabilities::fromProbeOutput("fanCount=255\n")->fanCount, 255);
    // A later line replaces an earlier one, also a good value by a bad one.
    EXPECT_FALSE(FanHardwareCapabilities::fromProbeOutput("fanCount=1\nfanCount=x\n"));
    EXPECT_EQ(FanHardwareCapabilities::fromProbeOutput("fanCount=x\nfanCount=3\n")->fanCount, 3);
}

TEST(ProbeOutputParser, NegativeCountsMeanNoCount) {
    const auto parsed = FanHardwareCapabilities::fromProbeOutput("fanCount=-3\nfan0Name=Left\n");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->fanCount, 0);
    EXPECT_TRUE(parsed->fans.empty()); // fans are read only below the count
    EXPECT_EQ(parsed->supportStatus, FanHardwareSupportStatus::unavailable);
}

TEST(ProbeOutputParser, ValuesKeepEverythingAfterTheFirstEquals) {
    const auto parsed = FanHardwareCapabilities::fromProbeOutput(
        "fanCount=1\nsource=SMC key=F0Mn =x\ndetail=\nfan0Name= Left fan \n=orphan\n");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->source, "SMC key=F0Mn =x");
    EXPECT_EQ(parsed->fans[0].displayName, " Left fan "); // no trimming
    EXPECT_EQ(parsed->fans[0].source, "SMC key=F0Mn =x");
}

TEST(ProbeOutputParser, EmptyValuesAreIgnoredAndSourceFallsBackToDetail) {
    const auto parsed = FanHardwareCapabilities::fromProbeOutput(
        "fanCount=2\nsource=\ndetail=first line\ncontinuation\nsupportStatus=\n");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->source, "first line");
    EXPECT_EQ(parsed->supportStatus, FanHardwareSupportStatus::supported); // derived
    EXPECT_EQ(parsed->fans.size(), 2U);                                    // legacy fans
    EXPECT_EQ(parsed->fans[1].displayName, "Fan 1");
}

TEST(ProbeOutputParser, UnknownStatusIsDerived) {
    EXPECT_EQ(FanHardwareCapabilities::fromProbeOutput("fanCount=0\nsupportStatus=Supported\n")
                  ->supportStatus,
              FanHardwareSupportStatus::unavailable);
    EXPECT_EQ(FanHardwareCapabilities::fromProbeOutput("fanCount=0\nsupportStatus=unsupportedNoFan")
                  ->supportStatus,
              FanHardwareSupportStatus::unsupportedNoFan);
}

TEST(ProbeOutputParser, SpeedsThatAreNoNumbersAreAbsent) {
    const auto parsed = FanHardwareCapabilities::fromProbeOutput(
        "fanCount=1\nminimumRPM=inf\nmaximumRPM=nan\ncurrentRPM=1e999\n"
        "fan0MinimumRPM=12oo\nfan0MaximumRPM= 6000\nfan0CurrentRPM=1800.5\n");
    ASSERT_TRUE(parsed);
    EXPECT_FALSE(parsed->minimumRPM);
    EXPECT_FALSE(parsed->maximumRPM);
    EXPECT_EQ(parsed->currentRPM, 1800.5);
    EXPECT_FALSE(parsed->fans[0].minimumRPM);
    EXPECT_FALSE(parsed->fans[0].maximumRPM);
}

TEST(ProbeOutputParser, FansNeedAValueAndAreReadBelowTheCount) {
    const auto parsed = FanHardwareCapabilities::fromProbeOutput(
        "fanCount=3\nfan0Source=only a source\nfan1CurrentRPM=nil\nfan1MaximumRPM=5000\n"
        "fan2Name=Right\nfan3Name=Beyond\nfan01Name=Padded\n");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->fanCount, 3);
    ASSERT_EQ(parsed->fans.size(), 2U);
    EXPECT_EQ(parsed->fans[0].index, 1);
    EXPECT_EQ(parsed->fans[0].displayName, "Fan 1");
    EXPECT_EQ(parsed->fans[0].maximumRPM, 5000.0);
    EXPECT_EQ(parsed->fans[1].index, 2);
    EXPECT_EQ(parsed->fans[1].displayName, "Right");
    EXPECT_FALSE(parsed->hasRPMAxis());
}

TEST(ProbeOutputParser, SplitsAtEveryKindOfLineBreak) {
    const std::string lines[] = {"fanCount=1", "fan0Name=Left", "fan0MinimumRPM=1000",
                                 "fan0MaximumRPM=5000", "source=probe"};
    for (std::string_view separator : {"\n", "\r", "\r\n", "\n\n\r", "\u2028", "\x0b", "\x85"}) {
        std::string text;
        for (const std::string& line : lines) {
            text += line;
            text += separator;
        }
        // "\x85" alone is no UTF-8 NEL (that is "\xC2\x85"): it stays inside the line.
        const bool isBreak = separator != "\x85";
        const auto parsed = FanHardwareCapabilities::fromProbeOutput(text);
        if (!isBreak) {
            EXPECT_FALSE(parsed);
            continue;
        }
        ASSERT_TRUE(parsed) << "separator " << ::testing::PrintToString(std::string(separator));
        EXPECT_EQ(parsed->fans.at(0).displayName, "Left");
        EXPECT_EQ(parsed->minimumRPM, 1000.0);
        EXPECT_EQ(parsed->source, "probe");
    }
}

// A generator of capabilities as readers build them: through the constructor, 0-3 fans,
// absent speeds, every status, names and sources with spaces, "=" and non-ASCII text.
class CapabilitiesGenerator {
public:
    explicit CapabilitiesGenerator(std::uint32_t seed) : engine_(seed) {}

    FanHardwareCapabilities next() {
        const int fanTotal = below(4);
        std::vector<FanHardwareFan> fans;
        if (below(4) != 0) { // otherwise legacy fans from the aggregates
            for (int index = 0; index < fanTotal; ++index) {
                fans.push_back(FanHardwareFan{.index = index,
                                              .displayName = pick(names_) + std::to_string(index),
                                              .minimumRPM = speed(),
                                              .maximumRPM = speed(),
                                              .currentRPM = speed(),
                                              .source = pick(sources_)});
            }
        }
        const int count = below(3) == 0 ? 0 : fanTotal + below(2);
        std::optional<FanHardwareSupportStatus> status;
        if (below(2) == 0) {
            status = allFanHardwareSupportStatuss[below(3)];
        }
        return FanHardwareCapabilities(count, speed(), speed(), speed(), pick(sources_),
                                       std::move(fans), status);
    }

    std::optional<std::string> fallback() {
        return below(2) == 0 ? std::nullopt : std::optional<std::string>(pick(sources_));
    }

private:
    int below(int n) { return static_cast<int>(engine_() % static_cast<std::uint32_t>(n)); }
    std::optional<double> speed() {
        if (below(3) == 0) {
            return std::nullopt;
        }
        return static_cast<double>(below(20001)) - 500.0; // whole numbers, a few negative
    }
    const std::string& pick(const std::vector<std::string>& options) {
        return options[static_cast<std::size_t>(below(static_cast<int>(options.size())))];
    }

    std::mt19937 engine_;
    const std::vector<std::string> names_{"Fan ", "Left fan ", " spaced ", "팬 ", "ventilador-"};
    const std::vector<std::string> sources_{"SMC F0Mn/F0Mx",
                                            "Hardware probe",
                                            "key=value=more",
                                            " leading space",
                                            "smcDiagnose fRMN/fRMX read-only",
                                            "Mac17,2 built-in fan preset",
                                            "温度 fan"};
};

TEST(ProbeOutputRoundTrip, WrittenBlocksReadBackEqual) {
    CapabilitiesGenerator generator(20261208);
    int multiFanBlocks = 0;
    for (int i = 0; i < 3000; ++i) {
        const FanHardwareCapabilities capabilities = generator.next();
        const std::vector<std::string> lines =
            hardwareProbeLines(capabilities, generator.fallback());
        if (capabilities.detailText().find('\n') != std::string::npos) {
            ++multiFanBlocks;
        }
        for (std::string_view separator : {"\n", "\r\n", "\r"}) {
            const auto parsed = FanHardwareCapabilities::fromProbeOutput(joined(lines, separator));
            ASSERT_TRUE(parsed) << joined(lines);
            ASSERT_EQ(*parsed, capabilities) << joined(lines);
        }
    }
    EXPECT_GT(multiFanBlocks, 100); // the multi-line detail was exercised
}

TEST(ProbeOutputRoundTrip, CatalogAndDiagnoseResultsReadBackEqual) {
    const auto diagnose = FanHardwareCapabilities::fromSMCDiagnoseOutput(
        "FNum = 2\nfRMN, 1250\nfRMX = 6800 rpm\nF0Ac = 2200\n");
    ASSERT_TRUE(diagnose);
    EXPECT_EQ(FanHardwareCapabilities::fromProbeOutput(joined(hardwareProbeLines(*diagnose))),
              diagnose);
    EXPECT_EQ(FanHardwareCapabilities::fromProbeOutput(
                  joined(hardwareProbeLines(FanHardwareCapabilities::unavailable()))),
              FanHardwareCapabilities::unavailable());
}

} // namespace
} // namespace aerivo
