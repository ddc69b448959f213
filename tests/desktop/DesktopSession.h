#pragma once

#include "tests/e2e/SimulatorProcess.h"

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace aerivo::testing {

// A program running in the background with its standard output and error in a log file; sent
// SIGTERM (then SIGKILL after a bounded wait) and reaped when destroyed.
class BackgroundProcess {
public:
    BackgroundProcess(const std::filesystem::path& program,
                      const std::vector<std::string>& arguments,
                      const std::vector<std::string>& extraEnvironment,
                      const std::filesystem::path& logFile, int passFd = -1);
    ~BackgroundProcess();
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    pid_t pid() const { return pid_; }
    void signal(int number) const;
    // The exit code once the process ended within `bound`, by polling.
    std::optional<int> waitForExit(std::chrono::milliseconds bound);
    std::string log() const;

private:
    pid_t pid_ = -1;
    std::optional<int> exitCode_;
    std::filesystem::path logFile_;
};

// Polls `done` every 50 ms until it holds or `bound` passes; whether it held.
bool eventually(const std::function<bool()>& done,
                std::chrono::milliseconds bound = std::chrono::seconds(20));

// A window as xwininfo lists it.
struct XWindow {
    std::string id;
    std::string name;
    int width = 0;
    int height = 0;
    int x = 0; // absolute
    int y = 0;
};

// An X server of its own (Xvfb picks a free display) and a session bus, as every desktop session
// has one, optionally with an XEmbed tray (trayer) along the top edge.
class VirtualDesktop {
public:
    static bool isInstalled();

    VirtualDesktop(const std::filesystem::path& folder, bool withTray);

    // Whether the server (and the tray, when asked for) came up.
    bool isReady() const { return ready_; }
    const std::string& display() const { return display_; }
    std::string displayVariable() const { return "DISPLAY=" + display_; }
    // Without a session bus, libdbus forks a `dbus-launch` from the app's first D-Bus call (Qt's
    // accessibility bridge at exec), and a child forked from a multithreaded process can hang
    // before its exec under the sanitizers, holding the app's main thread with it.
    std::string busVariable() const {
        return "DBUS_SESSION_BUS_ADDRESS=unix:path=" + bus_.string();
    }

    // Starts trayer along the top edge; whether its panel came up.
    bool startTray();

    std::vector<XWindow> windows() const;
    // xdotool: move the pointer there and click the left button.
    void click(int x, int y) const;
    // A PNG of part of the screen (ImageMagick's import).
    bool screenshot(const std::filesystem::path& file, int x, int y, int width, int height) const;

private:
    std::filesystem::path folder_;
    std::filesystem::path bus_;
    std::string display_;
    std::optional<BackgroundProcess> sessionBus_;
    std::optional<BackgroundProcess> server_;
    std::optional<BackgroundProcess> tray_;
    bool ready_ = false;
};

} // namespace aerivo::testing
