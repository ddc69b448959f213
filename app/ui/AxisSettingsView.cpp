#include "app/ui/AxisSettingsView.h"

#include "app/l10n/Formatters.h"
#include "app/model/CurvePreset.h"
#include "app/ui/CurveEditorButton.h"
#include "app/ui/CurveEditorCard.h"
#include "app/ui/CurveEditorStepper.h"
#include "app/ui/CurveEditorStyle.h"
#include "app/ui/CurveEditorSymbols.h"
#include "app/ui/StorePresentation.h"
#include "app/ui/ToggleSwitch.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace aerivo {

namespace {

using CurveEditorStyle::TextStyle;
using CurveEditorStyle::Tone;

QString qtText(const std::string& text) {
    return QString::fromStdString(text);
}

void setTitle(QAbstractButton* button, const std::string& text) {
    const QString shown = qtText(text);
    if (button->text() != shown) {
        button->setText(shown);
        button->updateGeometry();
    }
}

// One section: its header above a rounded card whose layout the caller fills.
struct Section {
    QWidget* container;
    QLabel* header;
    QVBoxLayout* rows;
};

Section addSection(QWidget* parent, QVBoxLayout* column) {
    auto* container = new QWidget(parent);
    auto* layout = new QVBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    QLabel* header =
        CurveEditorStyle::label(container, TextStyle::caption, QFont::DemiBold, Tone::secondary);
    header->setContentsMargins(4, 0, 0, 0);
    layout->addWidget(header);
    auto* card = new CurveEditorCard(container);
    auto* rows = new QVBoxLayout(card);
    rows->setContentsMargins(10, 10, 10, 10);
    rows->setSpacing(8);
    layout->addWidget(card);
    column->addWidget(container);
    return Section{container, header, rows};
}

CurveEditorButton* addButton(QWidget* parent, QLayout* layout, std::string_view symbol,
                             std::function<void()> action) {
    auto* button = new CurveEditorButton(parent);
    if (!symbol.empty()) {
        button->setIcon(
            CurveEditorSymbols::icon(symbol, parent->palette().color(QPalette::ButtonText)));
    }
    QObject::connect(button, &QAbstractButton::clicked, parent, std::move(action));
    layout->addWidget(button);
    return button;
}

} // namespace

AxisSettingsView::AxisSettingsView(AerivoStore& store, QWidget* parent)
    : QWidget(parent), store_(store),
      openURL_([](const QUrl& url) { QDesktopServices::openUrl(url); }) {
    setFixedWidth(columnWidth);
    build();
    observation_ = store_.observe([this](AerivoStoreProperty) { refresh(); });
    refresh();
}

void AxisSettingsView::build() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFocusPolicy(Qt::NoFocus);
    outer->addWidget(scroll);
    auto* content = new QWidget(scroll);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(8, 12, 8, 12);
    column->setSpacing(16);
    Controls& c = controls_;

    // App: login item, update check, release page.
    Section app = addSection(content, column);
    c.sectionHeaders[0] = app.header;
    c.launchAtLogin = new ToggleSwitch(content);
    connect(c.launchAtLogin, &QAbstractButton::clicked, this,
            [this](bool on) { store_.setLaunchAtLoginEnabled(on); });
    app.rows->addWidget(c.launchAtLogin);
    c.launchAtLoginStatus =
        CurveEditorStyle::label(content, TextStyle::caption, QFont::Normal, Tone::secondary, true);
    app.rows->addWidget(c.launchAtLoginStatus);
    c.checkForUpdates = addButton(content, app.rows, "arrow.triangle.2.circlepath",
                                  [this] { store_.checkForUpdates(); });
    c.updateStatus =
        CurveEditorStyle::label(content, TextStyle::caption, QFont::Normal, Tone::secondary, true);
    app.rows->addWidget(c.updateStatus);
    c.openUpdatePage = addButton(content, app.rows, "safari", [this] {
        if (const std::optional<std::string> url = store_.updateReleaseURL(); url && openURL_) {
            openURL_(QUrl(qtText(*url)));
        }
    });

    // Language.
    Section language = addSection(content, column);
    c.sectionHeaders[1] = language.header;
    auto* languageRow = new QHBoxLayout();
    c.languageTitle = CurveEditorStyle::label(content, TextStyle::body);
    languageRow->addWidget(c.languageTitle);
    languageRow->addStretch(1);
    c.language = new QComboBox(content);
    for (const AppLanguage entry : allAppLanguages) {
        c.language->addItem(qtText(std::string(nativeName(entry))));
    }
    connect(c.language, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!refreshing_ && index >= 0 && index < static_cast<int>(allAppLanguages.size())) {
            store_.setLanguage(allAppLanguages[static_cast<std::size_t>(index)]);
        }
    });
    languageRow->addWidget(c.language);
    language.rows->addLayout(languageRow);

    // Presets, titled with their names.
    Section presets = addSection(content, column);
    c.sectionHeaders[2] = presets.header;
    auto* presetRow = new QHBoxLayout();
    presetRow->setSpacing(6);
    for (const CurvePreset preset : allCurvePresets) {
        CurveEditorButton* button =
            addButton(content, presetRow, {}, [this, preset] { store_.setPreset(preset); });
        button->setText(qtText(std::string(rawValue(preset))));
        c.presets.push_back(button);
    }
    presetRow->addStretch(1);
    presets.rows->addLayout(presetRow);

    // Temperature axis, safety limit and fan-off range.
    Section temperature = addSection(content, column);
    c.sectionHeaders[3] = temperature.header;
    const auto addStepper = [content](QVBoxLayout* rows, std::function<void(double)> onChange) {
        auto* stepper = new CurveEditorStepper(content);
        stepper->setOnChange(std::move(onChange));
        rows->addWidget(stepper);
        return stepper;
    };
    c.temperatureMinimum = addStepper(temperature.rows, [this](double value) {
        store_.updateTemperatureAxis(value, std::nullopt);
    });
    c.temperatureMaximum = addStepper(temperature.rows, [this](double value) {
        store_.updateTemperatureAxis(std::nullopt, value);
    });
    c.safetyLimit =
        addStepper(temperature.rows, [this](double value) { store_.updateSafetyLimit(value); });
    c.fanOffEnabled = new ToggleSwitch(content);
    connect(c.fanOffEnabled, &QAbstractButton::clicked, this,
            [this](bool on) { store_.updateFanOffThresholdEnabled(on); });
    temperature.rows->addWidget(c.fanOffEnabled);
    c.fanOffThreshold =
        addStepper(temperature.rows, [this](double value) { store_.updateFanOffThreshold(value); });

    // Fan-speed axis and hardware detection.
    Section speed = addSection(content, column);
    c.sectionHeaders[4] = speed.header;
    auto* rangeRow = new QHBoxLayout();
    // A long range ("1000 RPM - 6000 RPM aggregate") wraps on the right rather than widening
    // the column.
    c.detectedRangeTitle =
        CurveEditorStyle::label(content, TextStyle::body, QFont::Normal, Tone::primary, true);
    rangeRow->addWidget(c.detectedRangeTitle, 0, Qt::AlignTop);
    c.detectedRangeValue =
        CurveEditorStyle::label(content, TextStyle::body, QFont::Normal, Tone::primary, true);
    c.detectedRangeValue->setAlignment(Qt::AlignRight | Qt::AlignTop);
    rangeRow->addWidget(c.detectedRangeValue, 1);
    speed.rows->addLayout(rangeRow);
    c.hardwareDetail =
        CurveEditorStyle::label(content, TextStyle::caption, QFont::Normal, Tone::secondary, true);
    speed.rows->addWidget(c.hardwareDetail);
    c.detectionActions = new QWidget(content);
    auto* detection = new QVBoxLayout(c.detectionActions);
    detection->setContentsMargins(0, 0, 0, 0);
    detection->setSpacing(8);
    c.detectAgain = addButton(c.detectionActions, detection, "arrow.clockwise",
                              [this] { store_.refreshHardwareCapabilities(false); });
    c.adminDetect = addButton(c.detectionActions, detection, "lock.open",
                              [this] { store_.refreshHardwareCapabilitiesAsAdmin(true); });
    c.useHardwareRange = addButton(c.detectionActions, detection, "gauge",
                                   [this] { store_.applyDetectedHardwareRange(); });
    for (CurveEditorButton* small : {c.detectAgain, c.adminDetect, c.useHardwareRange}) {
        small->setFont(CurveEditorStyle::font(TextStyle::caption));
    }
    speed.rows->addWidget(c.detectionActions);
    c.rpmMinimum =
        addStepper(speed.rows, [this](double value) { store_.updateRPMAxis(value, std::nullopt); });
    c.rpmMaximum =
        addStepper(speed.rows, [this](double value) { store_.updateRPMAxis(std::nullopt, value); });

    // Write actions, each behind its own flag and the whole section behind one more.
    Section write = addSection(content, column);
    c.sectionHeaders[5] = write.header;
    c.writeSection = write.container;
    c.installHelper =
        addButton(content, write.rows, {}, [this] { store_.installPrivilegedHelper(); });
    c.resetToSystem = addButton(content, write.rows, {}, [this] { store_.resetToSystem(); });
    c.testCurveTarget =
        addButton(content, write.rows, "fan.fill", [this] { store_.applyCurveTargetLease(); });
    c.showWriteRequirements =
        addButton(content, write.rows, "lock.shield", [this] { store_.showWriteRequirements(); });

    column->addStretch(1);
    scroll->setWidget(content);
}

void AxisSettingsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    store_.refreshLaunchAtLoginStatus();
}

void AxisSettingsView::refresh() {
    refreshing_ = true;
    using CurveEditorStyle::setText;
    Controls& c = controls_;
    const AerivoProfile& profile = store_.profile();
    const auto text = [this](L10nKey key) { return store_.text(key); };

    constexpr std::array<L10nKey, 5> headers{L10nKey::appSettings, L10nKey::language,
                                             L10nKey::presets, L10nKey::temperatureAxis,
                                             L10nKey::fanSpeedAxis};
    for (std::size_t i = 0; i < headers.size(); ++i) {
        setText(c.sectionHeaders[i], text(headers[i]));
    }
    setText(c.sectionHeaders[5], store_.writeReadinessTitle());

    setTitle(c.launchAtLogin, text(L10nKey::launchAtLogin));
    c.launchAtLogin->setChecked(store_.launchAtLoginEnabled());
    const std::optional<std::string> loginStatus = store_.launchAtLoginStatusText();
    setText(c.launchAtLoginStatus, loginStatus.value_or(""));
    c.launchAtLoginStatus->setVisible(loginStatus.has_value());
    setTitle(c.checkForUpdates, text(store_.isCheckingForUpdates() ? L10nKey::checkingForUpdates
                                                                   : L10nKey::checkForUpdates));
    c.checkForUpdates->setEnabled(!store_.isCheckingForUpdates());
    const std::optional<std::string> updateStatus = store_.updateStatusText();
    setText(c.updateStatus, updateStatus.value_or(""));
    c.updateStatus->setVisible(updateStatus.has_value());
    setTitle(c.openUpdatePage, text(L10nKey::openUpdatePage));
    c.openUpdatePage->setVisible(store_.updateReleaseURL().has_value());

    setText(c.languageTitle, text(L10nKey::language));
    const auto languageIndex = static_cast<int>(
        std::find(allAppLanguages.begin(), allAppLanguages.end(), store_.language()) -
        allAppLanguages.begin());
    c.language->setCurrentIndex(languageIndex);

    const AerivoAxis& temperature = profile.temperatureAxis;
    c.temperatureMinimum->setTitle(qtText(text(L10nKey::minimum)));
    c.temperatureMinimum->display(
        temperature.minimum, qtText(Formatters::temperature(temperature.minimum)),
        temperatureMinimumRange.lower, temperatureMinimumRange.upper, temperatureMinimumRange.step);
    c.temperatureMaximum->setTitle(qtText(text(L10nKey::maximum)));
    c.temperatureMaximum->display(
        temperature.maximum, qtText(Formatters::temperature(temperature.maximum)),
        temperatureMaximumRange.lower, temperatureMaximumRange.upper, temperatureMaximumRange.step);
    c.safetyLimit->setTitle(qtText(text(L10nKey::safetyLimit)));
    c.safetyLimit->display(profile.safetyLimitC,
                           qtText(Formatters::temperature(profile.safetyLimitC)),
                           temperature.minimum, temperature.maximum, 1);
    setTitle(c.fanOffEnabled, text(L10nKey::fanOffEnabled));
    c.fanOffEnabled->setChecked(profile.isFanOffThresholdEnabled);
    const ClosedRange fanOff = profile.fanOffBounds();
    c.fanOffThreshold->setTitle(qtText(text(L10nKey::fanOffBelow)));
    c.fanOffThreshold->display(profile.fanOffThresholdC,
                               qtText(Formatters::temperature(profile.fanOffThresholdC)),
                               fanOff.lower, fanOff.upper, 1);
    c.fanOffThreshold->setVisible(profile.isFanOffThresholdEnabled);

    setText(c.detectedRangeTitle, text(L10nKey::detectedRange));
    setText(c.detectedRangeValue, store_.hardwareRangeText());
    setText(c.hardwareDetail, store_.hardwareDetailText());
    const bool detection = store_.shouldShowHardwareDetectionActions();
    c.detectAgain->setVisible(detection);
    c.adminDetect->setVisible(detection && store_.shouldShowAdminHardwareDetectionAction());
    c.useHardwareRange->setVisible(store_.shouldShowUseHardwareRangeAction());
    c.detectionActions->setVisible(detection || store_.shouldShowUseHardwareRangeAction());
    setTitle(c.detectAgain, text(L10nKey::detectAgain));
    setTitle(c.adminDetect, text(L10nKey::readOnlyAdminDetect));
    setTitle(c.useHardwareRange, text(L10nKey::useHardwareRange));
    const AerivoAxis& rpm = profile.rpmAxis;
    const bool unsupported = store_.hardwareCapabilities().isUnsupported();
    c.rpmMinimum->setTitle(qtText(text(L10nKey::minimum)));
    c.rpmMinimum->display(rpm.minimum, qtText(Formatters::rpm(rpm.minimum)), rpmMinimumRange.lower,
                          rpmMinimumRange.upper, rpmMinimumRange.step);
    c.rpmMaximum->setTitle(qtText(text(L10nKey::maximum)));
    c.rpmMaximum->display(rpm.maximum, qtText(Formatters::rpm(rpm.maximum)), rpmMaximumRange.lower,
                          rpmMaximumRange.upper, rpmMaximumRange.step);
    c.rpmMinimum->setEnabled(!unsupported);
    c.rpmMaximum->setEnabled(!unsupported);

    c.writeSection->setVisible(store_.shouldShowWriteActions());
    using StorePresentation::helperActionTitle;
    setTitle(c.installHelper, helperActionTitle(store_, HelperActivity::installingHelper,
                                                store_.helperInstallActionTitle()));
    if (const std::string_view icon = store_.helperInstallActionIcon(); icon != installIcon_) {
        installIcon_ = icon;
        c.installHelper->setIcon(
            CurveEditorSymbols::icon(icon, palette().color(QPalette::ButtonText)));
    }
    c.installHelper->setVisible(StorePresentation::shouldShowHelperInstallAction(store_));
    setTitle(c.resetToSystem, helperActionTitle(store_, HelperActivity::resettingToSystem,
                                                text(L10nKey::resetToSystem)));
    c.resetToSystem->setVisible(store_.shouldShowResetToSystemAction());
    setTitle(c.testCurveTarget, helperActionTitle(store_, HelperActivity::testingCurveTarget,
                                                  text(L10nKey::testCurveTarget)));
    c.testCurveTarget->setVisible(store_.shouldShowCurveTargetTestAction());
    setTitle(c.showWriteRequirements, helperActionTitle(store_, HelperActivity::checkingHelper,
                                                        text(L10nKey::showWriteRequirements)));
    // While the helper works for the user, the actions that would queue more wait.
    for (CurveEditorButton* button :
         {c.installHelper, c.resetToSystem, c.testCurveTarget, c.showWriteRequirements}) {
        button->setEnabled(!store_.isHelperBusy());
    }
    c.showWriteRequirements->setVisible(store_.shouldShowWriteRequirementsAction());
    refreshing_ = false;
}

} // namespace aerivo
