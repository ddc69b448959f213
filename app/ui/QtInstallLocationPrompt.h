#pragma once

#include "app/distribution/InstallLocationPrompt.h"

#include <functional>

namespace aerivo {

// The install-location guard's alerts as QMessageBoxes on top of every window, the folder in the
// desktop's file manager (QDesktopServices), and the end of the application as a queued quit.
class QtInstallLocationPrompt final : public InstallLocationPrompt {
public:
    // `activate` brings another running copy forward by its process identifier.
    explicit QtInstallLocationPrompt(std::function<void(int)> activate = nullptr);

    std::size_t runModal(const InstallLocationAlert& alert) override;
    void activateApplication(int processIdentifier) override;
    void showFolder(const std::filesystem::path& folder) override;
    void terminateApplication() override;

private:
    std::function<void(int)> activate_;
};

} // namespace aerivo
