#pragma once

#include <array>
#include <optional>
#include <string_view>

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

} // namespace aerivo
