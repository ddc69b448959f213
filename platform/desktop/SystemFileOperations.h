#pragma once

#include "platform/desktop/FreedesktopTrash.h"
#include "platform/services/FileOperations.h"

namespace aerivo {

// FileOperations on the real file system, with the freedesktop Trash.
class SystemFileOperations final : public FileOperations {
public:
    SystemFileOperations(std::filesystem::path temporaryDirectory, FreedesktopTrash trash);
    // The process's temporary folder (TMPDIR, else /tmp) and the user's Trash.
    static SystemFileOperations standard();

    std::filesystem::path temporaryDirectory() const override { return temporaryDirectory_; }
    bool itemExists(const std::filesystem::path& item) const override;
    std::filesystem::path resolvedPath(const std::filesystem::path& item) const override;
    std::optional<bool> isOnReadOnlyVolume(const std::filesystem::path& item) const override;

    void copyItem(const std::filesystem::path& from, const std::filesystem::path& to) override;
    void moveItem(const std::filesystem::path& from, const std::filesystem::path& to) override;
    void trashItem(const std::filesystem::path& item) override;
    void removeItem(const std::filesystem::path& item) override;
    void createFolder(const std::filesystem::path& folder) override;

private:
    std::filesystem::path temporaryDirectory_;
    FreedesktopTrash trash_;
};

} // namespace aerivo
