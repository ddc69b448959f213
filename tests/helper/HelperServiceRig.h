#pragma once

#include "helper/core/AerivoPrivilegedHelperXPCService.h"
#include "sim/model/SimulatedMac.h"
#include "tests/support/ManualMainLoop.h"
#include "tests/support/SMCWriteFaults.h"
#include "tests/support/SimulatedMacIOKit.h"
#include "tests/support/SimulatedMacTimeline.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

namespace aerivo::testing {

// Every reply one request received (exactly one is the rule).
struct HelperReplies {
    std::vector<nlohmann::json> received;
};

// The helper's service on virtual time against the in-process two-fan laptop, idle and settled
// under system control (fan 0: 1200...6000 rpm). The service is the privileged "helper" session;
// its lease queue and its pauses run on one timeline with the machine, and SMC writes pass
// through a fault injector.
class HelperServiceRig {
public:
    enum class Opening { opens, throws };

    explicit HelperServiceRig(AerivoPrivilegedHelperXPCSwitches switches = {})
        : machine(*simModelPreset("laptop-2fan"), 7), timeline(loop, settled(machine)),
          port(machine, "helper", true), faults(port) {
        remakeService(switches);
    }

    // A fresh service (as after a helper restart) on the same machine and queue.
    void remakeService(AerivoPrivilegedHelperXPCSwitches switches = {}) {
        service = AerivoPrivilegedHelperXPCService::make(
            [this]() -> std::unique_ptr<SMCProbeClient> {
                ++openCount;
                if (refusedOpens > 0) {
                    --refusedOpens;
                    if (afterRefusedOpen) {
                        afterRefusedOpen();
                    }
                    return nullptr;
                }
                if (opening == Opening::throws) {
                    throw std::runtime_error("the SMC backend went away");
                }
                return SMCProbeClient::open(faults);
            },
            timeline.queue(),
            [this](std::chrono::duration<double> pause) {
                timeline.sleeper()(pause);
                if (afterPause) {
                    afterPause();
                }
            },
            switches);
    }

    const SimFanState& fan() const { return machine.fans().at(0); }
    double now() const { return timeline.now(); }
    void advanceTo(double seconds) { timeline.advanceBy(seconds - now()); }

    // Both SMC classes refuse to open (or open again).
    void setSMCClosed(bool closed) {
        SimFaultPlan plan = machine.faults();
        for (const char* name : {"AppleSMCKeysEndpoint", "AppleSMC"}) {
            if (closed) {
                plan.closedClasses[name] = kIOReturnNotPermitted;
            } else {
                plan.closedClasses.erase(name);
            }
        }
        machine.setFaults(plan);
    }

    static nlohmann::json request(double targetRPM, std::int64_t seconds, std::string_view reason) {
        return AerivoManualTargetLeaseRequest{0, targetRPM, seconds, std::string(reason)}
            .dictionary();
    }
    static nlohmann::json renewal(double targetRPM, std::int64_t seconds) {
        return request(targetRPM, seconds, AerivoManualTargetLeaseRequest::curveRenewalReason);
    }
    static nlohmann::json manualHold(double targetRPM, std::int64_t seconds) {
        return request(targetRPM, seconds,
                       AerivoManualTargetLeaseRequest::appManualTargetLeaseReason);
    }

    std::shared_ptr<HelperReplies> lease(nlohmann::json dictionary) {
        auto replies = std::make_shared<HelperReplies>();
        service->holdManualTargetLease(std::move(dictionary), collector(replies));
        return replies;
    }
    std::shared_ptr<HelperReplies> reset() {
        auto replies = std::make_shared<HelperReplies>();
        service->resetToSystem(collector(replies));
        return replies;
    }
    std::shared_ptr<HelperReplies> status() {
        auto replies = std::make_shared<HelperReplies>();
        service->readStatus(collector(replies));
        return replies;
    }

    // The one reply; a failure (and null) when there was none or more than one.
    static nlohmann::json only(const HelperReplies& replies) {
        if (replies.received.size() != 1) {
            ADD_FAILURE() << replies.received.size() << " replies instead of one";
            return nullptr;
        }
        return replies.received.front();
    }

    SimulatedMac machine;
    ManualMainLoop loop;
    SimulatedMacTimeline timeline;
    SimulatedMacIOKit port;
    SMCWriteFaults faults;
    Opening opening = Opening::opens;
    int openCount = 0;
    // The next this many opens find no SMC, whoever asks; then afterRefusedOpen is called.
    int refusedOpens = 0;
    std::function<void()> afterRefusedOpen;
    // Called after every pause of a fan operation (on the queue or a "connection thread").
    std::function<void()> afterPause;
    std::function<void(const nlohmann::json&)> afterReply;
    std::shared_ptr<AerivoPrivilegedHelperXPCService> service;

private:
    // A minute of idling: the fans sit at their floor under system control.
    static SimulatedMac& settled(SimulatedMac& machine) {
        machine.advanceTo(60);
        return machine;
    }

    AerivoPrivilegedHelperXPCProtocol::Reply collector(std::shared_ptr<HelperReplies> replies) {
        return [this, replies](nlohmann::json dictionary) {
            replies->received.push_back(dictionary);
            if (afterReply) {
                afterReply(dictionary);
            }
        };
    }
};

} // namespace aerivo::testing
