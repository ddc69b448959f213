#pragma once

#include <nlohmann/json.hpp>

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>

namespace aerivo::testing {

// The socket-activated test job (tests/support/programs/SocketActivatedJob.cpp) and the
// daemon definitions that name it.
struct SocketJob {
    // What the job answers to "hello".
    struct Hello {
        pid_t pid = 0;
        std::string tag;
        std::string root;
    };

    static std::filesystem::path program();
    // A definition as the installer writes one; `tag` becomes the job's first argument.
    static nlohmann::json definition(const std::string& label, const std::filesystem::path& program,
                                     const std::optional<std::string>& tag = std::nullopt);
    // Writes <root>/Library/LaunchDaemons/<Label>.plist.
    static void writeDefinition(const std::filesystem::path& root,
                                const nlohmann::json& definition);
    // One line to the job's socket and its one-line answer; nothing when the connection fails
    // or no answer comes within ten seconds.
    static std::optional<std::string> ask(const std::filesystem::path& socket,
                                          const std::string& line);
    static std::optional<Hello> hello(const std::filesystem::path& socket);
};

} // namespace aerivo::testing
