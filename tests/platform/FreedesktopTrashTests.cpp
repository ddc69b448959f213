#include "platform/desktop/FreedesktopTrash.h"
#include "platform/posix/FileContents.h"
#include "platform/services/FileOperations.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <fstream>

namespace aerivo {
namespace {

namespace fs = std::filesystem;

TEST(FreedesktopTrash, TakenNamesAreNumberedAndEachItemRecordsWhereItCameFrom) {
    testing::TemporaryDirectory folder("aerivo-trash");
    const fs::path trashFolder = folder.path() / "data/Trash";
    // 2001-09-09 01:46:40 UTC; the info file records local time, so only its shape is fixed.
    const FreedesktopTrash trash(
        trashFolder, [] { return std::chrono::system_clock::from_time_t(1'000'000'000); });
    const fs::path item = folder.path() / "Apps ü/Aerivo Mac.app";
    std::vector<fs::path> trashed;
    for (const char* version : {"1", "2", "3"}) {
        fs::create_directories(item);
        std::ofstream(item / "version") << version;
        trashed.push_back(trash.trash(item));
        EXPECT_FALSE(fs::exists(item));
    }
    ASSERT_EQ(trashed.size(), 3u);
    EXPECT_EQ(trashed[0], trashFolder / "files/Aerivo Mac.app");
    EXPECT_EQ(trashed[1], trashFolder / "files/Aerivo Mac 2.app");
    EXPECT_EQ(trashed[2], trashFolder / "files/Aerivo Mac 3.app");
    EXPECT_EQ(readBoundedFile(trashed[2] / "version", 16), "3");
    const auto info = readBoundedFile(trashFolder / "info/Aerivo Mac 2.app.trashinfo", 4096);
    ASSERT_TRUE(info.has_value());
    const std::string path = FreedesktopTrash::escapedPath(item.string());
    EXPECT_NE(path.find("/Apps%20%C3%BC/Aerivo%20Mac.app"), std::string::npos);
    EXPECT_TRUE(info->starts_with("[Trash Info]\nPath=" + path + "\nDeletionDate=2001-09-"))
        << *info;
    EXPECT_EQ(fs::status(trashFolder).permissions() & fs::perms::all, fs::perms::owner_all);

    try {
        trash.trash(item);
        FAIL() << "trashed a missing item";
    } catch (const FileOperationError& error) {
        EXPECT_NE(std::string(error.what()).find(item.string()), std::string::npos);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(trashFolder / "info"), fs::directory_iterator()),
              3);
}

} // namespace
} // namespace aerivo
