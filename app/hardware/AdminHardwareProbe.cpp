#include "app/hardware/AdminHardwareProbe.h"

#include "shared/Utf8.h"

namespace aerivo {

namespace {

std::string replacingAll(const std::string& text, const std::string& from, const std::string& to) {
    std::string result;
    result.reserve(text.size());
    std::size_t start = 0;
    for (std::size_t found = text.find(from); found != std::string::npos;
         found = text.find(from, start)) {
        result.append(text, start, found - start);
        result.append(to);
        start = found + from.size();
    }
    result.append(text, start, std::string::npos);
    return result;
}

// Output that is not valid UTF-8 is taken as no output at all.
std::string decoded(const std::string& bytes) {
    return isValidUtf8(bytes) ? bytes : std::string();
}

} // namespace

std::string AdminHardwareProbe::shellQuote(const std::string& text) {
    return "'" + replacingAll(text, "'", "'\\''") + "'";
}

std::string AdminHardwareProbe::appleScriptStringLiteral(const std::string& text) {
    // Backslashes first, so the ones added before double quotes are not doubled again.
    const std::string escaped = replacingAll(replacingAll(text, "\\", "\\\\"), "\"", "\\\"");
    return "\"" + escaped + "\"";
}

std::string AdminHardwareProbe::elevatedCommand(const std::string& executablePath) {
    return shellQuote(executablePath) + " --print-hardware --smc-debug --smc-diagnose-fallback";
}

std::string AdminHardwareProbe::elevatedScript(const std::string& executablePath) {
    return "do shell script " + appleScriptStringLiteral(elevatedCommand(executablePath)) +
           " with administrator privileges";
}

AdminHardwareProbeResult AdminHardwareProbe::run(const std::string& executablePath) {
    return runProcess(paths_.osascript().string(), {"-e", elevatedScript(executablePath)});
}

AdminHardwareProbeResult AdminHardwareProbe::runSMCDiagnoseDirect() {
    return runProcess(paths_.smcDiagnose().string(), {});
}

AdminHardwareProbeResult AdminHardwareProbe::runProcess(const std::string& executablePath,
                                                        const std::vector<std::string>& arguments) {
    const ProcessRunResult result = runner_.run(executablePath, arguments);
    if (const auto* launchError = std::get_if<ProcessLaunchError>(&result)) {
        return AdminHardwareProbeResult::failure(launchError->message);
    }
    const auto& output = std::get<ProcessOutput>(result);
    std::string standardOutput = decoded(output.standardOutput);
    if (output.exitStatus == 0) {
        return AdminHardwareProbeResult::success(std::move(standardOutput));
    }
    const std::string standardError = decoded(output.standardError);
    const std::string_view trimmedError = trimmedWhitespaceAndNewlines(standardError);
    if (!trimmedError.empty()) {
        return AdminHardwareProbeResult::failure(std::string(trimmedError));
    }
    return AdminHardwareProbeResult::failure(
        std::string(trimmedWhitespaceAndNewlines(standardOutput)));
}

} // namespace aerivo
