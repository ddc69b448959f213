#include "app/hardware/FanHardwareCapabilities.h"

#include <gtest/gtest.h>

namespace aerivo {
namespace {

using Fields = FanHardwareCapabilities::SMCDiagnoseFields;

TEST(SMCDiagnoseFields, CommaOrEqualsTrimmedFirstTokenAsNumber) {
    const Fields fields = FanHardwareCapabilities::smcDiagnoseFields(
        "  fRMN , 1250\r"
        "fRMX= 6800 rpm\r\n"
        "F0Ac = 2200.5 RPM (measured)\n"
        "note, a=3\n"        // a comma line splits at the comma: "a=3" is no number
        "FNum=2,0\n"         // contains a comma, so the key is "FNum=2"
        "iaFl\t=\t900\tx\n"  // tabs are white space
        "mrFL=\n"            // empty value
        "=700\n"             // empty key
        "TC0P=hot\n"         // no number
        "fRMN=1300\n"        // a later line replaces an earlier one
        "inf=inf\nnan,nan\n" // not finite: ignored
        "\u00a0key\u00a0=\u2003 42\u3000units\n");
    const Fields expected{{"fRMN", 1300.0}, {"fRMX", 6800.0}, {"F0Ac", 2200.5},
                          {"FNum=2", 0.0},  {"iaFl", 900.0},  {"key", 42.0}};
    EXPECT_EQ(fields, expected);
}

TEST(SMCDiagnoseFields, KeysAreCaseSensitiveAndFirstListedKeyWins) {
    const Fields fields =
        FanHardwareCapabilities::smcDiagnoseFields("frmn=1\niaFl=900\nmrFL=800\n");
    EXPECT_FALSE(FanHardwareCapabilities::firstSMCDiagnoseValue({"fRMN"}, fields));
    const auto found =
        FanHardwareCapabilities::firstSMCDiagnoseValue({"fRMN", "mrFL", "iaFl"}, fields);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->key, "mrFL");
    EXPECT_EQ(found->value, 800.0);
    EXPECT_FALSE(FanHardwareCapabilities::firstSMCDiagnoseValue({}, fields));
}

TEST(SMCDiagnoseOutput, BuildsOneSupportedFan) {
    const auto parsed = FanHardwareCapabilities::fromSMCDiagnoseOutput(
        "SMC diagnose\nfRMN, 1250\nfRMX = 6800 rpm\niaFl=900\n");
    ASSERT_TRUE(parsed);
    const std::string source = "smcDiagnose fRMN/fRMX read-only";
    EXPECT_EQ(parsed->fanCount, 1);
    EXPECT_EQ(parsed->minimumRPM, 1250.0);
    EXPECT_EQ(parsed->maximumRPM, 6800.0);
    EXPECT_FALSE(parsed->currentRPM);
    EXPECT_EQ(parsed->source, source);
    EXPECT_EQ(parsed->supportStatus, FanHardwareSupportStatus::supported);
    ASSERT_EQ(parsed->fans.size(), 1U);
    EXPECT_EQ(parsed->fans[0], (FanHardwareFan{.index = 0,
                                               .displayName = "Fan 0",
                                               .minimumRPM = 1250.0,
                                               .maximumRPM = 6800.0,
                                               .currentRPM = std::nullopt,
                                               .source = source}));
}

TEST(SMCDiagnoseOutput, FallbackKeysCountAndCurrent) {
    const auto parsed = FanHardwareCapabilities::fromSMCDiagnoseOutput(
        "iaFl=900\nmrFL=800\niaFh=5000\nFNum=2.9\nF0Ac=1500\n");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->source, "smcDiagnose iaFl/iaFh read-only");
    EXPECT_EQ(parsed->fanCount, 2); // fraction dropped
    EXPECT_EQ(parsed->fans.size(), 1U);
    EXPECT_EQ(parsed->currentRPM, 1500.0);
    EXPECT_EQ(parsed->fans[0].currentRPM, 1500.0);

    EXPECT_EQ(FanHardwareCapabilities::fromSMCDiagnoseOutput("mrFL=800\nfRMX=5000\n")->source,
              "smcDiagnose mrFL/fRMX read-only");
}

TEST(SMCDiagnoseOutput, OddFanCountsBecomeOneFan) {
    for (const char* count : {"FNum=0", "FNum=0.7", "FNum=-3", "FNum=256", "FNum=1e300", "FNum=inf",
                              "FNum=nan", "FNum=lots"}) {
        const auto parsed = FanHardwareCapabilities::fromSMCDiagnoseOutput(
            std::string(count) + "\nfRMN=1000\nfRMX=6000\n");
        ASSERT_TRUE(parsed) << count;
        EXPECT_EQ(parsed->fanCount, 1) << count;
    }
    EXPECT_EQ(FanHardwareCapabilities::fromSMCDiagnoseOutput("FNum=255\nfRMN=1\nfRMX=2")->fanCount,
              255);
}

TEST(SMCDiagnoseOutput, NeedsAnOrderedRange) {
    EXPECT_FALSE(FanHardwareCapabilities::fromSMCDiagnoseOutput("fRMN=7000\nfRMX=6000\n"));
    EXPECT_FALSE(FanHardwareCapabilities::fromSMCDiagnoseOutput("fRMN=6000\nfRMX=6000\n"));
    EXPECT_FALSE(FanHardwareCapabilities::fromSMCDiagnoseOutput("fRMX=6000\n"));
    EXPECT_FALSE(FanHardwareCapabilities::fromSMCDiagnoseOutput("fRMN=1000\n"));
    EXPECT_FALSE(FanHardwareCapabilities::fromSMCDiagnoseOutput("fRMN=1000\nfRMX=inf\n"));
    EXPECT_FALSE(FanHardwareCapabilities::fromSMCDiagnoseOutput(""));
    // The first listed key decides even when a later key would give an ordered range.
    EXPECT_FALSE(FanHardwareCapabilities::fromSMCDiagnoseOutput("fRMN=7000\niaFl=1000\nfRMX=6000"));
}

} // namespace
} // namespace aerivo
