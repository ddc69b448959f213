#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// The interface language, chosen by the user independently of the system language.
enum class AppLanguage { english, korean, japanese, chineseSimplified, spanish };

inline constexpr std::array<AppLanguage, 5> allAppLanguages{
    AppLanguage::english, AppLanguage::korean, AppLanguage::japanese,
    AppLanguage::chineseSimplified, AppLanguage::spanish};

// "en", "ko", "ja", "zh-Hans", "es"; also the language's identity in lists and storage.
std::string_view rawValue(AppLanguage language);
inline std::string_view id(AppLanguage language) {
    return rawValue(language);
}
// The name shown in the language picker, always written in the language itself.
std::string_view nativeName(AppLanguage language);
// Exactly one of the five raw values; anything else is none.
std::optional<AppLanguage> appLanguageFromRawValue(std::string_view raw);

// The language to use when the user has chosen none. Walks `preferredLanguages` (language tags,
// most preferred first) and lets the first entry that starts with "ko", "ja", "zh-Hans" or
// "zh-CN", "es" or "en" (tested in that order) decide; other entries (Traditional Chinese,
// "de-DE", ...) are passed over. English when nothing matches or the list is empty.
AppLanguage preferredAppLanguage(const std::vector<std::string>& preferredLanguages);
// The same over the system's current list, read afresh on every call.
AppLanguage preferredAppLanguage();

} // namespace aerivo
