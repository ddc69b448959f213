#include "app/ui/StatusBarController.h"

#include "app/l10n/L10n.h"
#include "app/ui/ContentView.h"
#include "app/ui/MenuBarPanelView.h"
#include "app/ui/StatusItemImage.h"
#include "app/ui/StorePresentation.h"
#include "app/ui/SymbolIcons.h"
#include "app/ui/ToggleSwitch.h"
#include "app/ui/UiTrace.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QWidget>

#include <algorithm>
#include <cstdio>

namespace aerivo {

namespace {

const QString applicationName = QStringLiteral("Aerivo Mac");

QRect availableGeometryAt(const QPoint& point) {
    QScreen* screen = QGuiApplication::screenAt(point);
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    return screen ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
}

std::string rectText(const QRect& rect) {
    return std::to_string(rect.x()) + "," + std::to_string(rect.y()) + "," +
           std::to_string(rect.width()) + "," + std::to_string(rect.height());
}

// Traces the panel's closing, and quits when the panel's own window is closed on a desktop without
// a tray: with no icon to reach it, a hidden application would only be found again by starting it a
// second time.
class PanelCloseWatcher final : public QObject {
public:
    PanelCloseWatcher(std::function<bool()> shouldQuit, std::function<void()> quit, QObject* parent)
        : QObject(parent), shouldQuit_(std::move(shouldQuit)), quit_(std::move(quit)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Hide) {
            uiTrace("panel hidden");
        }
        if (event->type() == QEvent::Close && shouldQuit_() && quit_) {
            quit_();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<bool()> shouldQuit_;
    std::function<void()> quit_;
};

} // namespace

StatusBarController::StatusBarController(AerivoStore& store, Hooks hooks)
    : store_(store), hooks_(std::move(hooks)), statusItem_(std::make_unique<QSystemTrayIcon>()),
      statusItemMenu_(std::make_unique<QMenu>()) {
    if (!hooks_.isTrayAvailable) {
        hooks_.isTrayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    }

    // The status item: tooltip, a click toggles the panel, the context menu has About and Quit.
    statusItem_->setToolTip(applicationName);
    aboutAction_ = statusItemMenu_->addAction(QString());
    quitAction_ = statusItemMenu_->addAction(QString());
    localizeStatusItemMenu();
    QObject::connect(aboutAction_, &QAction::triggered, [this] {
        if (hooks_.showAbout) {
            hooks_.showAbout();
        }
    });
    QObject::connect(quitAction_, &QAction::triggered, [this] {
        if (hooks_.quit) {
            hooks_.quit();
        }
    });
    QObject::connect(statusItemMenu_.get(), &QMenu::aboutToShow,
                     [this] { localizeStatusItemMenu(); });
    statusItem_->setContextMenu(statusItemMenu_.get());
    QObject::connect(statusItem_.get(), &QSystemTrayIcon::activated,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         if (reason == QSystemTrayIcon::Trigger) {
                             togglePopover();
                         }
                     });

    // The panel.
    panel_ = std::make_unique<MenuBarPanelView>(StorePresentation::menuBarPanelActions(
        store_, [this] { showEditorWindow(); },
        [this] {
            if (hooks_.quit) {
                hooks_.quit();
            }
        }));
    panel_->setWindowTitle(applicationName);
    panel_->setAttribute(Qt::WA_QuitOnClose, false);
    panel_->addAction(aboutAction_);
    panel_->setContextMenuPolicy(Qt::ActionsContextMenu);
    panel_->installEventFilter(new PanelCloseWatcher(
        [this] { return panelInWindow_ && !trayAvailable(); }, hooks_.quit, panel_.get()));

    // The store: every change redraws an open panel; snapshots, capabilities and the language
    // change the status text.
    observation_ = store_.observe([this](AerivoStoreProperty property) {
        if (property == AerivoStoreProperty::snapshot ||
            property == AerivoStoreProperty::hardwareCapabilities ||
            property == AerivoStoreProperty::language) {
            updateStatusItem();
        }
        if (property == AerivoStoreProperty::mode) {
            uiTrace(std::string("mode=") + std::string(rawValue(store_.mode())));
        }
        if (panel_->isVisible()) {
            renderPanel();
        }
    });

    updateStatusItem();
    statusItem_->show();
    if (!trayAvailable()) {
        std::fprintf(stderr, "AerivoMac: this desktop has no system tray; the panel opens in a "
                             "window instead.\n");
        announcedNoTray_ = true;
        showPanel();
    }
}

StatusBarController::~StatusBarController() {
    observation_.cancel();
    statusItem_->hide();
}

void StatusBarController::localizeStatusItemMenu() {
    aboutAction_->setText(
        QString::fromStdString(L10n::text(L10nKey::aboutAerivoMac, store_.language())));
    quitAction_->setText(
        QString::fromStdString(L10n::text(L10nKey::quitAerivoMac, store_.language())));
}

bool StatusBarController::trayAvailable() const {
    return hooks_.isTrayAvailable();
}

void StatusBarController::updateStatusItem() {
    const QString text = QString::fromStdString(StorePresentation::menuBarStatusText(store_));
    if (text == statusText_ && !statusItem_->icon().isNull()) {
        // Nothing to draw. (Asking the tray for its geometry here would cost an X round trip on
        // every refresh, and with it a wakeup of the whole application.)
        fitTrayWindow();
        return;
    }
    const QRect trayGeometry = statusItem_->geometry();
    statusText_ = text;
    statusItemWidth_ = aerivo::statusItemWidth(text);
    statusItemHeight_ = trayGeometry.height() > 0 ? trayGeometry.height() : defaultStatusItemHeight;
    statusItem_->setIcon(QIcon(renderStatusItemImage(
        text, statusItemWidth_, statusItemHeight_,
        QApplication::palette().color(QPalette::WindowText), qApp->devicePixelRatio())));
    uiTrace("statusItem text=" + text.toStdString() + " width=" + std::to_string(statusItemWidth_));
    fitTrayWindow();
}

void StatusBarController::fitTrayWindow() const {
    // An XEmbed tray gives every icon a square of its height unless the icon's window asks for
    // more; Qt's icon window there is the top-level widget named "QSystemTrayIconSys". Other
    // trays (status notifier items) have no such widget and scale the picture themselves.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("QSystemTrayIconSys") &&
            widget->size() != QSize(statusItemWidth_, statusItemHeight_)) {
            widget->setFixedSize(statusItemWidth_, statusItemHeight_);
        }
    }
}

void StatusBarController::renderPanel() {
    panel_->render(StorePresentation::menuBarPanelState(store_));
}

void StatusBarController::togglePopover() {
    if (panel_->isVisible()) {
        panel_->close();
        return;
    }
    showPanel();
}

void StatusBarController::showPanel() {
    renderPanel();
    const bool inWindow = !trayAvailable();
    if (inWindow != panelInWindow_ || !panel_->windowHandle()) {
        panel_->setWindowFlags(inWindow ? Qt::Window : Qt::Popup | Qt::FramelessWindowHint);
        panelInWindow_ = inWindow;
    }
    // The click on the icon that closes the popup must not reach the icon again and reopen it.
    panel_->setAttribute(Qt::WA_NoMouseReplay, !inWindow);
    if (!inWindow) {
        const QRect icon = statusItem_->geometry();
        const QPoint cursor = QCursor::pos();
        const QPoint anchor = icon.isEmpty() ? cursor : icon.center();
        panel_->move(panelPosition(icon, cursor, panel_->size(), availableGeometryAt(anchor)));
    }
    panel_->show();
    panel_->raise();
    panel_->activateWindow();
    if (isUiTraceEnabled()) {
        // A hidden button has no place: "0,0,0,0".
        const auto globalRect = [](const QWidget& widget) {
            return rectText(widget.isVisible()
                                ? QRect(widget.mapToGlobal(QPoint(0, 0)), widget.size())
                                : QRect());
        };
        uiTrace("panel shown window=" + std::string(inWindow ? "normal" : "popup") + " geometry=" +
                rectText(panel_->geometry()) + " switch=" + globalRect(panel_->curveSwitch()) +
                " helper=" + globalRect(panel_->helperButton()) + " test=" +
                globalRect(panel_->testButton()) + " quit=" + globalRect(panel_->quitButton()));
    }
}

void StatusBarController::bringPanelForward() {
    if (panel_->isVisible()) {
        panel_->raise();
        panel_->activateWindow();
        return;
    }
    showPanel();
}

void StatusBarController::showEditorWindow() {
    if (!editorWindow_) {
        editorWindow_ = std::make_unique<QMainWindow>();
        editorWindow_->setWindowTitle(QStringLiteral("Curve Editor"));
        editorWindow_->setAttribute(Qt::WA_QuitOnClose, false);
        editorWindow_->setMinimumSize(editorWindowMinimumSize);
        editorWindow_->resize(editorWindowDefaultSize);
        editorWindow_->setCentralWidget(new ContentView(store_));
        const QRect available = availableGeometryAt(QCursor::pos());
        QRect frame(QPoint(0, 0), editorWindowDefaultSize);
        frame.moveCenter(available.center());
        editorWindow_->move(frame.topLeft());
    }
    panel_->close();
    editorWindow_->show();
    editorWindow_->raise();
    editorWindow_->activateWindow();
}

QPoint StatusBarController::panelPosition(const QRect& iconGeometry, const QPoint& cursor,
                                          const QSize& panelSize, const QRect& available) {
    const QRect anchor = iconGeometry.isEmpty() ? QRect(cursor, QSize(1, 1)) : iconGeometry;
    int x = anchor.center().x() - panelSize.width() / 2;
    int y = anchor.bottom() + 1;
    if (y + panelSize.height() > available.bottom() + 1) {
        y = anchor.top() - panelSize.height();
    }
    x = std::clamp(x, available.left(),
                   std::max(available.left(), available.right() + 1 - panelSize.width()));
    y = std::clamp(y, available.top(),
                   std::max(available.top(), available.bottom() + 1 - panelSize.height()));
    return {x, y};
}

} // namespace aerivo
