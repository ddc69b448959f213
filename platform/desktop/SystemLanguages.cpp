#include "platform/desktop/SystemLanguages.h"

#include <cstdlib>

namespace aerivo {

std::optional<std::string> languageTagFromPosixLocale(std::string_view locale) {
    // language[_territory][.codeset][@modifier]
    const std::size_t end = locale.find_first_of(".@");
    std::string tag(locale.substr(0, end));
    if (tag.empty() || tag == "C" || tag == "POSIX") {
        return std::nullopt;
    }
    for (char& character : tag) {
        if (character == '_') {
            character = '-';
        }
    }
    return tag;
}

std::vector<std::string> preferredLanguagesFromEnvironment(const EnvironmentLookup& lookup) {
    std::vector<std::string> languages;
    const auto add = [&](std::string_view locale) {
        if (auto tag = languageTagFromPosixLocale(locale)) {
            languages.push_back(std::move(*tag));
        }
    };
    if (const auto list = lookup("LANGUAGE")) {
        std::string_view rest = *list;
        while (true) {
            const std::size_t colon = rest.find(':');
            add(rest.substr(0, colon));
            if (colon == std::string_view::npos) {
                break;
            }
            rest.remove_prefix(colon + 1);
        }
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const auto locale = lookup(name)) {
            add(*locale);
        }
    }
    return languages;
}

std::vector<std::string> systemPreferredLanguages() {
    return preferredLanguagesFromEnvironment(
        [](std::string_view name) -> std::optional<std::string> {
            const std::string key(name);
            const char* value = std::getenv(key.c_str());
            if (value == nullptr) {
                return std::nullopt;
            }
            return std::string(value);
        });
}

} // namespace aerivo
