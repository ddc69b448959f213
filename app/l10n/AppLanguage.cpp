#include "app/l10n/AppLanguage.h"

namespace aerivo {

std::string_view rawValue(AppLanguage language) {
    switch (language) {
    case AppLanguage::english:
        return "en";
    case AppLanguage::korean:
        return "ko";
    case AppLanguage::japanese:
        return "ja";
    case AppLanguage::chineseSimplified:
        return "zh-Hans";
    case AppLanguage::spanish:
        return "es";
    }
    return "en";
}

std::string_view nativeName(AppLanguage language) {
    switch (language) {
    case AppLanguage::english:
        return "English";
    case AppLanguage::korean:
        return "한국어";
    case AppLanguage::japanese:
        return "日本語";
    case AppLanguage::chineseSimplified:
        return "简体中文";
    case AppLanguage::spanish:
        return "Español";
    }
    return "English";
}

std::optional<AppLanguage> appLanguageFromRawValue(std::string_view raw) {
    for (AppLanguage language : allAppLanguages) {
        if (rawValue(language) == raw) {
            return language;
        }
    }
    return std::nullopt;
}

} // namespace aerivo
