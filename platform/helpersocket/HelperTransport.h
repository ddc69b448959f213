#pragma once

#include "platform/helpersocket/HelperRequest.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace aerivo {

// How one request over the helper socket ended. Only `replied` carries a dictionary; the others
// are the distinct ways it can fail, which the app's helper client words for the user.
enum class HelperRequestOutcome {
    replied,
    // No socket at the path, or nobody accepting on it.
    connectionFailed,
    // The helper closed the connection without reading the request: it refused the client at
    // admission (which comes before any byte is read), or it was not serving.
    refused,
    // The helper read the request and closed the connection before a single byte of reply: it
    // died while working on it.
    closedBeforeReply,
    // The deadline passed before the whole reply had arrived.
    timedOut,
    // Something came back that is not a reply frame (too large, cut short, not UTF-8 JSON, not
    // an object).
    malformedReply,
    // The request itself could not be framed (its argument is too large or not UTF-8).
    requestNotSent,
};

std::string_view rawValue(HelperRequestOutcome outcome);

struct HelperRequestResult {
    HelperRequestOutcome outcome = HelperRequestOutcome::connectionFailed;
    std::optional<nlohmann::json> reply;
    std::string detail;

    bool isReplied() const { return outcome == HelperRequestOutcome::replied; }
};

// The app's door to the helper: one request, one reply, within a deadline. Implementations are
// callable from any thread, also concurrently.
class HelperTransport {
public:
    virtual ~HelperTransport() = default;
    // The contract's time-outs are whole seconds; a std::chrono::seconds deadline converts.
    virtual HelperRequestResult send(const HelperRequest& request,
                                     std::chrono::milliseconds deadline) = 0;
};

// A fresh connection per request to the helper's Unix socket, closed when the request ends.
class UnixSocketHelperTransport final : public HelperTransport {
public:
    explicit UnixSocketHelperTransport(std::string socketPath);

    HelperRequestResult send(const HelperRequest& request,
                             std::chrono::milliseconds deadline) override;

    const std::string& socketPath() const { return socketPath_; }

private:
    std::string socketPath_;
};

} // namespace aerivo
