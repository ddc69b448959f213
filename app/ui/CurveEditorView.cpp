#include "app/ui/CurveEditorView.h"

#include "app/telemetry/ThermalHistoryWindow.h"
#include "app/ui/AxisSettingsView.h"
#include "app/ui/CurveEditorButton.h"
#include "app/ui/CurveEditorCard.h"
#include "app/ui/CurveEditorStyle.h"
#include "app/ui/CurveEditorSymbols.h"
#include "app/ui/CurveGraphView.h"
#include "app/ui/StatusSidebarView.h"
#include "app/ui/StorePresentation.h"
#include "app/ui/ToggleSwitch.h"

#include <QButtonGroup>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

namespace aerivo {

namespace {

using CurveEditorStyle::TextStyle;
using CurveEditorStyle::Tone;

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Plain);
    return line;
}

void setTitle(QAbstractButton* button, const std::string& text) {
    const QString shown = QString::fromStdString(text);
    if (button->text() != shown) {
        button->setText(shown);
    }
}

} // namespace

CurveEditorView::CurveEditorView(AerivoStore& store, QWidget* parent)
    : QWidget(parent), store_(store) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    controls_.sidebar = new StatusSidebarView(store_, this);
    row->addWidget(controls_.sidebar);
    row->addWidget(divider(this));
    row->addWidget(buildCentre(), 1);
    row->addWidget(divider(this));
    controls_.settings = new AxisSettingsView(store_, this);
    row->addWidget(controls_.settings);

    observation_ = store_.observe([this](AerivoStoreProperty) { refresh(); });
    refresh();
}

QWidget* CurveEditorView::buildCentre() {
    auto* centre = new QWidget(this);
    auto* column = new QVBoxLayout(centre);
    column->setContentsMargins(centrePadding, centrePadding, centrePadding, centrePadding);
    column->setSpacing(centreSpacing);
    Controls& c = controls_;

    auto* header = new QHBoxLayout();
    auto* heading = new QVBoxLayout();
    heading->setSpacing(6);
    c.title = CurveEditorStyle::label(centre, TextStyle::largeTitle, QFont::Bold);
    heading->addWidget(c.title);
    c.subtitle =
        CurveEditorStyle::label(centre, TextStyle::callout, QFont::Normal, Tone::secondary, true);
    heading->addWidget(c.subtitle);
    header->addLayout(heading, 1);
    header->addSpacing(16);
    auto* picker = new QHBoxLayout();
    picker->setSpacing(10);
    c.thermalWindowTitle =
        CurveEditorStyle::label(centre, TextStyle::caption, QFont::DemiBold, Tone::secondary);
    picker->addWidget(c.thermalWindowTitle);
    auto* segments = new QWidget(centre);
    segments->setFixedWidth(windowPickerWidth);
    auto* segmentRow = new QHBoxLayout(segments);
    segmentRow->setContentsMargins(0, 0, 0, 0);
    segmentRow->setSpacing(0);
    auto* group = new QButtonGroup(segments);
    group->setExclusive(true);
    for (std::size_t i = 0; i < allThermalHistoryWindows.size(); ++i) {
        auto* segment = new QToolButton(segments);
        segment->setCheckable(true);
        segment->setFocusPolicy(Qt::StrongFocus);
        segment->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        group->addButton(segment, static_cast<int>(i));
        segmentRow->addWidget(segment);
        c.windowSegments[i] = segment;
    }
    connect(group, &QButtonGroup::idClicked, this, [this](int id) {
        store_.setThermalHistoryWindow(allThermalHistoryWindows[static_cast<std::size_t>(id)]);
    });
    picker->addWidget(segments);
    header->addLayout(picker);
    header->setAlignment(picker, Qt::AlignTop);
    column->addLayout(header);

    auto* card = new CurveEditorCard(centre);
    auto* cardLayout = new QVBoxLayout(card);
    cardLayout->setContentsMargins(graphPadding, graphPadding, graphPadding, graphPadding);
    c.graph = new CurveGraphView(
        CurveGraphBinding{[this]() -> const AerivoProfile& { return store_.profile(); },
                          [this](const AerivoProfile& profile) { store_.setProfile(profile); },
                          [this]() -> const ThermalSnapshot& { return store_.snapshot(); },
                          [this] { return store_.visibleThermalSamples(); },
                          [this] { return store_.language(); },
                          [this] { store_.curveProfileDidChange(); },
                          [this](const Uuid& id, double temperatureC, double rpm) {
                              store_.updatePoint(id, temperatureC, rpm);
                          }},
        card);
    cardLayout->addWidget(c.graph);
    column->addWidget(card, 1);

    auto* controls = new QHBoxLayout();
    const QColor symbolColor = palette().color(QPalette::ButtonText);
    c.addPoint = new CurveEditorButton(centre);
    c.addPoint->setIcon(CurveEditorSymbols::icon("plus", symbolColor));
    connect(c.addPoint, &QAbstractButton::clicked, this, [this] { store_.addPoint(); });
    controls->addWidget(c.addPoint);
    c.removePoint = new CurveEditorButton(centre);
    c.removePoint->setIcon(CurveEditorSymbols::icon("minus", symbolColor));
    connect(c.removePoint, &QAbstractButton::clicked, this, [this] { store_.removePoint(); });
    controls->addWidget(c.removePoint);
    controls->addStretch(1);
    c.curveSwitch = new ToggleSwitch(centre);
    connect(c.curveSwitch, &QAbstractButton::clicked, this,
            [this](bool on) { store_.setCurveEnabled(on); });
    controls->addWidget(c.curveSwitch);
    column->addLayout(controls);
    return centre;
}

void CurveEditorView::refresh() {
    Controls& c = controls_;
    CurveEditorStyle::setText(c.title, store_.text(L10nKey::curveEditor));
    CurveEditorStyle::setText(c.subtitle, store_.text(L10nKey::curveEditorSubtitle));
    CurveEditorStyle::setText(c.thermalWindowTitle, store_.text(L10nKey::thermalWindow));
    for (std::size_t i = 0; i < allThermalHistoryWindows.size(); ++i) {
        const ThermalHistoryWindow window = allThermalHistoryWindows[i];
        setTitle(c.windowSegments[i], title(window, store_.language()));
        c.windowSegments[i]->setChecked(window == store_.thermalHistoryWindow());
    }
    c.graph->refresh();
    setTitle(c.addPoint, store_.text(L10nKey::addPoint));
    setTitle(c.removePoint, store_.text(L10nKey::removePoint));
    c.removePoint->setEnabled(store_.profile().points.size() >= 3);
    const StorePresentation::CurveSwitchState curveSwitch =
        StorePresentation::curveSwitchState(store_);
    setTitle(c.curveSwitch, curveSwitch.title);
    c.curveSwitch->setChecked(curveSwitch.isOn);
    c.curveSwitch->setEnabled(curveSwitch.isEnabled);
}

} // namespace aerivo
