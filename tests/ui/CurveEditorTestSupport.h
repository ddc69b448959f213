#pragma once

#include "app/model/AerivoProfile.h"
#include "app/telemetry/ThermalSample.h"
#include "app/telemetry/ThermalSnapshot.h"
#include "app/ui/CurveGraphView.h"
#include "tests/store/StoreTestSupport.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

#include <memory>
#include <vector>

namespace aerivo {

// A curve graph over a profile, snapshot and samples the test owns, recording every call it makes.
// Point edits are applied the way the store applies them (clamped by the profile).
struct CurveGraphHarness {
    struct PointEdit {
        Uuid id;
        double temperatureC = 0;
        double rpm = 0;
    };

    AerivoProfile profile = AerivoProfile::balanced();
    ThermalSnapshot snapshot = ThermalSnapshot::initial();
    std::vector<ThermalSample> samples;
    AppLanguage language = AppLanguage::english;
    std::vector<AerivoProfile> profileWrites;
    int editingEndedCalls = 0;
    std::vector<PointEdit> pointEdits;
    std::unique_ptr<CurveGraphView> view;

    explicit CurveGraphHarness(QSize size = QSize(900, 560)) {
        view = std::make_unique<CurveGraphView>(
            CurveGraphBinding{[this]() -> const AerivoProfile& { return profile; },
                              [this](const AerivoProfile& written) {
                                  profileWrites.push_back(written);
                                  profile = written;
                              },
                              [this]() -> const ThermalSnapshot& { return snapshot; },
                              [this] { return ThermalSampleSlice(samples); },
                              [this] { return language; }, [this] { ++editingEndedCalls; },
                              [this](const Uuid& id, double temperatureC, double rpm) {
                                  pointEdits.push_back(PointEdit{id, temperatureC, rpm});
                                  profile.updatePoint(id, temperatureC, rpm);
                              }});
        view->resize(size);
    }

    // The balanced profile's points by index, cold to hot.
    const AerivoPoint& point(std::size_t index) const { return profile.points.at(index); }
};

// A store over fakes (one fan of 1200 ... 6200 rpm by default) for the editor's views.
struct EditorStoreHarness : StoreHarness {
    std::unique_ptr<AerivoStore> store;

    explicit EditorStoreHarness(FanHardwareCapabilities capabilities = oneFan(),
                                FanControlMode mode = FanControlMode::system) {
        controller->capabilities = std::move(capabilities);
        store = make(mode);
    }

    // One refresh tick of the store, in virtual time.
    void tick() { loop.advanceBy(MainLoop::Seconds(AerivoStore::snapshotRefreshInterval)); }
    // The profile the store saved last.
    std::optional<AerivoProfile> savedProfile() const {
        return AerivoPreferences(defaults).loadProfile();
    }
    AppLanguage savedLanguage() const { return AerivoPreferences(defaults).loadLanguage(); }
};

inline FanHardwareCapabilities noFan() {
    return FanHardwareCapabilities(0, std::nullopt, std::nullopt, std::nullopt, "No fan", {},
                                   FanHardwareSupportStatus::unsupportedNoFan);
}

// Delivers a mouse event straight to the widget, with the buttons held during it.
inline void sendMouse(QWidget& widget, QEvent::Type type, QPointF position,
                      Qt::MouseButtons held = Qt::LeftButton) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, position, widget.mapToGlobal(position), button, held, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

} // namespace aerivo
