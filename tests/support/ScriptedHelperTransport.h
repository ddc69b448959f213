#pragma once

#include "platform/helpersocket/HelperTransport.h"

#include <deque>
#include <mutex>
#include <vector>

namespace aerivo::testing {

// A helper transport that records each request with its deadline and answers from a script:
// queued results first, then `fallback`. Nothing waits: a scripted time-out returns at once, so
// time-outs are checked by the deadline that was asked for.
class ScriptedHelperTransport final : public HelperTransport {
public:
    struct Sent {
        HelperRequest request;
        std::chrono::milliseconds deadline{};
    };

    static HelperRequestResult replying(nlohmann::json reply) {
        return {HelperRequestOutcome::replied, std::move(reply), {}};
    }
    static HelperRequestResult failing(HelperRequestOutcome outcome) {
        return {outcome, std::nullopt, "scripted"};
    }

    // Answers by method when set, else from the queue, else the fallback.
    std::function<std::optional<HelperRequestResult>(const HelperRequest&)> byMethod;
    std::deque<HelperRequestResult> queued;
    HelperRequestResult fallback = failing(HelperRequestOutcome::connectionFailed);

    HelperRequestResult send(const HelperRequest& request,
                             std::chrono::milliseconds deadline) override {
        std::lock_guard lock(mutex_);
        sent_.push_back({request, deadline});
        if (byMethod) {
            if (auto answer = byMethod(request)) {
                return *answer;
            }
        }
        if (!queued.empty()) {
            HelperRequestResult next = queued.front();
            queued.pop_front();
            return next;
        }
        return fallback;
    }

    std::vector<Sent> sent() const {
        std::lock_guard lock(mutex_);
        return sent_;
    }
    std::vector<std::string> methods() const {
        std::vector<std::string> names;
        for (const Sent& each : sent()) {
            names.push_back(each.request.method);
        }
        return names;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Sent> sent_;
};

} // namespace aerivo::testing
