#include "app/ui/QtInstallLocationPrompt.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace aerivo {
namespace {

TEST(QtInstallLocationPrompt, AnswersTheIndexOfTheChosenButtonAndEscapeIsTheLast) {
    const InstallLocationAlert alert{InstallLocationAlert::Style::informational,
                                     "Move Aerivo Mac to Applications?",
                                     "Details.",
                                     {"Move and Relaunch", "Quit"}};
    struct Case {
        int clicked; // -1: Escape
        std::size_t answer;
    };
    for (const Case& c : {Case{0, 0}, Case{1, 1}, Case{-1, 1}}) {
        QString shownTitle;
        QStringList shownButtons;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            shownTitle = box->text();
            for (QAbstractButton* button : box->buttons()) {
                shownButtons.append(button->text());
            }
            if (c.clicked < 0) {
                QTest::keyClick(box, Qt::Key_Escape);
                return;
            }
            for (QAbstractButton* button : box->buttons()) {
                if (button->text().toStdString() ==
                    alert.buttons[static_cast<std::size_t>(c.clicked)]) {
                    button->click();
                }
            }
        });
        QtInstallLocationPrompt prompt;
        EXPECT_EQ(prompt.runModal(alert), c.answer) << c.clicked;
        EXPECT_EQ(shownTitle.toStdString(), alert.messageText);
        EXPECT_EQ(shownButtons.size(), 2);
    }
}

} // namespace
} // namespace aerivo
