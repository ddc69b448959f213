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

// The bytes of a regular file of at most `maximumBytes`. Nothing (and a reason in `error`) for a
// missing or unreadable file, one that is not a regular file (a FIFO would block the reader, a
// device could be endless), or one that is larger. Never throws.
std::optional<std::string> readBoundedFile(const std::filesystem::path& path,
                                           std::size_t maximumBytes, std::string* error = nullptr);

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
