#pragma once

#include <nlohmann/json.hpp>

#include <functional>

namespace aerivo {

// The three operations the helper serves, in protocol order. Both sides are written against
// this one type: the helper's service implements it, and the app talks to a proxy implementing it
// over the helper socket. Every reply carries one dictionary (a JSON object), and an
// implementation calls each reply exactly once.
class AerivoPrivilegedHelperXPCProtocol {
public:
    using Reply = std::function<void(nlohmann::json dictionary)>;

    virtual ~AerivoPrivilegedHelperXPCProtocol() = default;

    // The helper status (AerivoPrivilegedHelperStatus::dictionary()).
    virtual void readStatus(Reply reply) = 0;
    // The helper status after handing the fan back to system control.
    virtual void resetToSystem(Reply reply) = 0;
    // `request` is an AerivoManualTargetLeaseRequest dictionary; the reply an
    // AerivoManualTargetLeaseResponse dictionary.
    virtual void holdManualTargetLease(nlohmann::json request, Reply reply) = 0;
};

} // namespace aerivo
