#pragma once

#include "app/l10n/AppLanguage.h"
#include "app/l10n/L10nKey.h"

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace aerivo {

// The selectable span of history the curve graph shows. The longest one is also how long the
// store keeps samples.
enum class ThermalHistoryWindow { fiveMinutes, thirtyMinutes, oneHour, twentyFourHours };

inline constexpr std::array<ThermalHistoryWindow, 4> allThermalHistoryWindows{
    ThermalHistoryWindow::fiveMinutes, ThermalHistoryWindow::thirtyMinutes,
    ThermalHistoryWindow::oneHour, ThermalHistoryWindow::twentyFourHours};

// "fiveMinutes", "thirtyMinutes", "oneHour", "twentyFourHours"; also the window's identity.
std::string_view rawValue(ThermalHistoryWindow window);
inline std::string_view id(ThermalHistoryWindow window) {
    return rawValue(window);
}
std::optional<ThermalHistoryWindow> thermalHistoryWindowFromRawValue(std::string_view raw);

// 300, 1800, 3600 or 86400 seconds.
std::chrono::duration<double> duration(ThermalHistoryWindow window);
L10nKey titleKey(ThermalHistoryWindow window);
std::string title(ThermalHistoryWindow window, AppLanguage language);

} // namespace aerivo
