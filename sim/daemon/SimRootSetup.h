#pragma once

#include "sim/daemon/SimCommandLine.h"

#include <filesystem>
#include <string>
#include <vector>

namespace aerivo {

// What a fresh system root needs before the simulated Mac serves it, as a Mac ships them: the
// trust anchor the build signed with (<root>/Library/Aerivo/TrustAnchors/<anchor file name>)
// and the osascript stand-in (<root>/usr/bin/osascript, a copy of aerivo-sim-osascript from
// `programFolder`). Files are replaced atomically, so a program running the old copy keeps
// running. Returns notes for standard error about what could not be put in place; none of them
// stops the simulator.
std::vector<std::string> prepareSimulatedRoot(const SimServeOptions& options,
                                              const std::filesystem::path& programFolder);

// The stand-in's file name beside aerivo-sim-mac.
inline constexpr const char* simOsascriptProgramName = "aerivo-sim-osascript";

} // namespace aerivo
