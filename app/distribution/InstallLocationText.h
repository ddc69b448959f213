#pragma once

#include "app/l10n/AppLanguage.h"

#include <array>
#include <string_view>

namespace aerivo {

// The install-location guard's own texts. They have their own small table because the guard runs
// before any preference is read, in the system's language.
enum class InstallLocationText {
    title,
    message,
    moveButton,
    quitButton,
    failureTitle,
    failureMessage
};

inline constexpr std::array<InstallLocationText, 6> allInstallLocationTexts{
    InstallLocationText::title,        InstallLocationText::message,
    InstallLocationText::moveButton,   InstallLocationText::quitButton,
    InstallLocationText::failureTitle, InstallLocationText::failureMessage};

// The text in `language`. failureMessage holds one "%@" for the error's description.
std::string_view localized(InstallLocationText text, AppLanguage language);

} // namespace aerivo
