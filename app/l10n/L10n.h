#pragma once

#include "app/l10n/AppLanguage.h"
#include "app/l10n/L10nKey.h"

#include <array>
#include <concepts>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The in-program translation table: every user-visible text of the panel, the curve editor and
// the settings, in each interface language. Nothing here uses the platform's localization
// resources.
namespace aerivo::L10n {

using LanguageTable = std::map<L10nKey, std::string>;
using Translations = std::map<AppLanguage, LanguageTable>;

// All five languages, each mapping every key. Built once on first use (thread-safe), immutable
// afterwards, so lookups may run on any thread.
const Translations& translations();

// The key's text in `language`; when that table lacks the key, the English text; when English
// lacks it too, the key's raw value. Never empty for a key that has a text.
std::string text(L10nKey key, AppLanguage language);
// The same lookup over a given table (the fallbacks are only reachable with a partial table).
std::string text(const Translations& table, L10nKey key, AppLanguage language);

// Fills the "%@" placeholders of `format` with `arguments`, in order, in one pass (an argument
// that itself contains "%@" is copied as is). "%%" gives one "%". Defined results for
// malformed input, never a read past the arguments:
// - a placeholder with no argument left stays "%@" in the result;
// - a "%" followed by anything else, or ending the text, is copied unchanged;
// - arguments left over after the last placeholder are ignored.
std::string formatText(std::string_view format, std::span<const std::string_view> arguments);

// `text(key, language)` with its placeholders filled by `arguments`. The arguments are already
// formatted strings, so the language's locale changes nothing in the result.
std::string formatArguments(L10nKey key, AppLanguage language,
                            std::span<const std::string_view> arguments);
std::string format(L10nKey key, AppLanguage language, const std::vector<std::string>& arguments);

template <typename... Arguments>
requires(std::convertible_to<const Arguments&, std::string_view>&&...) std::string
    format(L10nKey key, AppLanguage language, const Arguments&... arguments) {
    const std::array<std::string_view, sizeof...(Arguments)> list{std::string_view(arguments)...};
    return formatArguments(key, language, list);
}

} // namespace aerivo::L10n
