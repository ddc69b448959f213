#pragma once

#include "app/ui/StatusBarController.h"
#include "tests/store/StoreTestSupport.h"

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QWidget>

#include <memory>

namespace aerivo {

inline FanHardwareCapabilities noFan() {
    return FanHardwareCapabilities(0, std::nullopt, std::nullopt, std::nullopt, "No fan", {},
                                   FanHardwareSupportStatus::unsupportedNoFan);
}

// A store over fakes with one fan of 1200–6200 rpm whose actual speed the test sets.
struct UiHarness : StoreHarness {
    double actualRPM = 3000.0;

    explicit UiHarness(FanHardwareCapabilities capabilities = StoreHarness::oneFan(3000.0)) {
        controller->capabilities = std::move(capabilities);
        controller->nextSnapshot = [this] {
            return ThermalSnapshot{
                controller->temperatureC, actualRPM, actualRPM, "PMU tdie1", true, loop.now()};
        };
    }

    // Runs one refresh tick of the store.
    void tick() { loop.advanceBy(MainLoop::Seconds(AerivoStore::snapshotRefreshInterval)); }
};

// The colour the widget shows at `point` (its own coordinates), drawn with its window.
inline QColor shownColor(const QWidget& widget, QPoint point) {
    QWidget* window = widget.window();
    const QImage image = window->grab().toImage();
    return image.pixelColor(widget.mapTo(window, point) * image.devicePixelRatio());
}

inline bool nearlyEqual(const QColor& a, const QColor& b, int tolerance = 3) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

// `over` at `opacity` on `under`.
inline QColor blended(const QColor& under, const QColor& over, double opacity) {
    const auto mix = [&](int a, int b) {
        return static_cast<int>(a * (1 - opacity) + b * opacity + 0.5);
    };
    return QColor(mix(under.red(), over.red()), mix(under.green(), over.green()),
                  mix(under.blue(), over.blue()));
}

} // namespace aerivo
