#pragma once

#include "app/model/AerivoStore.h"

#include <QWidget>

#include <array>

class QLabel;

namespace aerivo {

// The editor's left column: the app's name, the mode in force and six status cards
// (temperature, fan, curve target, active target, hardware range, write path), with the safety
// note at the foot. Holds no state: every text is the store's, re-read on each of its
// notifications. Scrolls when the window is too low for all the cards.
class StatusSidebarView final : public QWidget {
public:
    static constexpr int columnWidth = 250;

    struct Card {
        QLabel* title = nullptr;
        QLabel* value = nullptr;
        QLabel* detail = nullptr;
    };

    explicit StatusSidebarView(AerivoStore& store, QWidget* parent = nullptr);

    // Re-reads every text from the store.
    void refresh();

    QLabel* heading() const { return heading_; }
    QLabel* modeCaption() const { return modeCaption_; }
    QLabel* modeTitle() const { return modeTitle_; }
    QLabel* modeDetail() const { return modeDetail_; }
    const std::array<Card, 6>& cards() const { return cards_; }
    QLabel* safetyNote() const { return safetyNote_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    AerivoStore& store_;
    AerivoStoreObservation observation_;
    QLabel* heading_ = nullptr;
    QLabel* modeCaption_ = nullptr;
    QLabel* modeTitle_ = nullptr;
    QLabel* modeDetail_ = nullptr;
    std::array<Card, 6> cards_{};
    QLabel* safetyNote_ = nullptr;
};

} // namespace aerivo
