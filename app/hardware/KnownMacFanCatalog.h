#pragma once

#include "app/hardware/FanHardwareCapabilities.h"
#include "app/hardware/MacHardwareModel.h"

#include <optional>
#include <string_view>

namespace aerivo {

// Built-in knowledge of models whose fan range the SMC does not report, or which are fanless.
struct KnownMacFanCatalog {
    static constexpr std::string_view fanlessSource =
        "MacBook Air models are treated as fanless and unsupported.";
    static constexpr std::string_view presetSource = "Mac17,2 built-in fan preset";

    // MacBook Air: no fan, unsupportedNoFan. "Mac17,2": one fan, 2500-6550 rpm. Else nothing.
    static std::optional<FanHardwareCapabilities>
    fallbackCapabilities(const MacHardwareModel& model);

    // The identifier starts with "MacBookAir" (exact case), or the product name contains
    // "MacBook Air" in any letter case.
    static bool isUnsupportedAir(const MacHardwareModel& model);

    // Whether `text` (UTF-8) contains `asciiNeedle` ignoring letter case. Both sides are
    // compared code point by code point after Unicode simple case folding; the only code points
    // outside ASCII that fold onto ASCII letters are U+017F LATIN SMALL LETTER LONG S (to "s")
    // and U+212A KELVIN SIGN (to "k"), so "MACBOO\u212A AIR" matches. Not covered, as no
    // locale-independent folding covers them: Turkish dotted/dotless i rules, compatibility
    // forms (full-width letters) and canonical equivalence (a letter followed by a combining
    // mark still matches its bare letter). Invalid bytes match nothing.
    static bool containsIgnoringCase(std::string_view text, std::string_view asciiNeedle);
};

} // namespace aerivo
