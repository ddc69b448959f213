#include "app/l10n/AppLanguage.h"

#include "platform/desktop/SystemLanguages.h"

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

namespace {

std::optional<AppLanguage> languageForTag(std::string_view tag) {
    if (tag.starts_with("ko")) {
        return AppLanguage::korean;
    }
    if (tag.starts_with("ja")) {
        return AppLanguage::japanese;
    }
    if (tag.starts_with("zh-Hans") || tag.starts_with("zh-CN")) {
        return AppLanguage::chineseSimplified;
    }
    if (tag.starts_with("es")) {
        return AppLanguage::spanish;
    }
    if (tag.starts_with("en")) {
        return AppLanguage::english;
    }
    return std::nullopt;
}

} // namespace

AppLanguage preferredAppLanguage(const std::vector<std::string>& preferredLanguages) {
    for (const std::string& tag : preferredLanguages) {
        if (const auto language = languageForTag(tag)) {
            return *language;
        }
    }
    return AppLanguage::english;
}

AppLanguage preferredAppLanguage() {
    return preferredAppLanguage(systemPreferredLanguages());
}

} // namespace aerivo
