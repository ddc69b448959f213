#pragma once

#include "platform/services/PrivilegedJobInstaller.h"

#include <string>
#include <vector>

namespace aerivo::testing {

// A privileged job installer that answers what the test sets and records the calls in order
// ("create", "rights", "remove <label>", "bless <label> <bundle>", "free", "status <name>").
class ScriptedJobInstaller final : public PrivilegedJobInstaller {
public:
    int createStatus = 0;
    int rightsStatus = 0;
    std::optional<PrivilegedJobError> removeError;
    std::optional<PrivilegedJobError> blessError;
    int serviceStatus = static_cast<int>(DaemonServiceStatus::notFound);
    std::vector<std::string> calls;

    int createAuthorization() override {
        calls.push_back("create");
        return createStatus;
    }
    int copyBlessRights() override {
        calls.push_back("rights");
        return rightsStatus;
    }
    std::optional<PrivilegedJobError> removeJob(std::string_view label) override {
        calls.push_back("remove " + std::string(label));
        return removeError;
    }
    std::optional<PrivilegedJobError> blessJob(std::string_view label,
                                               const std::filesystem::path& appBundle) override {
        calls.push_back("bless " + std::string(label) + " " + appBundle.string());
        return blessError;
    }
    void freeAuthorization() override { calls.push_back("free"); }
    int daemonServiceStatus(std::string_view plistName) override {
        calls.push_back("status " + std::string(plistName));
        return serviceStatus;
    }
};

} // namespace aerivo::testing
