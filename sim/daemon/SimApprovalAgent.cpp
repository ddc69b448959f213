#include "sim/daemon/SimApprovalAgent.h"

#include <fstream>
#include <sstream>

namespace aerivo {

namespace {

// How often a waiting request looks for the answer file.
constexpr std::chrono::milliseconds answerPollInterval{20};

// Log values stay on one line whatever a client sent.
std::string singleLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return text;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

} // namespace

SimApprovalAgent::SimApprovalAgent(asio::io_context& io, std::filesystem::path answerFile,
                                   SimulatorApprovalPolicy policy,
                                   std::chrono::milliseconds timeout)
    : io_(io), answerFile_(std::move(answerFile)), policy_(policy), timeout_(timeout),
      pollTimer_(io) {}

std::string_view SimApprovalAgent::policyName(SimulatorApprovalPolicy policy) {
    switch (policy) {
    case SimulatorApprovalPolicy::yes:
        return "yes";
    case SimulatorApprovalPolicy::no:
        return "no";
    case SimulatorApprovalPolicy::askFile:
        return "ask-file";
    }
    return "unknown";
}

std::string_view SimApprovalAgent::answerName(SimulatorApprovalAnswer answer) {
    switch (answer) {
    case SimulatorApprovalAnswer::approved:
        return "approved";
    case SimulatorApprovalAnswer::refused:
        return "refused";
    case SimulatorApprovalAnswer::canceled:
        return "canceled";
    case SimulatorApprovalAnswer::timedOut:
        return "timed-out";
    }
    return "unknown";
}

SimApprovalAgent::LogEntry* SimApprovalAgent::entry(std::size_t number) {
    for (LogEntry& logged : log_) {
        if (logged.number == number) {
            return &logged;
        }
    }
    return nullptr;
}

void SimApprovalAgent::request(Request request, Reply reply) {
    const std::size_t number = ++requests_;
    log_.push_back({number, std::move(request), policy_, "waiting"});
    if (log_.size() > loggedRequests) {
        log_.pop_front();
    }
    Waiting waiting{number, std::chrono::steady_clock::now() + timeout_, std::move(reply)};
    switch (policy_) {
    case SimulatorApprovalPolicy::yes:
        answer(std::move(waiting), SimulatorApprovalAnswer::approved);
        return;
    case SimulatorApprovalPolicy::no:
        answer(std::move(waiting), SimulatorApprovalAnswer::refused);
        return;
    case SimulatorApprovalPolicy::askFile:
        waiting_.push_back(std::move(waiting));
        poll();
        return;
    }
}

void SimApprovalAgent::answer(Waiting waiting, SimulatorApprovalAnswer answer, std::string note) {
    if (LogEntry* logged = entry(waiting.entry)) {
        logged->answer = std::string(answerName(answer)) + note;
    }
    // Always later on the io_context, so a caller never gets its reply inside request().
    asio::post(io_, [reply = std::move(waiting.reply), answer] { reply(answer); });
}

void SimApprovalAgent::setPolicy(SimulatorApprovalPolicy policy) {
    policy_ = policy;
    if (policy == SimulatorApprovalPolicy::askFile) {
        return;
    }
    const auto answer = policy == SimulatorApprovalPolicy::yes ? SimulatorApprovalAnswer::approved
                                                               : SimulatorApprovalAnswer::refused;
    while (!waiting_.empty()) {
        Waiting waiting = std::move(waiting_.front());
        waiting_.pop_front();
        this->answer(std::move(waiting), answer, " (policy changed)");
    }
}

void SimApprovalAgent::cancelAll() {
    pollTimer_.cancel();
    while (!waiting_.empty()) {
        Waiting waiting = std::move(waiting_.front());
        waiting_.pop_front();
        answer(std::move(waiting), SimulatorApprovalAnswer::canceled, " (simulator stopping)");
    }
}

void SimApprovalAgent::poll() {
    // Answer files first, oldest request first; then the requests whose wait is over.
    while (!waiting_.empty()) {
        std::ifstream file(answerFile_);
        if (!file) {
            break;
        }
        std::ostringstream text;
        text << file.rdbuf();
        const std::string word = trimmed(text.str());
        if (word.empty()) {
            break; // being written; look again shortly
        }
        std::error_code ignored;
        std::filesystem::remove(answerFile_, ignored);
        Waiting waiting = std::move(waiting_.front());
        waiting_.pop_front();
        if (word == "yes") {
            answer(std::move(waiting), SimulatorApprovalAnswer::approved);
        } else if (word == "no") {
            answer(std::move(waiting), SimulatorApprovalAnswer::refused);
        } else if (word == "cancel") {
            answer(std::move(waiting), SimulatorApprovalAnswer::canceled);
        } else {
            // An answer nobody can read grants nothing.
            answer(std::move(waiting), SimulatorApprovalAnswer::canceled,
                   " (unreadable answer \"" + singleLine(word.substr(0, 40)) + "\")");
        }
    }
    const auto now = std::chrono::steady_clock::now();
    while (!waiting_.empty() && waiting_.front().deadline <= now) {
        Waiting waiting = std::move(waiting_.front());
        waiting_.pop_front();
        answer(std::move(waiting), SimulatorApprovalAnswer::timedOut);
    }
    if (!waiting_.empty()) {
        schedulePoll();
    }
}

void SimApprovalAgent::schedulePoll() {
    if (polling_) {
        return;
    }
    polling_ = true;
    pollTimer_.expires_after(answerPollInterval);
    pollTimer_.async_wait([this](std::error_code error) {
        polling_ = false;
        if (!error) {
            poll();
        }
    });
}

std::vector<std::string> SimApprovalAgent::statusLines() const {
    std::vector<std::string> lines;
    lines.push_back("approvalPolicy=" + std::string(policyName(policy_)));
    std::ostringstream timeout;
    timeout << static_cast<double>(timeout_.count()) / 1000.0;
    lines.push_back("approvalTimeoutSeconds=" + timeout.str());
    lines.push_back("approvalAnswerFile=" + answerFile_.string());
    lines.push_back("approvalsPending=" + std::to_string(waiting_.size()));
    lines.push_back("approvals=" + std::to_string(requests_));
    for (const LogEntry& logged : log_) {
        const std::string prefix = "approval" + std::to_string(logged.number) + ".";
        lines.push_back(prefix + "answer=" + logged.answer);
        lines.push_back(prefix + "policy=" + std::string(policyName(logged.policy)));
        lines.push_back(prefix + "who=" + singleLine(logged.request.who));
        lines.push_back(prefix + "via=" + singleLine(logged.request.via));
        lines.push_back(prefix + "right=" + singleLine(logged.request.right));
        lines.push_back(prefix + "for=" + singleLine(logged.request.detail));
    }
    return lines;
}

} // namespace aerivo
