#pragma once

#include <filesystem>
#include <string>

namespace aerivo::testing {

// A fresh folder under the system's temporary directory, removed with everything in it when the
// object goes away. Used as a system root, a settings folder or a socket folder.
class TemporaryDirectory {
public:
    explicit TemporaryDirectory(const std::string& prefix = "aerivo-test");
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace aerivo::testing
