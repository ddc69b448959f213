#include "app/hardware/SMCFanHardwareController.h"
#include "app/l10n/Formatters.h"
#include "app/ui/AxisSettingsView.h"
#include "app/ui/ContentView.h"
#include "app/ui/CurveEditorButton.h"
#include "app/ui/CurveEditorStepper.h"
#include "app/ui/CurveEditorView.h"
#include "app/ui/StatusSidebarView.h"
#include "app/ui/ToggleSwitch.h"
#include "sim/model/SimModelPreset.h"
#include "tests/support/SimulatedMacHIDEventSystem.h"
#include "tests/support/SimulatedMacIOKit.h"
#include "tests/ui/CurveEditorTestSupport.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QTest>
#include <QToolButton>

#include <string>
#include <variant>

namespace aerivo {
namespace {

std::string shown(const QLabel* label) {
    return label->text().toStdString();
}
std::string shown(const QAbstractButton* button) {
    return button->text().toStdString();
}

TEST(ContentViewTest, TheLanguagePickerRelabelsEverySectionAtOnce) {
    EditorStoreHarness harness;
    ContentView content(*harness.store);
    const CurveEditorView::Controls& editor = content.editor().controls();
    const AxisSettingsView::Controls& settings = editor.settings->controls();
    const StatusSidebarView& sidebar = *editor.sidebar;
    EXPECT_EQ(content.minimumSize(), QSize(1180, 760));

    for (std::size_t index = allAppLanguages.size(); index-- > 0;) {
        const AppLanguage language = allAppLanguages[index];
        settings.language->setCurrentIndex(static_cast<int>(index));
        ASSERT_EQ(harness.store->language(), language);
        const auto text = [language](L10nKey key) { return L10n::text(key, language); };
        const std::pair<std::string, std::string> expectations[] = {
            {shown(editor.title), text(L10nKey::curveEditor)},
            {shown(editor.subtitle), text(L10nKey::curveEditorSubtitle)},
            {shown(editor.thermalWindowTitle), text(L10nKey::thermalWindow)},
            {shown(editor.windowSegments[2]), text(L10nKey::last1Hour)},
            {shown(editor.addPoint), text(L10nKey::addPoint)},
            {shown(editor.removePoint), text(L10nKey::removePoint)},
            {shown(editor.curveSwitch), text(L10nKey::controlWithCurve)},
            {shown(sidebar.heading()), text(L10nKey::aerivoMac)},
            {shown(sidebar.modeCaption()), text(L10nKey::mode)},
            {shown(sidebar.modeTitle()), text(L10nKey::systemMode)},
            {shown(sidebar.cards()[2].title), text(L10nKey::curveTarget)},
            {shown(sidebar.cards()[3].title), text(L10nKey::activeTarget)},
            {shown(sidebar.cards()[4].title), text(L10nKey::hardwareRange)},
            {shown(sidebar.cards()[5].title), text(L10nKey::writePath)},
            {shown(sidebar.safetyNote()), text(L10nKey::fanWritesSafetyNote)},
            {shown(settings.sectionHeaders[0]), text(L10nKey::appSettings)},
            {shown(settings.sectionHeaders[1]), text(L10nKey::language)},
            {shown(settings.sectionHeaders[2]), text(L10nKey::presets)},
            {shown(settings.sectionHeaders[3]), text(L10nKey::temperatureAxis)},
            {shown(settings.sectionHeaders[4]), text(L10nKey::fanSpeedAxis)},
            {shown(settings.sectionHeaders[5]), text(L10nKey::writePath)},
            {shown(settings.launchAtLogin), text(L10nKey::launchAtLogin)},
            {shown(settings.checkForUpdates), text(L10nKey::checkForUpdates)},
            {shown(settings.languageTitle), text(L10nKey::language)},
            {shown(settings.safetyLimit->titleLabel()), text(L10nKey::safetyLimit)},
            {shown(settings.fanOffEnabled), text(L10nKey::fanOffEnabled)},
            {shown(settings.detectedRangeTitle), text(L10nKey::detectedRange)},
            {shown(settings.rpmMaximum->titleLabel()), text(L10nKey::maximum)},
            {shown(settings.showWriteRequirements), text(L10nKey::showWriteRequirements)},
        };
        for (const auto& [actual, expected] : expectations) {
            EXPECT_EQ(actual, expected) << rawValue(language);
        }
        EXPECT_EQ(harness.savedLanguage(), language);
    }
}

TEST(ContentViewTest, SidebarCardsShowTheStoresReadingsAndFollowEachRefresh) {
    EditorStoreHarness harness;
    StatusSidebarView sidebar(*harness.store);
    const AerivoStore& store = *harness.store;
    for (const double temperature : {50.0, 71.0}) {
        harness.controller->temperatureC = temperature;
        harness.tick();
        const std::array<std::array<std::string, 3>, 6> expected{{
            {store.temperatureReadingTitle(), Formatters::temperature(temperature),
             store.temperatureDetailText()},
            {store.fanReadingTitle(), store.fanReadingValueText(), store.fanReadingDetailText()},
            {store.text(L10nKey::curveTarget), store.curveTargetValueText(),
             store.curveEffectLabel()},
            {store.text(L10nKey::activeTarget), store.activeTargetValueText(),
             store.effectiveModeDetail()},
            {store.text(L10nKey::hardwareRange), store.hardwareRangeText(),
             store.hardwareDetailText()},
            {store.writeReadinessTitle(), store.writeReadinessValueText(),
             store.writeReadinessDetailText()},
        }};
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const StatusSidebarView::Card& card = sidebar.cards()[i];
            EXPECT_EQ(shown(card.title), expected[i][0]) << i;
            EXPECT_EQ(shown(card.value), expected[i][1]) << i;
            EXPECT_EQ(shown(card.detail), expected[i][2]) << i;
        }
        EXPECT_EQ(shown(sidebar.modeTitle()), store.effectiveModeTitle());
    }
}

// The app on the in-process simulated two-fan laptop: a working half hour of changing load,
// recorded by the store, so the distribution under the curve has a shape.
struct SimulatedMacEditor {
    SimulatedMac machine;
    testing::SimulatedMacIOKit port;
    testing::SimulatedMacHIDEventSystem hid;
    StoreHarness harness;
    std::unique_ptr<AerivoStore> store;

    static SimWorkload workingHalfHour() {
        std::string script;
        const int watts[] = {6, 14, 22, 9, 30, 18, 12, 26, 8, 20, 16, 33, 11, 24, 7, 19, 28, 13};
        for (std::size_t i = 0; i < std::size(watts); ++i) {
            script += std::to_string(i * 100) + " " + std::to_string(watts[i]) + "\n";
        }
        return std::get<SimWorkload>(SimWorkload::parseScript(script));
    }

    SimulatedMacEditor()
        : machine(*simModelPreset("laptop-2fan"), 7, workingHalfHour()),
          port(machine, "app", false), hid(machine) {
        AerivoStoreCollaborators collaborators = harness.collaborators();
        collaborators.controller = std::make_shared<SMCFanHardwareController>(
            port, hid, nullptr, nullptr, [this] { return harness.loop.now(); });
        ThermalSnapshot start = ThermalSnapshot::initial();
        start.updatedAt = harness.loop.now();
        store = std::make_unique<AerivoStore>(
            harness.loop, std::move(collaborators), AerivoPreferences(harness.defaults),
            AerivoProfile::balanced(), start, FanControlMode::system, true, harness.leaseQueue);
    }

    void run(double seconds) {
        for (double elapsed = 0; elapsed < seconds;
             elapsed += AerivoStore::snapshotRefreshInterval) {
            machine.advanceTo(machine.now() + AerivoStore::snapshotRefreshInterval);
            harness.loop.advanceBy(MainLoop::Seconds(AerivoStore::snapshotRefreshInterval));
        }
    }
};

// Runs the layout passes a change of texts or size starts (a scroll bar that appears narrows
// its column and starts another).
void settleLayouts() {
    for (int pass = 0; pass < 4; ++pass) {
        QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QApplication::processEvents();
    }
}

// Texts a widget cannot show in full at its present size.
std::vector<std::string> clippedTexts(const QWidget& root) {
    std::vector<std::string> clipped;
    const auto check = [&](const QWidget* widget, const QString& text, int needed, int has) {
        if (!text.isEmpty() && needed > has + 1) {
            clipped.push_back(widget->metaObject()->className() + std::string(": ") +
                              text.toStdString() + " " + std::to_string(needed) + ">" +
                              std::to_string(has) + " w" + std::to_string(widget->width()));
        }
    };
    for (const QLabel* label : root.findChildren<QLabel*>()) {
        if (!label->isVisibleTo(&root) || label->text().isEmpty()) {
            continue;
        }
        const QRect area = label->contentsRect();
        if (label->wordWrap()) {
            check(label, label->text(), label->heightForWidth(label->width()), label->height());
        } else {
            check(label, label->text(), label->fontMetrics().horizontalAdvance(label->text()),
                  area.width());
        }
    }
    for (const QAbstractButton* button : root.findChildren<QAbstractButton*>()) {
        if (!button->isVisibleTo(&root)) {
            continue;
        }
        if (button->hasHeightForWidth()) {
            check(button, button->text(), button->heightForWidth(button->width()),
                  button->height());
        } else {
            check(button, button->text(), button->sizeHint().width(), button->width());
        }
    }
    return clipped;
}

TEST(ContentViewTest, EveryLanguageFitsTheWindowWithoutClippedText) {
    SimulatedMacEditor app;
    app.run(30 * 60);
    ASSERT_GT(app.store->visibleThermalSamples().size(), 800u);
    ContentView content(*app.store);
    content.resize(1280, 820);
    content.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&content));
    const QString screenshots = qEnvironmentVariable("AERIVO_SCREENSHOT_DIR");

    for (const AppLanguage language : allAppLanguages) {
        app.store->setLanguage(language);
        for (const QSize size : {QSize(1180, 760), QSize(1280, 820)}) {
            content.resize(size);
            settleLayouts();
            EXPECT_EQ(clippedTexts(content), std::vector<std::string>())
                << rawValue(language) << " " << size.width();
        }
        EXPECT_GE(content.editor().controls().graph->height(), 360);
        if (!screenshots.isEmpty()) {
            const QString file =
                QDir(screenshots)
                    .filePath(
                        QString("editor-%1.png").arg(QString::fromUtf8(rawValue(language).data())));
            EXPECT_TRUE(content.grab().save(file)) << file.toStdString();
        }
    }
}

} // namespace
} // namespace aerivo
