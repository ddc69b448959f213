#include "app/telemetry/ThermalHistoryWindow.h"

#include "app/l10n/L10n.h"

namespace aerivo {

std::string_view rawValue(ThermalHistoryWindow window) {
    switch (window) {
    case ThermalHistoryWindow::fiveMinutes:
        return "fiveMinutes";
    case ThermalHistoryWindow::thirtyMinutes:
        return "thirtyMinutes";
    case ThermalHistoryWindow::oneHour:
        return "oneHour";
    case ThermalHistoryWindow::twentyFourHours:
        return "twentyFourHours";
    }
    return "thirtyMinutes";
}

std::optional<ThermalHistoryWindow> thermalHistoryWindowFromRawValue(std::string_view raw) {
    for (ThermalHistoryWindow window : allThermalHistoryWindows) {
        if (rawValue(window) == raw) {
            return window;
        }
    }
    return std::nullopt;
}

std::chrono::duration<double> duration(ThermalHistoryWindow window) {
    switch (window) {
    case ThermalHistoryWindow::fiveMinutes:
        return std::chrono::duration<double>(300.0);
    case ThermalHistoryWindow::thirtyMinutes:
        return std::chrono::duration<double>(1800.0);
    case ThermalHistoryWindow::oneHour:
        return std::chrono::duration<double>(3600.0);
    case ThermalHistoryWindow::twentyFourHours:
        return std::chrono::duration<double>(86400.0);
    }
    return std::chrono::duration<double>(1800.0);
}

L10nKey titleKey(ThermalHistoryWindow window) {
    switch (window) {
    case ThermalHistoryWindow::fiveMinutes:
        return L10nKey::last5Minutes;
    case ThermalHistoryWindow::thirtyMinutes:
        return L10nKey::last30Minutes;
    case ThermalHistoryWindow::oneHour:
        return L10nKey::last1Hour;
    case ThermalHistoryWindow::twentyFourHours:
        return L10nKey::last24Hours;
    }
    return L10nKey::last30Minutes;
}

std::string title(ThermalHistoryWindow window, AppLanguage language) {
    return L10n::text(titleKey(window), language);
}

} // namespace aerivo
