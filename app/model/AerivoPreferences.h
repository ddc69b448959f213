#pragma once

#include "app/l10n/AppLanguage.h"
#include "app/model/AerivoProfile.h"
#include "platform/services/UserDefaults.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace aerivo {

// What a save did: stored, or why nothing was written.
struct PreferencesSaveResult {
    bool isSuccess = false;
    std::string detail;

    friend bool operator==(const PreferencesSaveResult&, const PreferencesSaveResult&) = default;
};

// The two values kept between runs, the curve profile and the interface language, in the user's
// defaults database. A copyable value sharing one database.
//
// A stored profile that cannot be decoded (not JSON, wrong shape, too large) loads as nothing and
// is left as it is until the next save replaces it. A save that cannot encode the profile or that
// the database refuses writes nothing and leaves the previous value in place.
class AerivoPreferences {
public:
    static constexpr std::string_view profileKey = "AerivoMac.profile.v1";
    static constexpr std::string_view languageKey = "AerivoMac.language.v1";
    static constexpr std::string_view temperatureSensorKey = "AerivoMac.temperatureSensor.v1";
    // A sensor name is a label as the telemetry shows it: at most this many bytes.
    static constexpr std::size_t maximumSensorNameBytes = 64;

    using PreferredLanguage = std::function<AppLanguage()>;

    // `preferredLanguage` answers when no known language is stored; without one, the language
    // chosen from the system's preferred languages (preferredAppLanguage()).
    // A null database is replaced by an empty in-memory one, so the preferences always work.
    explicit AerivoPreferences(std::shared_ptr<UserDefaults> defaults,
                               PreferredLanguage preferredLanguage = {});

    std::optional<AerivoProfile> loadProfile() const;
    PreferencesSaveResult saveProfile(const AerivoProfile& profile) const;
    AppLanguage loadLanguage() const;
    PreferencesSaveResult saveLanguage(AppLanguage language) const;
    // The temperature sensor the curve follows, by name; nothing for the automatic choice (also
    // when what is stored is no valid name).
    std::optional<std::string> loadTemperatureSensor() const;
    // Stores the name, or removes it for nothing. A name that is empty, longer than
    // maximumSensorNameBytes, not UTF-8 or holding control characters is refused unsaved.
    PreferencesSaveResult saveTemperatureSensor(const std::optional<std::string>& name) const;
    static bool isValidSensorName(std::string_view name);

    const std::shared_ptr<UserDefaults>& defaults() const { return defaults_; }

private:
    std::shared_ptr<UserDefaults> defaults_;
    PreferredLanguage preferredLanguage_;
};

} // namespace aerivo
