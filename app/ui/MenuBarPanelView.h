#pragma once

#include "app/ui/MenuBarPanelState.h"

#include <QWidget>

class QGridLayout;
class QLabel;
class QPushButton;

namespace aerivo {

class ModeBadge;
class ToggleSwitch;

// The menu-bar panel's content, 300 points wide and at least 430 high, top to bottom: the header
// with the mode badge, the four figures and the curve-effect caption, the curve switch, the range
// line, a divider, the editor button, the reset / helper / test buttons while the store offers
// them, and Quit. It holds no state of its own: render() shows a reading of the store, and every
// control calls one of the actions.
class MenuBarPanelView final : public QWidget {
public:
    static constexpr int panelWidth = 300;
    static constexpr int panelMinimumHeight = 430;

    explicit MenuBarPanelView(MenuBarPanelActions actions, QWidget* parent = nullptr);

    void render(const MenuBarPanelState& state);
    const MenuBarPanelState& state() const { return state_; }

    ModeBadge& modeBadge() const { return *modeBadge_; }
    QLabel& effectCaption() const { return *effectCaption_; }
    ToggleSwitch& curveSwitch() const { return *curveSwitch_; }
    QPushButton& editorButton() const { return *editorButton_; }
    QPushButton& resetButton() const { return *resetButton_; }
    QPushButton& helperButton() const { return *helperButton_; }
    QPushButton& testButton() const { return *testButton_; }
    QPushButton& quitButton() const { return *quitButton_; }

    // The texts on screen, top to bottom (hidden rows left out).
    QStringList visibleTexts() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    struct Figure {
        QLabel* title = nullptr;
        QLabel* value = nullptr;
    };

    Figure addFigure(QGridLayout& grid, int row, int column);
    void applyColors();

    MenuBarPanelActions actions_;
    MenuBarPanelState state_;
    QLabel* symbol_ = nullptr;
    QLabel* title_ = nullptr;
    ModeBadge* modeBadge_ = nullptr;
    Figure temperature_;
    Figure fan_;
    Figure curve_;
    Figure limit_;
    QLabel* effectCaption_ = nullptr;
    ToggleSwitch* curveSwitch_ = nullptr;
    QLabel* range_ = nullptr;
    QPushButton* editorButton_ = nullptr;
    QPushButton* resetButton_ = nullptr;
    QPushButton* helperButton_ = nullptr;
    QPushButton* testButton_ = nullptr;
    QPushButton* quitButton_ = nullptr;
};

} // namespace aerivo
