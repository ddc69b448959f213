#include "platform/posix/ProcessImage.h"

#include <filesystem>
#include <string_view>
#include <system_error>

namespace aerivo {

std::optional<std::string> currentExecutablePath() {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || path.empty()) {
        return std::nullopt;
    }
    // The kernel marks an image whose file is gone (a rebuild replaced it) this way; the path
    // would start another program, or none.
    constexpr std::string_view deletedMark = " (deleted)";
    std::string text = path.string();
    if (text.ends_with(deletedMark)) {
        return std::nullopt;
    }
    return text;
}

} // namespace aerivo
