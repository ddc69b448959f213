#include "app/model/AerivoPreferences.h"

#include "app/model/AerivoProfileCoding.h"
#include "platform/services/InMemoryUserDefaults.h"
#include "shared/Utf8.h"

#include <algorithm>
#include <span>
#include <utility>

namespace aerivo {

AerivoPreferences::AerivoPreferences(std::shared_ptr<UserDefaults> defaults,
                                     PreferredLanguage preferredLanguage)
    : defaults_(defaults ? std::move(defaults) : std::make_shared<InMemoryUserDefaults>()),
      preferredLanguage_(std::move(preferredLanguage)) {}

std::optional<AerivoProfile> AerivoPreferences::loadProfile() const {
    const auto data = defaults_->data(profileKey);
    if (!data) {
        return std::nullopt;
    }
    // Whatever is wrong with the stored document, it reads as no saved profile; the data stays
    // where it is until the next save replaces it.
    const std::string_view text(reinterpret_cast<const char*>(data->data()), data->size());
    return std::move(decodeAerivoProfileDocument(text)).value();
}

PreferencesSaveResult AerivoPreferences::saveProfile(const AerivoProfile& profile) const {
    const auto document = encodeAerivoProfileDocument(profile);
    if (!document) {
        return {false, "profile not saved: " + document.error().message()};
    }
    const std::string& text = *document.value();
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()),
                                              text.size());
    if (!defaults_->setData(profileKey, bytes)) {
        return {false, "profile not saved: the defaults database refused the write"};
    }
    return {true, "profile saved"};
}

AppLanguage AerivoPreferences::loadLanguage() const {
    if (const auto stored = defaults_->string(languageKey)) {
        if (const auto language = appLanguageFromRawValue(*stored)) {
            return *language;
        }
    }
    return preferredLanguage_ ? preferredLanguage_() : preferredAppLanguage();
}

PreferencesSaveResult AerivoPreferences::saveLanguage(AppLanguage language) const {
    if (!defaults_->setString(languageKey, rawValue(language))) {
        return {false, "language not saved: the defaults database refused the write"};
    }
    return {true, "language saved"};
}

bool AerivoPreferences::isValidSensorName(std::string_view name) {
    if (name.empty() || name.size() > maximumSensorNameBytes || !isValidUtf8(name)) {
        return false;
    }
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

std::optional<std::string> AerivoPreferences::loadTemperatureSensor() const {
    auto stored = defaults_->string(temperatureSensorKey);
    if (!stored || !isValidSensorName(*stored)) {
        return std::nullopt;
    }
    return stored;
}

PreferencesSaveResult
AerivoPreferences::saveTemperatureSensor(const std::optional<std::string>& name) const {
    if (!name) {
        if (!defaults_->remove(temperatureSensorKey)) {
            return {false, "temperature sensor not saved: the defaults database refused the write"};
        }
        return {true, "temperature sensor saved: automatic"};
    }
    if (!isValidSensorName(*name)) {
        return {false, "temperature sensor not saved: a sensor name is 1 to 64 bytes of UTF-8 "
                       "without control characters"};
    }
    if (!defaults_->setString(temperatureSensorKey, *name)) {
        return {false, "temperature sensor not saved: the defaults database refused the write"};
    }
    return {true, "temperature sensor saved: " + *name};
}

} // namespace aerivo
