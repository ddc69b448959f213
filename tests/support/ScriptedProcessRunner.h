#pragma once

#include "platform/posix/ProcessRunner.h"

#include <string>
#include <vector>

namespace aerivo::testing {

// A process runner that answers a scripted result and records every run.
class ScriptedProcessRunner final : public ProcessRunner {
public:
    struct Run {
        std::string path;
        std::vector<std::string> arguments;
    };

    ProcessRunResult next = ProcessOutput{};
    std::vector<Run> runs;

    ProcessRunResult run(const std::string& path, const std::vector<std::string>& args) override {
        runs.push_back({path, args});
        return next;
    }
};

} // namespace aerivo::testing
