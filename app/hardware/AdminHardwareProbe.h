#pragma once

#include "platform/posix/ProcessRunner.h"
#include "platform/posix/SystemPaths.h"

#include <string>
#include <vector>

namespace aerivo {

// The outcome of running a probe program: its whole standard output on success, or a message
// for the user on failure.
struct AdminHardwareProbeResult {
    enum class Kind { success, failure };

    Kind kind = Kind::failure;
    std::string text;

    static AdminHardwareProbeResult success(std::string output) {
        return {Kind::success, std::move(output)};
    }
    static AdminHardwareProbeResult failure(std::string message) {
        return {Kind::failure, std::move(message)};
    }
    bool isSuccess() const { return kind == Kind::success; }

    friend bool operator==(const AdminHardwareProbeResult&,
                           const AdminHardwareProbeResult&) = default;
};

// Fallback sources of a fan speed range that run a program outside this process: the system's
// smcDiagnose tool, and a second copy of this executable started with administrator approval.
// Every call blocks until its child has exited; nothing is kept between calls.
class AdminHardwareProbe {
public:
    AdminHardwareProbe(ProcessRunner& runner, SystemPaths paths)
        : runner_(runner), paths_(std::move(paths)) {}

    // The elevated hardware probe of the executable at `executablePath`, through the AppleScript
    // runner's "do shell script … with administrator privileges".
    AdminHardwareProbeResult run(const std::string& executablePath);
    AdminHardwareProbeResult runSMCDiagnoseDirect();
    AdminHardwareProbeResult runProcess(const std::string& executablePath,
                                        const std::vector<std::string>& arguments);

    // The three options the elevated copy is started with.
    static std::string elevatedCommand(const std::string& executablePath);
    static std::string elevatedScript(const std::string& executablePath);
    static std::string shellQuote(const std::string& text);
    static std::string appleScriptStringLiteral(const std::string& text);

private:
    ProcessRunner& runner_;
    SystemPaths paths_;
};

} // namespace aerivo
