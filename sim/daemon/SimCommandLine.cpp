#include "sim/daemon/SimCommandLine.h"

#include <charconv>
#include <fstream>
#include <optional>
#include <sstream>

namespace aerivo {

const char* const simDevelopmentTrustAnchor = AERIVO_DEV_TRUST_ANCHOR;

const char* const simUsageText =
    "usage: aerivo-sim-mac [--root DIR] [--model NAME] [--seed N]\n"
    "                      [--workload idle|load|sine|steps|script:FILE] [--faults FILE]\n"
    "                      [--approve yes|no|ask-file] [--approval-timeout SECONDS]\n"
    "                      [--trust-anchor FILE|none]\n"
    "       aerivo-sim-mac ctl [--root DIR] status\n"
    "       aerivo-sim-mac ctl [--root DIR] workload idle|load|sine|steps|script:FILE\n"
    "       aerivo-sim-mac ctl [--root DIR] fault read KEY [smc N | kernel CODE]\n"
    "       aerivo-sim-mac ctl [--root DIR] fault write KEY smc N | kernel CODE\n"
    "       aerivo-sim-mac ctl [--root DIR] fault open CLASS [CODE]\n"
    "       aerivo-sim-mac ctl [--root DIR] fault delay MICROSECONDS\n"
    "       aerivo-sim-mac ctl [--root DIR] fault file FILE | fault clear\n"
    "       aerivo-sim-mac ctl [--root DIR] approve yes|no|ask-file\n"
    "       aerivo-sim-mac ctl [--root DIR] take-back | quit\n"
    "models: laptop-2fan (default), desktop-1fan, mac17-2, air-fanless, legacy-fpe2, "
    "no-endpoint\n"
    "The system root defaults to $AERIVO_SYSTEM_ROOT, else /; the device socket is\n"
    "<root>/var/run/aerivo-sim-mac.sock. Approvals default to yes; with ask-file the agent\n"
    "waits (30 s unless --approval-timeout says otherwise) for <root>/var/run/\n"
    "aerivo-sim-mac.approval to hold yes, no or cancel. Helper jobs are read from\n"
    "<root>/Library/LaunchDaemons/<label>.plist.\n";

namespace {

std::optional<std::string> readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) {
        return std::nullopt;
    }
    return text.str();
}

template <typename Number> std::optional<Number> parseInteger(std::string_view text) {
    Number value{};
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<SimulatorApprovalPolicy> approvalPolicyFromText(std::string_view text) {
    if (text == "yes") {
        return SimulatorApprovalPolicy::yes;
    }
    if (text == "no") {
        return SimulatorApprovalPolicy::no;
    }
    if (text == "ask-file") {
        return SimulatorApprovalPolicy::askFile;
    }
    return std::nullopt;
}

std::variant<SimWorkload, std::string> workloadFromArgument(const std::string& value) {
    if (value.starts_with("script:")) {
        const std::string file = value.substr(7);
        const auto text = readFile(file);
        if (file.empty() || !text) {
            return "cannot read workload script \"" + file + "\"";
        }
        auto parsed = SimWorkload::parseScript(*text, file);
        if (auto* error = std::get_if<std::string>(&parsed)) {
            return "workload script " + file + ": " + *error;
        }
        return parsed;
    }
    if (auto named = SimWorkload::named(value)) {
        return *named;
    }
    return "unknown workload \"" + value + "\" (idle, load, sine, steps or script:FILE)";
}

// "fault ..." of the ctl command line, as a fault plan in its JSON form.
std::variant<SimFaultPlan, std::string> faultFromArguments(const std::vector<std::string>& words) {
    if (words.empty()) {
        return std::string("fault needs read, write, open, delay, file or clear");
    }
    SimFaultPlan plan;
    const std::string& what = words[0];
    auto failure = [&](std::size_t at, bool optional) -> std::variant<SimCallFailure, std::string> {
        if (words.size() == at && optional) {
            return SimCallFailure{kIOReturnSuccess, 0x85};
        }
        if (words.size() != at + 2) {
            return "fault " + what + " KEY needs \"smc N\" or \"kernel CODE\"";
        }
        if (words[at] == "smc") {
            const auto result = parseInteger<int>(words[at + 1]);
            if (!result || *result < 1 || *result > 255) {
                return "SMC result \"" + words[at + 1] + "\" must be from 1 to 255";
            }
            return SimCallFailure{kIOReturnSuccess, static_cast<std::uint8_t>(*result)};
        }
        if (words[at] == "kernel") {
            const auto code = SimFaultPlan::kernelResultFromText(words[at + 1]);
            if (!code || *code == kIOReturnSuccess) {
                return "kernel code \"" + words[at + 1] + "\" is not a non-zero kernel code";
            }
            return SimCallFailure{*code, 0};
        }
        return "expected \"smc\" or \"kernel\", got \"" + words[at] + "\"";
    };
    if (what == "read" || what == "write") {
        if (words.size() < 2 || words[1].size() != 4) {
            return "fault " + what + " needs a four-character SMC key";
        }
        auto parsed = failure(2, what == "read");
        if (auto* error = std::get_if<std::string>(&parsed)) {
            return *error;
        }
        (what == "read" ? plan.readFailures : plan.writeFailures)[words[1]] =
            std::get<SimCallFailure>(parsed);
        return plan;
    }
    if (what == "open") {
        if (words.size() < 2 || words.size() > 3 || words[1].empty()) {
            return std::string("fault open needs a class name and optionally a kernel code");
        }
        const auto code = words.size() == 3 ? SimFaultPlan::kernelResultFromText(words[2])
                                            : std::optional<KernReturn>(kIOReturnNotPermitted);
        if (!code || *code == kIOReturnSuccess) {
            return "kernel code \"" + words[2] + "\" is not a non-zero kernel code";
        }
        plan.closedClasses[words[1]] = *code;
        return plan;
    }
    if (what == "delay") {
        const auto micros =
            words.size() == 2 ? parseInteger<std::uint32_t>(words[1]) : std::nullopt;
        if (!micros || *micros > 10'000'000) {
            return std::string("fault delay needs a number of microseconds up to 10000000");
        }
        plan.callDelayMicroseconds = *micros;
        return plan;
    }
    if (what == "file") {
        if (words.size() != 2) {
            return std::string("fault file needs one file");
        }
        const auto text = readFile(words[1]);
        if (!text) {
            return "cannot read fault file \"" + words[1] + "\"";
        }
        auto parsed = SimFaultPlan::fromJSON(*text);
        if (auto* error = std::get_if<std::string>(&parsed)) {
            return "fault file " + words[1] + ": " + *error;
        }
        return parsed;
    }
    return "unknown fault \"" + what + "\" (read, write, open, delay, file or clear)";
}

} // namespace

std::variant<SimServeOptions, SimCtlOptions, SimHelpRequest, std::string>
parseSimCommandLine(const std::vector<std::string>& arguments,
                    const std::filesystem::path& defaultRoot) {
    std::size_t index = 0;
    const bool isCtl = !arguments.empty() && arguments[0] == "ctl";
    if (isCtl) {
        index = 1;
    }
    std::filesystem::path root = defaultRoot;
    std::vector<std::string> rest;
    SimServeOptions serve;
    serve.root = defaultRoot;
    serve.preset = *simModelPreset(defaultSimModelPresetName);
    if (*simDevelopmentTrustAnchor != '\0') {
        serve.trustAnchor = std::filesystem::path(simDevelopmentTrustAnchor);
    }
    for (; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        if (argument == "--help" || argument == "-h") {
            return SimHelpRequest{};
        }
        const bool takesValue =
            argument == "--root" ||
            (!isCtl && (argument == "--model" || argument == "--seed" || argument == "--workload" ||
                        argument == "--faults" || argument == "--approve" ||
                        argument == "--approval-timeout" || argument == "--trust-anchor"));
        if (!takesValue) {
            if (!isCtl || argument.starts_with("--")) {
                return "unknown argument \"" + argument + "\"";
            }
            rest.push_back(argument);
            continue;
        }
        if (index + 1 >= arguments.size()) {
            return argument + " needs a value";
        }
        const std::string& value = arguments[++index];
        if (argument == "--root") {
            if (value.empty()) {
                return std::string("--root needs a directory");
            }
            root = value;
        } else if (argument == "--model") {
            const auto preset = simModelPreset(value);
            if (!preset) {
                return "unknown model \"" + value + "\"";
            }
            serve.preset = *preset;
        } else if (argument == "--seed") {
            const auto seed = parseInteger<std::uint64_t>(value);
            if (!seed) {
                return "seed \"" + value + "\" is not a non-negative integer";
            }
            serve.seed = *seed;
        } else if (argument == "--workload") {
            auto workload = workloadFromArgument(value);
            if (auto* error = std::get_if<std::string>(&workload)) {
                return *error;
            }
            serve.workload = std::get<SimWorkload>(workload);
        } else if (argument == "--faults") {
            const auto text = readFile(value);
            if (!text) {
                return "cannot read fault file \"" + value + "\"";
            }
            auto faults = SimFaultPlan::fromJSON(*text);
            if (auto* error = std::get_if<std::string>(&faults)) {
                return "fault file " + value + ": " + *error;
            }
            serve.faults = std::get<SimFaultPlan>(faults);
        } else if (argument == "--approve") {
            const auto policy = approvalPolicyFromText(value);
            if (!policy) {
                return "--approve needs yes, no or ask-file, not \"" + value + "\"";
            }
            serve.approvalPolicy = *policy;
        } else if (argument == "--approval-timeout") {
            double seconds = 0;
            const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(),
                                                   seconds, std::chars_format::fixed);
            if (value.empty() || ec != std::errc() || ptr != value.data() + value.size() ||
                !(seconds >= 0.001 && seconds <= 3600)) {
                return "approval timeout \"" + value + "\" must be from 0.001 to 3600 seconds";
            }
            serve.approvalTimeout =
                std::chrono::milliseconds(static_cast<std::int64_t>(seconds * 1000 + 0.5));
        } else if (argument == "--trust-anchor") {
            serve.trustAnchorIsDefault = false;
            if (value == "none") {
                serve.trustAnchor.reset();
            } else if (!readFile(value)) {
                return "cannot read trust anchor \"" + value + "\"";
            } else {
                serve.trustAnchor = std::filesystem::path(value);
            }
        }
    }
    if (!isCtl) {
        serve.root = root;
        return serve;
    }

    SimCtlOptions ctl;
    ctl.root = root;
    if (rest.empty()) {
        return std::string(
            "ctl needs a command: status, workload, fault, approve, take-back or quit");
    }
    const std::string& command = rest[0];
    const std::vector<std::string> words(rest.begin() + 1, rest.end());
    if (command == "status" || command == "take-back" || command == "quit") {
        if (!words.empty()) {
            return command + " takes no arguments";
        }
        ctl.command = command == "status"      ? SimCtlOptions::Command::status
                      : command == "take-back" ? SimCtlOptions::Command::takeBack
                                               : SimCtlOptions::Command::quit;
        return ctl;
    }
    if (command == "approve") {
        const auto policy = words.size() == 1 ? approvalPolicyFromText(words[0]) : std::nullopt;
        if (!policy) {
            return std::string("approve needs yes, no or ask-file");
        }
        ctl.command = SimCtlOptions::Command::approve;
        ctl.approvalPolicy = *policy;
        return ctl;
    }
    if (command == "workload") {
        if (words.size() != 1) {
            return std::string("workload needs one name");
        }
        auto workload = workloadFromArgument(words[0]);
        if (auto* error = std::get_if<std::string>(&workload)) {
            return *error;
        }
        ctl.command = SimCtlOptions::Command::workload;
        ctl.workloadName = words[0];
        if (words[0].starts_with("script:")) {
            ctl.script = readFile(words[0].substr(7)).value_or("");
        }
        return ctl;
    }
    if (command == "fault") {
        if (words.size() == 1 && words[0] == "clear") {
            ctl.command = SimCtlOptions::Command::clearFaults;
            return ctl;
        }
        auto plan = faultFromArguments(words);
        if (auto* error = std::get_if<std::string>(&plan)) {
            return *error;
        }
        ctl.command = SimCtlOptions::Command::faults;
        ctl.faultsJSON = std::get<SimFaultPlan>(plan).toJSON();
        return ctl;
    }
    return "unknown ctl command \"" + command + "\"";
}

} // namespace aerivo
