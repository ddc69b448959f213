#include "app/ui/StatusSidebarView.h"

#include "app/l10n/Formatters.h"
#include "app/ui/CurveEditorCard.h"
#include "app/ui/CurveEditorStyle.h"
#include "app/ui/CurveEditorSymbols.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

namespace aerivo {

namespace {

using CurveEditorStyle::TextStyle;
using CurveEditorStyle::Tone;

} // namespace

StatusSidebarView::StatusSidebarView(AerivoStore& store, QWidget* parent)
    : QWidget(parent), store_(store) {
    setFixedWidth(columnWidth);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->viewport()->setAutoFillBackground(false);
    outer->addWidget(scroll);

    auto* content = new QWidget(scroll);
    content->setAutoFillBackground(false);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(18);

    auto* headingRow = new QHBoxLayout();
    headingRow->setSpacing(6);
    auto* symbol = new QLabel(content);
    symbol->setPixmap(CurveEditorSymbols::icon("fan", palette().color(QPalette::WindowText))
                          .pixmap(QSize(16, 16), devicePixelRatioF()));
    headingRow->addWidget(symbol);
    heading_ = CurveEditorStyle::label(content, TextStyle::headline);
    headingRow->addWidget(heading_, 1);
    layout->addLayout(headingRow);

    auto* mode = new QVBoxLayout();
    mode->setSpacing(4);
    modeCaption_ =
        CurveEditorStyle::label(content, TextStyle::caption, QFont::Bold, Tone::secondary);
    modeTitle_ =
        CurveEditorStyle::label(content, TextStyle::title2, QFont::Bold, Tone::primary, true);
    modeDetail_ =
        CurveEditorStyle::label(content, TextStyle::caption, QFont::Normal, Tone::secondary, true);
    mode->addWidget(modeCaption_);
    mode->addWidget(modeTitle_);
    mode->addWidget(modeDetail_);
    layout->addLayout(mode);

    for (Card& card : cards_) {
        auto* panel = new CurveEditorCard(content);
        auto* cardLayout = new QVBoxLayout(panel);
        cardLayout->setContentsMargins(14, 14, 14, 14);
        cardLayout->setSpacing(5);
        card.title =
            CurveEditorStyle::label(panel, TextStyle::caption, QFont::Bold, Tone::secondary, true);
        card.value =
            CurveEditorStyle::label(panel, TextStyle::title2, QFont::Bold, Tone::primary, true);
        card.detail = CurveEditorStyle::label(panel, TextStyle::caption, QFont::Normal,
                                              Tone::secondary, true);
        cardLayout->addWidget(card.title);
        cardLayout->addWidget(card.value);
        cardLayout->addWidget(card.detail);
        layout->addWidget(panel);
    }

    auto* divider = new QFrame(content);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    layout->addWidget(divider);
    layout->addStretch(1);
    safetyNote_ =
        CurveEditorStyle::label(content, TextStyle::caption, QFont::Normal, Tone::secondary, true);
    layout->addWidget(safetyNote_);
    scroll->setWidget(content);

    observation_ = store_.observe([this](AerivoStoreProperty) { refresh(); });
    refresh();
}

void StatusSidebarView::refresh() {
    using CurveEditorStyle::setText;
    setText(heading_, store_.text(L10nKey::aerivoMac));
    setText(modeCaption_, store_.text(L10nKey::mode));
    setText(modeTitle_, store_.effectiveModeTitle());
    setText(modeDetail_, store_.effectiveModeDetail());

    const std::array<std::array<std::string, 3>, 6> texts{{
        {store_.temperatureReadingTitle(), Formatters::temperature(store_.snapshot().temperatureC),
         store_.temperatureDetailText()},
        {store_.fanReadingTitle(), store_.fanReadingValueText(), store_.fanReadingDetailText()},
        {store_.text(L10nKey::curveTarget), store_.curveTargetValueText(),
         store_.curveEffectLabel()},
        {store_.text(L10nKey::activeTarget), store_.activeTargetValueText(),
         store_.effectiveModeDetail()},
        {store_.text(L10nKey::hardwareRange), store_.hardwareRangeText(),
         store_.hardwareDetailText()},
        {store_.writeReadinessTitle(), store_.writeReadinessValueText(),
         store_.writeReadinessDetailText()},
    }};
    for (std::size_t i = 0; i < cards_.size(); ++i) {
        setText(cards_[i].title, texts[i][0]);
        setText(cards_[i].value, texts[i][1]);
        setText(cards_[i].detail, texts[i][2]);
    }
    setText(safetyNote_, store_.text(L10nKey::fanWritesSafetyNote));
}

void StatusSidebarView::paintEvent(QPaintEvent*) {
    // The bar material: the window colour a shade towards the text colour.
    QPainter painter(this);
    const QPalette& colours = palette();
    QColor bar = colours.color(QPalette::Window);
    bar = bar.darker(104);
    painter.fillRect(rect(), bar);
}

} // namespace aerivo
