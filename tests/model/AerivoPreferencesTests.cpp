#include "app/model/AerivoPreferences.h"
#include "app/model/AerivoProfileCoding.h"
#include "app/model/CurvePreset.h"
#include "platform/services/InMemoryUserDefaults.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace aerivo {
namespace {

UserDefaults::Data bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

// In-memory defaults whose writes can be made to fail, leaving the stored values as they were.
class FailingUserDefaults final : public UserDefaults {
public:
    bool failWrites = false;
    int writeAttempts = 0;
    InMemoryUserDefaults stored;

    std::optional<Data> data(std::string_view key) const override { return stored.data(key); }
    std::optional<std::string> string(std::string_view key) const override {
        return stored.string(key);
    }
    bool setData(std::string_view key, std::span<const std::uint8_t> value) override {
        ++writeAttempts;
        return !failWrites && stored.setData(key, value);
    }
    bool setString(std::string_view key, std::string_view value) override {
        ++writeAttempts;
        return !failWrites && stored.setString(key, value);
    }
    bool remove(std::string_view key) override {
        ++writeAttempts;
        return !failWrites && stored.remove(key);
    }
};

class AerivoPreferencesTest : public testing::Test {
protected:
    std::shared_ptr<FailingUserDefaults> defaults = std::make_shared<FailingUserDefaults>();
    AerivoPreferences preferences{defaults, [] { return AppLanguage::japanese; }};

    void store(std::string_view text) {
        defaults->stored.setData(AerivoPreferences::profileKey, bytes(text));
    }
    std::optional<UserDefaults::Data> storedProfile() const {
        return defaults->stored.data(AerivoPreferences::profileKey);
    }
};

TEST_F(AerivoPreferencesTest, KeysAreTheVersionedNames) {
    EXPECT_EQ(AerivoPreferences::profileKey, "AerivoMac.profile.v1");
    EXPECT_EQ(AerivoPreferences::languageKey, "AerivoMac.language.v1");
}

TEST_F(AerivoPreferencesTest, NothingStoredLoadsNothing) {
    EXPECT_EQ(preferences.loadProfile(), std::nullopt);
    // A string under the profile key is not profile data.
    defaults->stored.setString(AerivoPreferences::profileKey,
                               *encodeAerivoProfileDocument(AerivoProfile::balanced()).value());
    EXPECT_EQ(preferences.loadProfile(), std::nullopt);
}

TEST_F(AerivoPreferencesTest, SavedProfileIsTheEncodedDocumentAndLoadsEqual) {
    AerivoProfile profile = aerivo::profile(CurvePreset::cooling);
    profile.updateFanOffThresholdEnabled(true);
    profile.updateFanOffThreshold(52.5);
    const auto result = preferences.saveProfile(profile);
    EXPECT_TRUE(result.isSuccess) << result.detail;
    EXPECT_EQ(storedProfile(), bytes(*encodeAerivoProfileDocument(profile).value()));
    EXPECT_EQ(preferences.loadProfile(), profile);

    const AerivoPreferences another(defaults);
    EXPECT_EQ(another.loadProfile(), profile);
}

TEST_F(AerivoPreferencesTest, DamagedProfilesLoadAsNothingAndStayUntilTheNextSave) {
    const std::string valid = *encodeAerivoProfileDocument(AerivoProfile::balanced()).value();
    // 50 MB of NaN-like text in an array.
    std::string chunk;
    for (int i = 0; i < 1024; ++i) {
        chunk += "NaN,";
    }
    std::string enormous = "[";
    enormous.reserve(50u * 1024 * 1024 + 2);
    while (enormous.size() < 50u * 1024 * 1024) {
        enormous += chunk;
    }
    enormous += "]";
    const std::string damaged[] = {
        "not json at all",
        valid.substr(0, valid.size() / 2),
        R"({"name": "Shape", "points": "none"})",
        R"([1, 2, 3])",
        R"({"name": NaN, "safetyLimitC": -Infinity, "points": [nan]})",
        R"({"name":"N","temperatureAxis":{"title":"T","unit":"C","minimum":"NaN","maximum":"inf"}})",
        std::string(3 * 1024 * 1024, '['),
        enormous,
        std::string("\xEF\xBB\xBF\xFF\xFE\x00\x01", 7),
    };
    for (const std::string& text : damaged) {
        store(text);
        EXPECT_EQ(preferences.loadProfile(), std::nullopt) << text.substr(0, 60);
        EXPECT_EQ(storedProfile(), bytes(text)) << "left as it was";
    }
    ASSERT_TRUE(preferences.saveProfile(AerivoProfile::balanced()).isSuccess);
    EXPECT_EQ(preferences.loadProfile(), AerivoProfile::balanced());
}

TEST_F(AerivoPreferencesTest, AProfileThatCannotBeEncodedIsRefusedAndNothingIsWritten) {
    ASSERT_TRUE(preferences.saveProfile(AerivoProfile::balanced()).isSuccess);
    const auto before = storedProfile();
    const int attempts = defaults->writeAttempts;

    AerivoProfile broken = AerivoProfile::balanced();
    broken.points[2].rpm = std::numeric_limits<double>::quiet_NaN();
    const auto result = preferences.saveProfile(broken);
    EXPECT_FALSE(result.isSuccess);
    EXPECT_EQ(result.detail, "profile not saved: points[2].rpm: not a finite number (NaN)");
    EXPECT_EQ(defaults->writeAttempts, attempts) << "the database is not touched";
    EXPECT_EQ(storedProfile(), before);
    EXPECT_EQ(preferences.loadProfile(), AerivoProfile::balanced());
}

TEST_F(AerivoPreferencesTest, AFailedWriteIsReportedAndTheStoredProfileRemains) {
    ASSERT_TRUE(preferences.saveProfile(AerivoProfile::balanced()).isSuccess);
    defaults->failWrites = true;
    const auto result = preferences.saveProfile(aerivo::profile(CurvePreset::quiet));
    EXPECT_FALSE(result.isSuccess);
    EXPECT_NE(result.detail.find("refused"), std::string::npos);
    EXPECT_EQ(preferences.loadProfile(), AerivoProfile::balanced());

    EXPECT_FALSE(preferences.saveLanguage(AppLanguage::korean).isSuccess);
    EXPECT_EQ(preferences.loadLanguage(), AppLanguage::japanese);
}

TEST_F(AerivoPreferencesTest, EveryLanguageRoundTripsAsItsRawValue) {
    for (AppLanguage language : allAppLanguages) {
        ASSERT_TRUE(preferences.saveLanguage(language).isSuccess);
        EXPECT_EQ(defaults->stored.string(AerivoPreferences::languageKey), rawValue(language));
        EXPECT_EQ(preferences.loadLanguage(), language);
    }
}

TEST_F(AerivoPreferencesTest, UnknownOrMissingLanguageFallsBackToThePreferredOne) {
    EXPECT_EQ(preferences.loadLanguage(), AppLanguage::japanese);
    for (const char* text : {"xx", "EN", "zh-hans", "zh", " en", "", "ko\n"}) {
        defaults->stored.setString(AerivoPreferences::languageKey, text);
        EXPECT_EQ(preferences.loadLanguage(), AppLanguage::japanese) << text;
    }
    // Data under the language key is not a language string.
    defaults->stored.setData(AerivoPreferences::languageKey, bytes("ko"));
    EXPECT_EQ(preferences.loadLanguage(), AppLanguage::japanese);
}

TEST(AerivoPreferences, WithoutADatabaseItKeepsValuesInMemory) {
    const AerivoPreferences preferences(nullptr, [] { return AppLanguage::spanish; });
    EXPECT_EQ(preferences.loadLanguage(), AppLanguage::spanish);
    ASSERT_TRUE(preferences.saveLanguage(AppLanguage::korean).isSuccess);
    EXPECT_EQ(preferences.loadLanguage(), AppLanguage::korean);
    ASSERT_TRUE(preferences.saveProfile(AerivoProfile::balanced()).isSuccess);
    EXPECT_EQ(preferences.loadProfile(), AerivoProfile::balanced());
}

} // namespace
} // namespace aerivo
