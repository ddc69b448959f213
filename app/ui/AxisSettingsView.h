#pragma once

#include "app/model/AerivoStore.h"

#include <QUrl>
#include <QWidget>

#include <array>
#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;

namespace aerivo {

class CurveEditorButton;
class CurveEditorStepper;
class ToggleSwitch;

// The editor's right column: every setting, in six sections (app, language, presets,
// temperature axis, fan-speed axis, write actions). It holds no state: values, texts, visibility
// and enabled states are re-read from the store on each of its notifications, and every control
// writes through one of the store's actions. Scrolls when the window is too low for it.
class AxisSettingsView final : public QWidget {
public:
    static constexpr int columnWidth = 280;

    struct StepperRange {
        double lower;
        double upper;
        double step;
    };
    static constexpr StepperRange temperatureMinimumRange{20, 90, 1};
    static constexpr StepperRange temperatureMaximumRange{40, 115, 1};
    static constexpr StepperRange rpmMinimumRange{800, 4000, 100};
    static constexpr StepperRange rpmMaximumRange{3000, 8000, 100};

    // The controls, for the window's owner and for tests.
    struct Controls {
        // The six section headers, in order; the last heads the write actions.
        std::array<QLabel*, 6> sectionHeaders{};
        QWidget* writeSection = nullptr;
        ToggleSwitch* launchAtLogin = nullptr;
        QLabel* launchAtLoginStatus = nullptr;
        CurveEditorButton* checkForUpdates = nullptr;
        QLabel* updateStatus = nullptr;
        CurveEditorButton* openUpdatePage = nullptr;
        QLabel* languageTitle = nullptr;
        QComboBox* language = nullptr;
        std::vector<CurveEditorButton*> presets;
        CurveEditorStepper* temperatureMinimum = nullptr;
        CurveEditorStepper* temperatureMaximum = nullptr;
        CurveEditorStepper* safetyLimit = nullptr;
        ToggleSwitch* fanOffEnabled = nullptr;
        CurveEditorStepper* fanOffThreshold = nullptr;
        QLabel* detectedRangeTitle = nullptr;
        QLabel* detectedRangeValue = nullptr;
        QLabel* hardwareDetail = nullptr;
        QWidget* detectionActions = nullptr;
        CurveEditorButton* detectAgain = nullptr;
        CurveEditorButton* adminDetect = nullptr;
        CurveEditorButton* useHardwareRange = nullptr;
        CurveEditorStepper* rpmMinimum = nullptr;
        CurveEditorStepper* rpmMaximum = nullptr;
        CurveEditorButton* installHelper = nullptr;
        CurveEditorButton* resetToSystem = nullptr;
        CurveEditorButton* testCurveTarget = nullptr;
        CurveEditorButton* showWriteRequirements = nullptr;
    };

    using URLOpener = std::function<void(const QUrl&)>;

    explicit AxisSettingsView(AerivoStore& store, QWidget* parent = nullptr);

    // How the release page is opened; by default in the desktop's browser.
    void setURLOpener(URLOpener opener) { openURL_ = std::move(opener); }
    // Re-reads everything from the store.
    void refresh();
    const Controls& controls() const { return controls_; }

protected:
    // Appearing refreshes the login-item status once.
    void showEvent(QShowEvent* event) override;

private:
    void build();

    AerivoStore& store_;
    URLOpener openURL_;
    AerivoStoreObservation observation_;
    Controls controls_;
    // The symbol the install button shows now (it follows the helper's state).
    std::string installIcon_;
    bool refreshing_ = false;
};

} // namespace aerivo
