#pragma once

#include "shared/SimulatorWire.h"

#include <asio.hpp>

#include <chrono>
#include <cstddef>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// The simulated Mac's administrator-approval agent: the dialog that asks for an administrator's
// password before a helper is blessed or a shell script runs "with administrator privileges".
// Answers come from the policy: `yes` approves, `no` refuses, `askFile` waits (at most the
// timeout) for an answer file that a test or a person writes: "yes", "no" or "cancel". Each
// answer file answers the oldest waiting request and is then removed. Every request is logged.
class SimApprovalAgent {
public:
    struct Request {
        std::string who;    // the program that asked, as it says
        std::string via;    // the simulator's name for the connected peer (image[pid])
        std::string right;  // the right asked for
        std::string detail; // what it is for (the command to run, ...)
    };
    using Reply = std::function<void(SimulatorApprovalAnswer)>;

    static constexpr std::size_t loggedRequests = 50;

    SimApprovalAgent(asio::io_context& io, std::filesystem::path answerFile,
                     SimulatorApprovalPolicy policy, std::chrono::milliseconds timeout);

    // Asks for an approval; `reply` runs once, later, on the io_context.
    void request(Request request, Reply reply);
    // A new policy also answers the requests that are waiting, unless it is askFile.
    void setPolicy(SimulatorApprovalPolicy policy);
    // Answers everything still waiting with `canceled` (the simulator is stopping).
    void cancelAll();

    SimulatorApprovalPolicy policy() const { return policy_; }
    const std::filesystem::path& answerFile() const { return answerFile_; }
    std::vector<std::string> statusLines() const;

    static std::string_view policyName(SimulatorApprovalPolicy policy);
    static std::string_view answerName(SimulatorApprovalAnswer answer);

private:
    struct Waiting {
        std::size_t entry;
        std::chrono::steady_clock::time_point deadline;
        Reply reply;
    };
    struct LogEntry {
        std::size_t number;
        Request request;
        SimulatorApprovalPolicy policy;
        std::string answer; // "waiting" until answered
    };

    void answer(Waiting waiting, SimulatorApprovalAnswer answer, std::string note = {});
    LogEntry* entry(std::size_t number);
    void poll();
    void schedulePoll();

    asio::io_context& io_;
    std::filesystem::path answerFile_;
    SimulatorApprovalPolicy policy_;
    std::chrono::milliseconds timeout_;
    asio::steady_timer pollTimer_;
    bool polling_ = false;
    std::deque<Waiting> waiting_;
    std::deque<LogEntry> log_;
    std::size_t requests_ = 0;
};

} // namespace aerivo
