#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace aerivo {

// One alert of the install-location guard, already in the user's language.
struct InstallLocationAlert {
    enum class Style { informational, warning };

    Style style = Style::informational;
    std::string messageText;
    std::string informativeText;
    // Left to right as the platform orders them; the first is the default button.
    std::vector<std::string> buttons;

    friend bool operator==(const InstallLocationAlert&, const InstallLocationAlert&) = default;
};

// What the install-location guard needs from the user interface. The Qt application implements
// it; tests script it. Every call comes on the main thread.
class InstallLocationPrompt {
public:
    virtual ~InstallLocationPrompt() = default;

    // Brings the application to the front (it otherwise runs without a window), shows the alert
    // modally above other windows and returns the index of the button chosen; any other value
    // (the alert closed some other way) counts as the last button.
    virtual std::size_t runModal(const InstallLocationAlert& alert) = 0;
    // Brings the other, already running copy with this process identifier to the front, with
    // all its windows.
    virtual void activateApplication(int processIdentifier) = 0;
    // Opens a file-manager window on `folder` with nothing selected.
    virtual void showFolder(const std::filesystem::path& folder) = 0;
    // Ends this application once the current call returns to the event loop.
    virtual void terminateApplication() = 0;
};

} // namespace aerivo
