#include "platform/admission/ProcessFacts.h"

#include "platform/posix/BoundedJson.h"
#include "platform/posix/FileContents.h"

#include <charconv>

namespace aerivo {

namespace {

// The environment block is limited by the kernel's argument space; 16 MiB is far beyond any
// real one and keeps a hostile one from costing more.
constexpr std::size_t maximumEnvironmentBytes = 16 * 1024 * 1024;
constexpr std::size_t maximumSmallProcFileBytes = 64 * 1024;

template <typename Number> std::optional<Number> number(std::string_view text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

std::string_view nextField(std::string_view& text) {
    const std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        text = {};
        return {};
    }
    text.remove_prefix(start);
    const std::size_t end = text.find_first_of(" \t\n");
    const std::string_view field = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end);
    return field;
}

// The value after "Name:" on its own line, or nothing.
std::optional<std::string_view> statusLine(std::string_view text, std::string_view name) {
    std::size_t position = 0;
    while (position < text.size()) {
        const std::size_t end = text.find('\n', position);
        const std::string_view line =
            text.substr(position, end == std::string_view::npos ? text.npos : end - position);
        if (line.size() > name.size() && line.substr(0, name.size()) == name &&
            line[name.size()] == ':') {
            return line.substr(name.size() + 1);
        }
        if (end == std::string_view::npos) {
            break;
        }
        position = end + 1;
    }
    return std::nullopt;
}

// The second of the tab-separated numbers on a "Uid:" or "Gid:" line (real, effective, saved,
// file system).
template <typename Id> std::optional<Id> effectiveId(std::string_view value) {
    nextField(value);
    auto text = nextField(value);
    return number<Id>(text);
}

} // namespace

namespace procfs {

std::optional<std::uint64_t> startTimeFromStat(std::string_view statLine) {
    const std::size_t close = statLine.rfind(')');
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view rest = statLine.substr(close + 1);
    // After the name come field 3 (state) onwards; the start time is field 22.
    std::string_view field;
    for (int index = 3; index <= 22; ++index) {
        field = nextField(rest);
        if (field.empty()) {
            return std::nullopt;
        }
    }
    return number<std::uint64_t>(field);
}

std::optional<StatusFields> fieldsFromStatus(std::string_view statusText) {
    auto tracer = statusLine(statusText, "TracerPid");
    auto uid = statusLine(statusText, "Uid");
    auto gid = statusLine(statusText, "Gid");
    if (!tracer || !uid || !gid) {
        return std::nullopt;
    }
    std::string_view tracerText = *tracer;
    auto tracerPid = number<pid_t>(nextField(tracerText));
    auto effectiveUser = effectiveId<uid_t>(*uid);
    auto effectiveGroup = effectiveId<gid_t>(*gid);
    if (!tracerPid || !effectiveUser || !effectiveGroup) {
        return std::nullopt;
    }
    return StatusFields{*tracerPid, *effectiveUser, *effectiveGroup};
}

} // namespace procfs

std::optional<ProcessFacts> ProcessFacts::readStatus(pid_t pid) {
    if (pid <= 0) {
        return std::nullopt;
    }
    const auto status =
        readBoundedFile("/proc/" + std::to_string(pid) + "/status", maximumSmallProcFileBytes);
    const auto fields = status ? procfs::fieldsFromStatus(*status) : std::nullopt;
    if (!fields) {
        return std::nullopt;
    }
    ProcessFacts facts;
    facts.tracerPid = fields->tracerPid;
    facts.effectiveUserId = fields->effectiveUserId;
    facts.effectiveGroupId = fields->effectiveGroupId;
    return facts;
}

std::optional<ProcessFacts> ProcessFacts::read(pid_t pid,
                                               const std::vector<std::string>& watchedVariables) {
    auto facts = readStatus(pid);
    const auto environment = facts ? readBoundedFile("/proc/" + std::to_string(pid) + "/environ",
                                                     maximumEnvironmentBytes)
                                   : std::nullopt;
    if (!environment) {
        return std::nullopt;
    }
    std::string_view entries = *environment;
    while (!entries.empty()) {
        const std::size_t end = entries.find('\0');
        const std::string_view entry = entries.substr(0, end);
        for (const auto& variable : watchedVariables) {
            if (entry.size() > variable.size() && entry.substr(0, variable.size()) == variable &&
                entry[variable.size()] == '=') {
                facts->watchedVariablesSet.push_back(variable);
            }
        }
        entries.remove_prefix(end == std::string_view::npos ? entries.size() : end + 1);
    }
    return facts;
}

} // namespace aerivo
