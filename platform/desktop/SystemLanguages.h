#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// Reads one environment variable; none when it is unset.
using EnvironmentLookup = std::function<std::optional<std::string>(std::string_view name)>;

// The user's preferred languages, most preferred first, as language tags ("ja-JP", "zh-CN",
// "en"). They come from LANGUAGE (a colon-separated list), then LC_ALL, LC_MESSAGES and LANG,
// each POSIX locale name turned into a tag; "C", "POSIX" and empty entries are left out, so
// the list may be empty. Read afresh on every call.
std::vector<std::string> systemPreferredLanguages();
std::vector<std::string> preferredLanguagesFromEnvironment(const EnvironmentLookup& lookup);

// "ja_JP.UTF-8" gives "ja-JP", "sr_RS@latin" gives "sr-RS", "zh_TW" gives "zh-TW": the codeset
// and modifier are dropped and "_" becomes "-". A name that is already a tag is kept as it
// is. "C" and "POSIX" (with or without a codeset) and empty names give none.
std::optional<std::string> languageTagFromPosixLocale(std::string_view locale);

} // namespace aerivo
