// Seeded random interleavings of everything that can happen to the helper's service at once:
// curve renewals, resets and status requests from the app, manual holds on a connection thread,
// lease expiries, one-shot SMC write failures, an SMC that does not open, and the system taking
// the fan back. After every step, and after every pause inside a fan operation, the simulated fan
// must be in manual mode only while a successful renewal's lease is unexpired, while a manual
// hold runs, or within the retry window after a failed hand-back.

#include "helper/core/AerivoPrivilegedHelperXPCService.h"
#include "tests/helper/HelperServiceRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <sstream>

namespace aerivo {
namespace {

using nlohmann::json;
using testing::HelperReplies;
using testing::HelperServiceRig;
using testing::SMCWriteOutcome;
using Service = AerivoPrivilegedHelperXPCService;

// A failed hand-back is followed by three seconds of samples, then the retry five seconds on.
constexpr double handBackWindowSeconds = 3.0 + Service::handBackRetrySeconds;

class Interleaving {
public:
    explicit Interleaving(std::uint64_t seed) : random_(seed) {
        rig_.faults.afterFailedWrite([this](const std::string&) { failureNow(); });
        rig_.afterRefusedOpen = [this] { failureNow(); };
        rig_.afterPause = [this] { check("pause"); };
        // Odd seeds let cancelled expiries run late, as an already-queued timer handler does.
        rig_.timeline.setRunsCancelledItems(seed % 2 == 1);
    }

    // Runs the steps; the first violation, or nothing.
    std::string run(int steps) {
        for (step_ = 0; step_ < steps && violation_.empty(); ++step_) {
            act();
            check("step");
        }
        return violation_;
    }

    // With nothing more happening, every lease and retry runs out and the fan is the system's.
    void finish() {
        rig_.advanceTo(rig_.now() + 2 * 30 + 2 * handBackWindowSeconds);
        EXPECT_EQ(rig_.fan().mode, 0);
        for (const auto& answer : answers_) {
            EXPECT_EQ(answer->received.size(), 1U);
        }
    }

    std::size_t requests() const { return answers_.size(); }

private:
    double uniform(double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(random_);
    }
    int pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(random_); }

    std::int64_t seconds() {
        switch (pick(6)) {
        case 0:
            return std::numeric_limits<std::int64_t>::max();
        case 1:
            return std::numeric_limits<std::int64_t>::min();
        default:
            return pick(45) - 5;
        }
    }

    std::shared_ptr<HelperReplies> tracked() {
        answers_.push_back(std::make_shared<HelperReplies>());
        return answers_.back();
    }

    void renew() {
        const std::int64_t requested = seconds();
        const auto answer = tracked();
        rig_.service->holdManualTargetLease(
            HelperServiceRig::renewal(uniform(500, 7000), requested),
            [this, answer, requested](json reply) {
                answer->received.push_back(reply);
                if (reply.value("accepted", false)) {
                    allowedUntil_ = rig_.now() + static_cast<double>(
                                                     Service::boundedCurveLeaseSeconds(requested));
                }
            });
    }

    void act() {
        switch (pick(10)) {
        case 0:
        case 1:
            renew();
            break;
        case 2:
            rig_.service->resetToSystem(
                [answer = tracked()](json reply) { answer->received.push_back(reply); });
            break;
        case 3: {
            const auto answer = tracked();
            holdRunning_ = true;
            rig_.service->holdManualTargetLease(
                HelperServiceRig::manualHold(uniform(800, 7000), seconds() % 13),
                [answer](json reply) { answer->received.push_back(reply); });
            holdRunning_ = false;
            break;
        }
        case 4:
        case 5:
            rig_.advanceTo(rig_.now() + uniform(0.05, 12));
            break;
        case 6: {
            const std::string key = pick(2) == 0 ? "F0md" : "F0Tg";
            const SMCWriteOutcome failure =
                pick(2) == 0 ? SMCWriteOutcome{kIOReturnNotPrivileged, 0} : SMCWriteOutcome{0, 130};
            // The next write of the key fails, or the one after it.
            if (pick(2) == 0) {
                rig_.faults.script(key, {failure});
            } else {
                rig_.faults.script(key, {SMCWriteOutcome{}, failure});
            }
            break;
        }
        case 7:
            rig_.machine.takeBack("interleaving");
            break;
        case 8:
            rig_.refusedOpens = 1 + pick(2);
            break;
        default:
            rig_.service->readStatus(
                [answer = tracked()](json reply) { answer->received.push_back(reply); });
            break;
        }
        if (pick(2) == 0) {
            rig_.timeline.settle();
        }
    }

    void failureNow() {
        allowedUntil_ = std::max(allowedUntil_, rig_.now() + handBackWindowSeconds);
    }

    void check(const char* where) {
        if (!violation_.empty() || rig_.fan().mode == 0) {
            return;
        }
        if (holdRunning_ || rig_.now() <= allowedUntil_) {
            return;
        }
        std::ostringstream text;
        text << "fan manual at " << rig_.now() << " s (" << where << " of step " << step_
             << "), allowed until " << allowedUntil_ << " s, last writer " << rig_.fan().lastWriter
             << " at " << rig_.fan().lastWriteSeconds << " s";
        violation_ = text.str();
    }

    HelperServiceRig rig_;
    std::mt19937_64 random_;
    std::vector<std::shared_ptr<HelperReplies>> answers_;
    double allowedUntil_ = -1;
    bool holdRunning_ = false;
    int step_ = 0;
    std::string violation_;
};

TEST(HelperServiceInterleaving, TheFanIsManualOnlyUnderALiveLeaseAHoldOrARetryWindow) {
    for (const std::uint64_t seed : {1, 2, 3}) {
        Interleaving interleaving(seed);
        EXPECT_EQ(interleaving.run(2000), "") << "seed " << seed;
        interleaving.finish();
        EXPECT_GT(interleaving.requests(), 800U) << "seed " << seed;
    }
}

} // namespace
} // namespace aerivo
