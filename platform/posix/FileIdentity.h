#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>

namespace aerivo {

// Who a file is, as far as the file system can tell without reading it: device and inode name
// the file, size and the two change times move with any write, rename onto it or metadata
// change. Two equal identities taken at different moments mean nothing changed in between
// (short of someone resetting both times by hand, which needs the file's owner or root).
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;
    std::int64_t changedSeconds = 0;
    std::int64_t changedNanoseconds = 0;

    // stat(2) of the path, following links (so "/proc/<pid>/exe" gives the running image).
    static std::optional<FileIdentity> ofPath(const std::filesystem::path& path);
    // fstat(2) of an open descriptor.
    static std::optional<FileIdentity> ofDescriptor(int descriptor);

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

} // namespace aerivo
