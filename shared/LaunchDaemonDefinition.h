#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace aerivo {

// One daemon definition of the system root's daemon folder (<root>/Library/LaunchDaemons): a
// file named "<Label>.plist" holding a JSON object, the form the installer writes and the
// simulated Mac's service manager reads.
//
//   Label                        string, the job's label; equal to the file name without ".plist"
//   Program                      string, absolute path of the executable to start
//   ProgramArguments             optional array of strings: the argument vector (default
//                                [Program])
//   MachServices                 object with exactly one entry: the label mapped to true; the job
//                                is started on the first connection to that service's socket
//   AssociatedBundleIdentifiers  array of strings (the app that installed the job)
//
// Other keys are kept in the file and ignored.
struct LaunchDaemonDefinition {
    static constexpr std::size_t maximumFileSize = 64 * 1024;
    static constexpr std::string_view fileExtension = ".plist";

    std::string label;
    std::filesystem::path program;
    std::vector<std::string> programArguments;
    std::vector<std::string> machServices;
    std::vector<std::string> associatedBundleIdentifiers;

    friend bool operator==(const LaunchDaemonDefinition&, const LaunchDaemonDefinition&) = default;

    // The argument vector the job is started with: ProgramArguments, else the program alone.
    std::vector<std::string> argumentVector() const;

    // Whether a label can name a job: not empty, at most 200 bytes, printable ASCII without
    // "/" and not starting with ".", so "<label>.plist" and "<label>.sock" stay plain file names
    // inside their folders.
    static bool isValidLabel(std::string_view label);

    // Decodes a definition file's text; `expectedLabel` is the file name without ".plist". An
    // error names the first problem found.
    static std::variant<LaunchDaemonDefinition, std::string>
    fromJSON(std::string_view text, std::string_view expectedLabel);
    static std::variant<LaunchDaemonDefinition, std::string>
    fromObject(const nlohmann::json& object, std::string_view expectedLabel);
};

} // namespace aerivo
