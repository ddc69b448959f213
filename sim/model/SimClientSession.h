#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace aerivo {

// One client of the simulated Mac (a process on its device socket, or an in-process test). The
// objects it was given (service references and open user clients) belong to it and go away with
// it, as a task's ports do on the Mac.
struct SimClientSession {
    std::string name;
    bool privileged = false;
    std::map<std::uint32_t, std::size_t> objects;     // object handle -> registry entry
    std::map<std::uint32_t, std::size_t> connections; // connection handle -> registry entry

    bool operator==(const SimClientSession&) const = default;
};

using SimSessionId = std::uint64_t;

} // namespace aerivo
