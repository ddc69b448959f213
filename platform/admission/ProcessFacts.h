#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// What /proc tells about a running process, for deciding whether to trust it. Which process a pid
// names can change between reads; PinnedProcess tells whether it did.
struct ProcessFacts {
    // The process tracing this one ("TracerPid" of /proc/<pid>/status), 0 when none.
    pid_t tracerPid = 0;
    uid_t effectiveUserId = 0;
    gid_t effectiveGroupId = 0;
    // Which of the watched variables the process's environment sets (/proc/<pid>/environ: the
    // environment it was started with, as its loader saw it).
    std::vector<std::string> watchedVariablesSet;

    // Nothing when the process is gone or its files cannot be read or understood.
    static std::optional<ProcessFacts> read(pid_t pid,
                                            const std::vector<std::string>& watchedVariables);
    // The same without the environment (which cannot change what the loader already did): the
    // tracer and the ids, from /proc/<pid>/status alone.
    static std::optional<ProcessFacts> readStatus(pid_t pid);

    friend bool operator==(const ProcessFacts&, const ProcessFacts&) = default;
};

// Parsers of the two /proc texts, apart so that odd contents can be tested without a process.
namespace procfs {
// Field 22 of a /proc/<pid>/stat line: clock ticks after boot at which the process was created
// (exec keeps it; a new process under a reused pid has another). The command name (field 2) is in
// parentheses and may hold spaces and parentheses itself, so fields are counted after the last ')'.
std::optional<std::uint64_t> startTimeFromStat(std::string_view statLine);
struct StatusFields {
    pid_t tracerPid = 0;
    uid_t effectiveUserId = 0;
    gid_t effectiveGroupId = 0;
};
std::optional<StatusFields> fieldsFromStatus(std::string_view statusText);
} // namespace procfs

} // namespace aerivo
