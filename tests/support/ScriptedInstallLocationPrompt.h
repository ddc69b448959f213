#pragma once

#include "app/distribution/InstallLocationPrompt.h"

#include <deque>
#include <filesystem>
#include <vector>

namespace aerivo::testing {

// Answers the install-location guard's alerts from a script and records everything the guard
// asked of the user interface.
class ScriptedInstallLocationPrompt final : public InstallLocationPrompt {
public:
    // The button index each coming alert answers with; an alert beyond the script answers with its
    // last button.
    std::deque<std::size_t> answers;

    std::vector<InstallLocationAlert> alerts;
    std::vector<int> activated;
    std::vector<std::filesystem::path> shownFolders;
    int terminations = 0;

    std::size_t runModal(const InstallLocationAlert& alert) override {
        alerts.push_back(alert);
        if (answers.empty()) {
            return alert.buttons.empty() ? 0 : alert.buttons.size() - 1;
        }
        const std::size_t answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void activateApplication(int processIdentifier) override {
        activated.push_back(processIdentifier);
    }
    void showFolder(const std::filesystem::path& folder) override {
        shownFolders.push_back(folder);
    }
    void terminateApplication() override { ++terminations; }
};

} // namespace aerivo::testing
