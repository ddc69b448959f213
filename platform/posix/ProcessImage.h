#pragma once

#include <optional>
#include <string>

namespace aerivo {

// The path of this process's running executable (/proc/self/exe), or nothing when it cannot be
// read or the file it named has since been deleted or replaced.
std::optional<std::string> currentExecutablePath();

} // namespace aerivo
