#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace aerivo {

// A file could not be written or removed. what() names the file and the system's reason, e.g.
// `Could not write "/home/u/.config/autostart/x.desktop": Not a directory`.
class FileWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The bytes of a regular file of at most `maximumBytes`; none when it is missing, unreadable, not
// a regular file (a device could be endless) or larger.
std::optional<std::string> readFileContents(const std::filesystem::path& file,
                                            std::size_t maximumBytes);

// Replaces `file` as a whole: the bytes go to a temporary file in the same folder, which is
// flushed to disk and then renamed over `file`, so a reader sees the old or the new contents and
// never a part. Missing folders are created. Throws FileWriteError; a failed write leaves any
// earlier file untouched and no temporary file behind.
void writeFileAtomically(const std::filesystem::path& file, std::string_view contents,
                         std::filesystem::perms permissions = std::filesystem::perms::owner_read |
                                                              std::filesystem::perms::owner_write |
                                                              std::filesystem::perms::group_read |
                                                              std::filesystem::perms::others_read);

// Removes a file; a missing file is no error. Throws FileWriteError.
void removeFile(const std::filesystem::path& file);

} // namespace aerivo
