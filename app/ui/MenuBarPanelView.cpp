#include "app/ui/MenuBarPanelView.h"

#include "app/ui/ModeBadge.h"
#include "app/ui/ModeTint.h"
#include "app/ui/SymbolIcons.h"
#include "app/ui/ToggleSwitch.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace aerivo {

namespace {

QString qt(const std::string& text) {
    return QString::fromStdString(text);
}

// The Mac's text styles are given in points against a 13-point body; the same ratios are kept
// against this desktop's application font.
QFont textStyle(double macPoints, QFont::Weight weight) {
    QFont font = QApplication::font();
    const double scale = macPoints / 13.0;
    if (font.pointSizeF() > 0) {
        font.setPointSizeF(font.pointSizeF() * scale);
    } else {
        font.setPixelSize(std::max(1, static_cast<int>(font.pixelSize() * scale + 0.5)));
    }
    font.setWeight(weight);
    return font;
}

QFont headlineFont() {
    return textStyle(13, QFont::DemiBold);
}
QFont captionFont(QFont::Weight weight = QFont::Normal) {
    return textStyle(12, weight);
}
QFont caption2Font(QFont::Weight weight) {
    return textStyle(11, weight);
}
QFont title3Font() {
    return textStyle(20, QFont::Bold);
}

void setTextColor(QWidget& widget, const QColor& color) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::ButtonText, color);
    widget.setPalette(palette);
}

// A button keeps its whole text where it can: a title too long for the panel (some languages run
// long) is set one text style smaller, and only what still does not fit is elided, with the whole
// title as its tooltip.
void setButtonTitle(QPushButton& button, const QString& title, int width) {
    button.setFont(QApplication::font());
    button.setText(title);
    button.setToolTip(QString());
    if (button.sizeHint().width() <= width) {
        return;
    }
    button.setFont(captionFont());
    if (button.sizeHint().width() <= width) {
        return;
    }
    const int overflow = button.sizeHint().width() - width;
    const QFontMetrics metrics(button.font());
    button.setText(
        metrics.elidedText(title, Qt::ElideRight, metrics.horizontalAdvance(title) - overflow));
    button.setToolTip(title);
}

QPushButton* addButton(QVBoxLayout& layout, QWidget* parent, const std::function<void()>& action) {
    auto* button = new QPushButton(parent);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    QObject::connect(button, &QPushButton::clicked, parent, [action] {
        if (action) {
            action();
        }
    });
    layout.addWidget(button);
    return button;
}

} // namespace

MenuBarPanelView::MenuBarPanelView(MenuBarPanelActions actions, QWidget* parent)
    : QWidget(parent), actions_(std::move(actions)) {
    setFixedWidth(panelWidth);
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(18, 18, 18, 18);
    rows->setSpacing(16);

    // 1. Header.
    auto* header = new QHBoxLayout;
    header->setSpacing(6);
    symbol_ = new QLabel(this);
    title_ = new QLabel(this);
    title_->setFont(headlineFont());
    modeBadge_ = new ModeBadge(this);
    modeBadge_->setFont(captionFont(QFont::DemiBold));
    header->addWidget(symbol_);
    header->addWidget(title_);
    header->addStretch(1);
    header->addWidget(modeBadge_);
    rows->addLayout(header);

    // 2. Figures and the curve-effect caption.
    auto* figures = new QVBoxLayout;
    figures->setSpacing(8);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(8);
    temperature_ = addFigure(*grid, 0, 0);
    fan_ = addFigure(*grid, 0, 1);
    curve_ = addFigure(*grid, 1, 0);
    limit_ = addFigure(*grid, 1, 1);
    figures->addLayout(grid);
    effectCaption_ = new QLabel(this);
    effectCaption_->setFont(captionFont(QFont::DemiBold));
    effectCaption_->setWordWrap(true);
    figures->addWidget(effectCaption_);
    rows->addLayout(figures);

    // 3. The curve switch. The store decides: after the action the switch shows the store's
    // answer again (turning curve control on without a fan leaves it off).
    curveSwitch_ = new ToggleSwitch(this);
    connect(curveSwitch_, &ToggleSwitch::clicked, this, [this](bool checked) {
        if (actions_.setCurveEnabled) {
            actions_.setCurveEnabled(checked);
        }
        curveSwitch_->setChecked(state_.isCurveEnabled);
    });
    rows->addWidget(curveSwitch_);

    // 4. Range, 5. divider.
    range_ = new QLabel(this);
    range_->setFont(captionFont());
    range_->setWordWrap(true);
    rows->addWidget(range_);
    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    rows->addWidget(divider);

    // 6.-10. Buttons.
    editorButton_ = addButton(*rows, this, [this] {
        if (actions_.openEditor) {
            actions_.openEditor();
        }
    });
    editorButton_->setDefault(true);
    editorButton_->setMinimumHeight(30);
    resetButton_ = addButton(*rows, this, [this] {
        if (actions_.resetToSystem) {
            actions_.resetToSystem();
        }
    });
    helperButton_ = addButton(*rows, this, [this] {
        if (actions_.installPrivilegedHelper) {
            actions_.installPrivilegedHelper();
        }
    });
    testButton_ = addButton(*rows, this, [this] {
        if (actions_.applyCurveTargetLease) {
            actions_.applyCurveTargetLease();
        }
    });
    quitButton_ = addButton(*rows, this, [this] {
        if (actions_.quit) {
            actions_.quit();
        }
    });
    quitButton_->setFlat(true);
    rows->addStretch(1);

    render(state_);
}

MenuBarPanelView::Figure MenuBarPanelView::addFigure(QGridLayout& grid, int row, int column) {
    auto* stack = new QVBoxLayout;
    stack->setSpacing(3);
    Figure figure{new QLabel(this), new QLabel(this)};
    figure.title->setFont(caption2Font(QFont::Bold));
    figure.value->setFont(title3Font());
    stack->addWidget(figure.title);
    stack->addWidget(figure.value);
    grid.addLayout(stack, row, column, Qt::AlignLeft | Qt::AlignTop);
    grid.setColumnStretch(column, 1);
    return figure;
}

void MenuBarPanelView::render(const MenuBarPanelState& state) {
    state_ = state;
    title_->setText(qt(state.title));
    temperature_.title->setText(qt(state.temperatureTitle));
    temperature_.value->setText(qt(state.temperatureValue));
    fan_.title->setText(qt(state.fanTitle));
    fan_.value->setText(qt(state.fanValue));
    curve_.title->setText(qt(state.curveTitle));
    curve_.value->setText(qt(state.curveValue));
    limit_.title->setText(qt(state.limitTitle));
    limit_.value->setText(qt(state.limitValue));
    effectCaption_->setText(qt(state.effectCaption));

    curveSwitch_->setText(qt(state.curveSwitchTitle));
    curveSwitch_->setChecked(state.isCurveEnabled);
    curveSwitch_->setEnabled(state.canSwitchCurve);
    range_->setText(qt(state.rangeText));

    applyColors();
    const int contentWidth = panelWidth - contentsMargins().left() - contentsMargins().right() -
                             layout()->contentsMargins().left() -
                             layout()->contentsMargins().right();
    setButtonTitle(*editorButton_, qt(state.openEditorTitle), contentWidth);
    setButtonTitle(*resetButton_, qt(state.resetTitle.value_or("")), contentWidth);
    resetButton_->setVisible(state.resetTitle.has_value());
    for (QPushButton* button : {resetButton_, helperButton_, testButton_}) {
        button->setEnabled(!state.isHelperBusy);
    }
    setButtonTitle(*helperButton_, qt(state.helperTitle.value_or("")), contentWidth);
    helperButton_->setVisible(state.helperTitle.has_value());
    setButtonTitle(*testButton_, qt(state.testTitle.value_or("")), contentWidth);
    testButton_->setVisible(state.testTitle.has_value());
    setButtonTitle(*quitButton_, qt(state.quitTitle), contentWidth);

    // The rows that appear or disappear change the panel's height; it never gets shorter than
    // its design height.
    layout()->activate();
    const int height = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(panelWidth)
                                                     : layout()->totalSizeHint().height();
    setFixedHeight(std::max(panelMinimumHeight, height));
}

void MenuBarPanelView::applyColors() {
    const QPalette& colors = palette();
    const QColor secondary = secondaryTextColor(colors);
    const QColor text = colors.color(QPalette::WindowText);
    symbol_->setPixmap(symbolIcon(Symbol::fan, text).pixmap(QSize(16, 16)));
    modeBadge_->setBadge(qt(state_.modeTitle), modeTint(state_.effectiveMode, colors));
    for (const Figure* figure : {&temperature_, &fan_, &curve_, &limit_}) {
        setTextColor(*figure->title, secondary);
    }
    setTextColor(*effectCaption_, state_.effectSlowsDown ? orangeColor() : tealColor());
    setTextColor(*range_, secondary);
    setTextColor(*quitButton_, secondary);
    editorButton_->setIcon(symbolIcon(Symbol::sliders, text));
    const std::optional<Symbol> helperSymbol = symbolNamed(state_.helperSymbolName);
    helperButton_->setIcon(symbolIcon(helperSymbol.value_or(Symbol::key), text));
    testButton_->setIcon(symbolIcon(Symbol::fanFill, text));
}

void MenuBarPanelView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) {
        // Colours derive from the palette; setting them does not change the palette of this
        // widget itself, so this cannot recurse.
        applyColors();
    }
}

QStringList MenuBarPanelView::visibleTexts() const {
    QStringList texts;
    const auto add = [&](const QWidget& widget, const QString& text) {
        if (widget.isVisibleTo(this) && !text.isEmpty()) {
            texts.append(text);
        }
    };
    add(*title_, title_->text());
    add(*modeBadge_, modeBadge_->title());
    for (const Figure* figure : {&temperature_, &fan_, &curve_, &limit_}) {
        add(*figure->title, figure->title->text());
        add(*figure->value, figure->value->text());
    }
    add(*effectCaption_, effectCaption_->text());
    add(*curveSwitch_, curveSwitch_->text());
    add(*range_, range_->text());
    for (const QPushButton* button :
         {editorButton_, resetButton_, helperButton_, testButton_, quitButton_}) {
        add(*button, button->text());
    }
    return texts;
}

} // namespace aerivo
