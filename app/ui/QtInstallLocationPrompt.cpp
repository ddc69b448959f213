#include "app/ui/QtInstallLocationPrompt.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include <vector>

namespace aerivo {

QtInstallLocationPrompt::QtInstallLocationPrompt(std::function<void(int)> activate)
    : activate_(std::move(activate)) {}

std::size_t QtInstallLocationPrompt::runModal(const InstallLocationAlert& alert) {
    QMessageBox box(alert.style == InstallLocationAlert::Style::warning ? QMessageBox::Warning
                                                                        : QMessageBox::Information,
                    QStringLiteral("Aerivo Mac"), QString::fromStdString(alert.messageText));
    box.setInformativeText(QString::fromStdString(alert.informativeText));
    // The app has no window of its own yet: the alert must not hide behind others.
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    std::vector<QPushButton*> buttons;
    for (const std::string& title : alert.buttons) {
        buttons.push_back(box.addButton(QString::fromStdString(title), QMessageBox::AcceptRole));
    }
    if (!buttons.empty()) {
        box.setDefaultButton(buttons.front());
        box.setEscapeButton(buttons.back());
    }
    box.raise();
    box.activateWindow();
    box.exec();
    for (std::size_t index = 0; index < buttons.size(); ++index) {
        if (box.clickedButton() == buttons[index]) {
            return index;
        }
    }
    return buttons.empty() ? 0 : buttons.size() - 1;
}

void QtInstallLocationPrompt::activateApplication(int processIdentifier) {
    if (activate_) {
        activate_(processIdentifier);
    }
}

void QtInstallLocationPrompt::showFolder(const std::filesystem::path& folder) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder.string())));
}

void QtInstallLocationPrompt::terminateApplication() {
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                              Qt::QueuedConnection);
}

} // namespace aerivo
