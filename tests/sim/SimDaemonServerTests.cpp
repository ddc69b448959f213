#include "sim/daemon/SimDaemonServer.h"

#include "sim/model/SimModelPreset.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

namespace aerivo {
namespace {

TEST(SimDaemonServer, OnlyImagesInsideThePrivilegedToolsFolderArePrivileged) {
    testing::TemporaryDirectory root;
    asio::io_context io;
    SimDaemonServer server(
        io, root.path(),
        std::make_unique<SimulatedMac>(*simModelPreset(defaultSimModelPresetName), 1));
    const auto library = std::filesystem::weakly_canonical(root.path()) / "Library";
    const std::vector<std::pair<std::filesystem::path, bool>> cases = {
        {library / "PrivilegedHelperTools" / "com.aerivo.mac.Helper", true},
        {library / "PrivilegedHelperTools" / "nested" / "tool", true},
        // A sibling whose name only starts like the folder is not inside it.
        {library / "PrivilegedHelperToolsX" / "com.aerivo.mac.Helper", false},
        {library / "PrivilegedHelperTools", false},
        {library / "LaunchDaemons" / "tool", false},
        {"/usr/bin/tool", false},
    };
    for (const auto& [image, privileged] : cases) {
        EXPECT_EQ(server.isPrivilegedImage(image), privileged) << image;
    }
}

} // namespace
} // namespace aerivo
