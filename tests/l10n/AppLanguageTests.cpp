#include "app/l10n/AppLanguage.h"
#include "app/model/FanControlMode.h"
#include "platform/desktop/SystemLanguages.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace aerivo {
namespace {

TEST(AppLanguage, RawValuesAndNativeNames) {
    const std::map<AppLanguage, std::pair<std::string, std::string>> expected{
        {AppLanguage::english, {"en", "English"}},
        {AppLanguage::korean, {"ko", "한국어"}},
        {AppLanguage::japanese, {"ja", "日本語"}},
        {AppLanguage::chineseSimplified, {"zh-Hans", "简体中文"}},
        {AppLanguage::spanish, {"es", "Español"}},
    };
    ASSERT_EQ(allAppLanguages.size(), expected.size());
    for (AppLanguage language : allAppLanguages) {
        EXPECT_EQ(rawValue(language), expected.at(language).first);
        EXPECT_EQ(nativeName(language), expected.at(language).second);
        EXPECT_EQ(appLanguageFromRawValue(rawValue(language)), language);
    }
    for (const char* other : {"fr", "EN", "zh", "zh-CN", "zh-hans", "", "en "}) {
        EXPECT_EQ(appLanguageFromRawValue(other), std::nullopt) << other;
    }
}

TEST(AppLanguage, PreferredTakesTheFirstEntryThatMatches) {
    using List = std::vector<std::string>;
    EXPECT_EQ(preferredAppLanguage(List{"de-DE", "ja-JP", "en-US"}), AppLanguage::japanese);
    EXPECT_EQ(preferredAppLanguage(List{"zh-CN"}), AppLanguage::chineseSimplified);
    EXPECT_EQ(preferredAppLanguage(List{"zh-Hans-CN"}), AppLanguage::chineseSimplified);
    EXPECT_EQ(preferredAppLanguage(List{"pt-BR"}), AppLanguage::english);
    EXPECT_EQ(preferredAppLanguage(List{}), AppLanguage::english);
    EXPECT_EQ(preferredAppLanguage(List{"zh-Hant-TW", "ko-KR"}), AppLanguage::korean);
    EXPECT_EQ(preferredAppLanguage(List{"zh-TW", "zh-HK", "zh"}), AppLanguage::english);
    EXPECT_EQ(preferredAppLanguage(List{"es-419"}), AppLanguage::spanish);
    EXPECT_EQ(preferredAppLanguage(List{"en-GB", "ja-JP"}), AppLanguage::english);
    EXPECT_EQ(preferredAppLanguage(List{"", "fr-FR", "ko"}), AppLanguage::korean);
}

TEST(SystemLanguages, PosixLocaleNamesBecomeTags) {
    EXPECT_EQ(languageTagFromPosixLocale("ja_JP.UTF-8"), "ja-JP");
    EXPECT_EQ(languageTagFromPosixLocale("zh_CN"), "zh-CN");
    EXPECT_EQ(languageTagFromPosixLocale("zh_TW.Big5"), "zh-TW");
    EXPECT_EQ(languageTagFromPosixLocale("sr_RS@latin"), "sr-RS");
    EXPECT_EQ(languageTagFromPosixLocale("es"), "es");
    EXPECT_EQ(languageTagFromPosixLocale("zh-Hans"), "zh-Hans");
    for (const char* none : {"C", "POSIX", "C.UTF-8", "", ".UTF-8", "@euro"}) {
        EXPECT_EQ(languageTagFromPosixLocale(none), std::nullopt) << none;
    }
}

TEST(SystemLanguages, ListOrderIsLanguageThenLcAllLcMessagesLang) {
    const std::map<std::string, std::string> environment{
        {"LANGUAGE", "zh_TW:ko_KR::C"}, {"LC_ALL", "es_ES.UTF-8"},   {"LC_MESSAGES", "POSIX"},
        {"LANG", "ja_JP.UTF-8"},        {"LC_CTYPE", "de_DE.UTF-8"},
    };
    const auto lookup = [&](std::string_view name) -> std::optional<std::string> {
        const auto found = environment.find(std::string(name));
        return found == environment.end() ? std::nullopt : std::optional(found->second);
    };
    EXPECT_EQ(preferredLanguagesFromEnvironment(lookup),
              (std::vector<std::string>{"zh-TW", "ko-KR", "es-ES", "ja-JP"}));
    EXPECT_EQ(preferredAppLanguage(preferredLanguagesFromEnvironment(lookup)), AppLanguage::korean);

    const auto nothing = [](std::string_view) -> std::optional<std::string> {
        return std::nullopt;
    };
    EXPECT_TRUE(preferredLanguagesFromEnvironment(nothing).empty());
}

// Sets variables for one test and restores what was there before.
class ScopedEnvironment {
public:
    void set(const char* name, const char* value) {
        const char* previous = std::getenv(name);
        saved_.emplace_back(name, previous ? std::optional<std::string>(previous) : std::nullopt);
        if (value) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnvironment() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second) {
                ::setenv(it->first.c_str(), it->second->c_str(), 1);
            } else {
                ::unsetenv(it->first.c_str());
            }
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(SystemLanguages, ReadsTheProcessEnvironmentOnEveryCall) {
    ScopedEnvironment environment;
    environment.set("LANGUAGE", nullptr);
    environment.set("LC_ALL", nullptr);
    environment.set("LC_MESSAGES", "C.UTF-8");
    environment.set("LANG", "zh_CN.UTF-8");
    EXPECT_EQ(systemPreferredLanguages(), std::vector<std::string>{"zh-CN"});
    EXPECT_EQ(preferredAppLanguage(), AppLanguage::chineseSimplified);
    environment.set("LANGUAGE", "es_MX:en");
    EXPECT_EQ(preferredAppLanguage(), AppLanguage::spanish);
}

TEST(FanControlModeText, NamesAndDescriptions) {
    EXPECT_EQ(displayName(FanControlMode::system, AppLanguage::english), "System");
    EXPECT_EQ(displayName(FanControlMode::curve, AppLanguage::english), "Curve");
    EXPECT_EQ(displayName(FanControlMode::safety, AppLanguage::english), "Safety");
    EXPECT_EQ(description(FanControlMode::system), "macOS controls the fan");
    EXPECT_EQ(description(FanControlMode::curve), "Controlling the fan with the edited curve");
    EXPECT_EQ(description(FanControlMode::safety), "Requesting maximum RPM at the safety limit");
    EXPECT_EQ(displayName(FanControlMode::system, AppLanguage::spanish), "Sistema");
    for (FanControlMode mode : allFanControlModes) {
        EXPECT_EQ(description(mode), description(mode, AppLanguage::english));
        EXPECT_NE(displayNameKey(mode), descriptionKey(mode));
        for (AppLanguage language : allAppLanguages) {
            if (language == AppLanguage::english) {
                continue;
            }
            EXPECT_NE(displayName(mode, language), displayName(mode, AppLanguage::english));
            EXPECT_NE(description(mode, language), description(mode));
        }
    }
    // The display name is not the raw value: "Safety preview" is only the mode's identity.
    EXPECT_EQ(rawValue(FanControlMode::safety), "Safety preview");
}

} // namespace
} // namespace aerivo
