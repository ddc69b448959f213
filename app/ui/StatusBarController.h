#pragma once

#include "app/model/AerivoStore.h"
#include "app/model/AerivoStoreObservation.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QMainWindow;
class QMenu;
class QSystemTrayIcon;

namespace aerivo {

class MenuBarPanelView;

// Owns the tray icon, the menu-bar panel and the curve editor window for the life of the
// process. The icon shows the fan symbol with the store's status text beside it and follows
// every snapshot and capabilities change; a click toggles the panel, a frameless popup below the
// icon that closes on a click elsewhere. On a desktop without a tray the same panel opens as a
// small normal window, and closing it quits while there is still no tray. Main thread only.
class StatusBarController {
public:
    static constexpr QSize editorWindowDefaultSize{1280, 820};
    static constexpr QSize editorWindowMinimumSize{1180, 760};
    static constexpr int defaultStatusItemHeight = 22;

    struct Hooks {
        std::function<void()> quit;
        std::function<void()> showAbout;
        // Whether the desktop has a system tray now (QSystemTrayIcon::isSystemTrayAvailable).
        std::function<bool()> isTrayAvailable;
    };

    StatusBarController(AerivoStore& store, Hooks hooks);
    ~StatusBarController();

    StatusBarController(const StatusBarController&) = delete;
    StatusBarController& operator=(const StatusBarController&) = delete;

    // Re-reads the status text; redraws the icon (at the tray's height) only when it changed.
    void updateStatusItem();
    // Closes the panel when it is open, otherwise opens it below the icon (as a window without
    // a tray).
    void togglePopover();
    // A later start of the application asked this one to show itself.
    void bringPanelForward();
    // Creates the editor window on first use (centred on the screen), closes the panel, and
    // shows and raises the window. Later calls show the same window where the user left it.
    void showEditorWindow();

    // Where the panel goes: centred below the icon, or above it when there is no room below;
    // at the cursor when the tray does not tell the icon's place; always inside `available`.
    static QPoint panelPosition(const QRect& iconGeometry, const QPoint& cursor,
                                const QSize& panelSize, const QRect& available);

    QSystemTrayIcon& statusItem() const { return *statusItem_; }
    QMenu& statusItemMenu() const { return *statusItemMenu_; }
    MenuBarPanelView& panel() const { return *panel_; }
    QMainWindow* editorWindow() const { return editorWindow_.get(); }
    const QString& statusText() const { return statusText_; }
    int statusItemWidth() const { return statusItemWidth_; }
    bool isPanelInWindow() const { return panelInWindow_; }

private:
    void showPanel();
    void renderPanel();
    void fitTrayWindow() const;
    // About and Quit in the store's language.
    void localizeStatusItemMenu();
    bool trayAvailable() const;

    AerivoStore& store_;
    Hooks hooks_;
    std::unique_ptr<QSystemTrayIcon> statusItem_;
    std::unique_ptr<QMenu> statusItemMenu_;
    QAction* aboutAction_ = nullptr;
    QAction* quitAction_ = nullptr;
    std::unique_ptr<MenuBarPanelView> panel_;
    std::unique_ptr<QMainWindow> editorWindow_;
    AerivoStoreObservation observation_;
    QString statusText_;
    int statusItemWidth_ = 0;
    int statusItemHeight_ = defaultStatusItemHeight;
    bool panelInWindow_ = false;
    bool announcedNoTray_ = false;
};

} // namespace aerivo
