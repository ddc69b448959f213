#include "app/l10n/Formatters.h"
#include "app/l10n/L10n.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {
namespace {

std::string fill(std::string_view format, std::vector<std::string_view> arguments) {
    return L10n::formatText(format, arguments);
}

TEST(L10nFormat, FillsPlaceholdersInOrder) {
    EXPECT_EQ(L10n::format(L10nKey::allowedRange, AppLanguage::english, Formatters::rpm(1200),
                           Formatters::rpm(6200)),
              "Allowed: 1200 RPM - 6200 RPM");
    EXPECT_EQ(L10n::format(L10nKey::updateAvailable, AppLanguage::japanese, "1.2.0", "1.1.0"),
              "アップデートがあります: 1.2.0（現在 1.1.0）。");
    EXPECT_EQ(L10n::format(L10nKey::currentTargetAnnotation, AppLanguage::spanish,
                           std::string("3100 RPM")),
              "ahora -> 3100 RPM");
    EXPECT_EQ(L10n::format(L10nKey::updateAvailable, AppLanguage::english,
                           std::vector<std::string>{"2.0", "1.9"}),
              "Update available: 2.0 (current 1.9).");
}

TEST(L10nFormat, TextWithoutPlaceholdersIsUnchanged) {
    EXPECT_EQ(L10n::format(L10nKey::cancel, AppLanguage::spanish), "Cancelar");
    EXPECT_EQ(L10n::format(L10nKey::cancel, AppLanguage::english, "ignored"), "Cancel");
    EXPECT_EQ(fill("", {"a"}), "");
}

TEST(L10nFormat, MissingArgumentsLeaveThePlaceholderAndNeverReadPastTheList) {
    EXPECT_EQ(L10n::format(L10nKey::allowedRange, AppLanguage::english, "1200 RPM"),
              "Allowed: 1200 RPM - %@");
    EXPECT_EQ(L10n::format(L10nKey::allowedRange, AppLanguage::korean), "허용 범위: %@ - %@");
    EXPECT_EQ(L10n::format(L10nKey::range, AppLanguage::english, std::vector<std::string>{}),
              "Range: %@");
}

TEST(L10nFormat, ExtraArgumentsAreIgnored) {
    EXPECT_EQ(L10n::format(L10nKey::range, AppLanguage::english, "a", "b", "c"), "Range: a");
}

TEST(L10nFormat, ArgumentsAreNotFormattedAgain) {
    EXPECT_EQ(fill("%@ and %@", {"%@", "100%"}), "%@ and 100%");
    EXPECT_EQ(L10n::format(L10nKey::launchAtLoginFailed, AppLanguage::english, "%@ %d %s"),
              "Could not update login item: %@ %d %s");
}

TEST(L10nFormat, StrayPercentSignsAreCopied) {
    EXPECT_EQ(fill("100%", {"x"}), "100%");
    EXPECT_EQ(fill("%", {}), "%");
    EXPECT_EQ(fill("%d %s %n %@", {"x"}), "%d %s %n x");
    EXPECT_EQ(fill("50%% of %@", {"max"}), "50% of max");
    EXPECT_EQ(fill("%%@", {"x"}), "%@");
    EXPECT_EQ(fill("%@%@%", {"a", "b"}), "ab%");
    EXPECT_EQ(fill("%1$@", {"x"}), "%1$@");
}

TEST(L10nFormat, EmbeddedNulAndMultibyteArgumentsAreCopiedWhole) {
    const std::string withNul("a\0b", 3);
    EXPECT_EQ(fill("[%@]", {withNul}), std::string("[a\0b]", 5));
    EXPECT_EQ(fill("%@ -> %@", {"현재", "当前"}), "현재 -> 当前");
}

TEST(Formatters, RoundsHalvesAwayFromZero) {
    EXPECT_EQ(Formatters::temperature(45.5), "46 C");
    EXPECT_EQ(Formatters::temperature(-45.5), "-46 C");
    EXPECT_EQ(Formatters::temperature(2.5), "3 C");
    EXPECT_EQ(Formatters::temperature(-2.5), "-3 C");
    EXPECT_EQ(Formatters::temperature(45.49), "45 C");
    EXPECT_EQ(Formatters::rpm(2400.4), "2400 RPM");
    EXPECT_EQ(Formatters::rpm(2400.5), "2401 RPM");
    EXPECT_EQ(Formatters::percent(0.256), "26%");
    EXPECT_EQ(Formatters::percent(1.0), "100%");
    EXPECT_EQ(Formatters::percent(-0.125), "-13%");
}

TEST(Formatters, NeverPrintsNegativeZero) {
    EXPECT_EQ(Formatters::temperature(-0.4), "0 C");
    EXPECT_EQ(Formatters::temperature(-0.0), "0 C");
    EXPECT_EQ(Formatters::rpm(-0.49), "0 RPM");
    EXPECT_EQ(Formatters::percent(-0.004), "0%");
    EXPECT_EQ(Formatters::temperature(-0.5), "-1 C");
}

TEST(Formatters, NoGroupingForLargeNumbers) {
    EXPECT_EQ(Formatters::rpm(123456789.0), "123456789 RPM");
    EXPECT_EQ(Formatters::temperature(-1000000.0), "-1000000 C");
    EXPECT_EQ(Formatters::wholeNumber(9007199254740992.0), "9007199254740992");
}

TEST(Formatters, NonFiniteOrUnprintableValuesGiveTheDashText) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    for (double value : {nan, infinity, -infinity, 1e300, -1e300, 1.8e19, 9007199254740994.0}) {
        EXPECT_EQ(Formatters::temperature(value), "-- C") << value;
        EXPECT_EQ(Formatters::rpm(value), "-- RPM") << value;
        EXPECT_EQ(Formatters::wholeNumber(value), "--") << value;
    }
    EXPECT_EQ(Formatters::percent(nan), "--%");
    EXPECT_EQ(Formatters::percent(infinity), "--%");
    EXPECT_EQ(Formatters::percent(1e300), "--%");
    // Finite as a fraction but not once scaled to a percentage.
    EXPECT_EQ(Formatters::percent(1.7e308), "--%");
}

} // namespace
} // namespace aerivo
