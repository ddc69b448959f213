#pragma once

#include "app/model/PrivilegedHelperClient.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <vector>

namespace aerivo {

// A helper client that answers what the test sets and records every action with the time it was
// called. Renewals may arrive from a worker thread, so the record and the answers are guarded;
// `duringRenewal` runs inside each renewal call (to block it, or to act while it is running).
class ScriptedPrivilegedHelperClient final : public PrivilegedHelperClient {
public:
    enum class Action { install, reset, hold, renewal };
    struct Call {
        Action action = Action::reset;
        double targetRPM = 0;
        int seconds = 0;
        std::chrono::system_clock::time_point at{};
    };

    PrivilegedHelperHealth health = PrivilegedHelperHealth::unavailable();
    int healthReads = 0;

    PrivilegedHelperActionResult installResult =
        PrivilegedHelperActionResult{true, "Privileged helper installed.", std::nullopt};
    PrivilegedHelperActionResult resetResult = PrivilegedHelperActionResult{
        true, "Helper reset accepted.", nlohmann::json{{"resetToSystem", "accepted"}}};
    PrivilegedHelperActionResult holdResult = PrivilegedHelperActionResult{
        true, "Helper fan lease accepted.", nlohmann::json{{"accepted", true}}};
    PrivilegedHelperActionResult renewalResult = PrivilegedHelperActionResult{
        true, "Helper fan lease accepted.", nlohmann::json{{"accepted", true}}};
    std::function<void()> duringRenewal;
    std::function<std::chrono::system_clock::time_point()> clock = [] {
        return std::chrono::system_clock::now();
    };

    PrivilegedHelperHealth readHealth() override {
        ++healthReads;
        return health;
    }
    PrivilegedHelperActionResult installPrivilegedHelper() override {
        record({Action::install});
        return installResult;
    }
    PrivilegedHelperActionResult resetToSystem() override {
        record({Action::reset});
        return resetResult;
    }
    PrivilegedHelperActionResult holdManualTargetLease(double targetRPM, int holdSeconds) override {
        record({Action::hold, targetRPM, holdSeconds});
        return holdResult;
    }
    PrivilegedHelperActionResult renewCurveTargetLease(double targetRPM,
                                                       int leaseSeconds) override {
        record({Action::renewal, targetRPM, leaseSeconds});
        if (duringRenewal) {
            duringRenewal();
        }
        std::lock_guard lock(mutex_);
        return renewalResult;
    }

    std::vector<Call> calls(Action action) const {
        std::lock_guard lock(mutex_);
        std::vector<Call> matching;
        for (const Call& call : calls_) {
            if (call.action == action) {
                matching.push_back(call);
            }
        }
        return matching;
    }
    std::size_t count(Action action) const { return calls(action).size(); }
    std::size_t callCount() const {
        std::lock_guard lock(mutex_);
        return calls_.size();
    }

private:
    void record(Call call) {
        call.at = clock();
        std::lock_guard lock(mutex_);
        calls_.push_back(call);
    }

    mutable std::mutex mutex_;
    std::vector<Call> calls_;
};

} // namespace aerivo
