#include "platform/posix/SystemPaths.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace aerivo {
namespace {

// A set AERIVO_SYSTEM_ROOT (even "/") names a simulated Mac; without it, or empty, the program
// runs on this Linux host, whose helper, anchors and sockets are not in Mac folders.
TEST(SystemPaths, TheEnvironmentChoosesASimulatedMacOrThisHost) {
    const struct {
        const char* root; // nullptr: unset
        SystemPaths::Layout layout;
        std::filesystem::path socket;
    } rows[] = {
        {"/tmp/mac", SystemPaths::Layout::mac, "/tmp/mac/var/run/x.sock"},
        {"/", SystemPaths::Layout::mac, "/var/run/x.sock"},
        {"", SystemPaths::Layout::linuxHost, "/run/x.sock"},
        {nullptr, SystemPaths::Layout::linuxHost, "/run/x.sock"},
    };
    for (const auto& row : rows) {
        if (row.root != nullptr) {
            ::setenv("AERIVO_SYSTEM_ROOT", row.root, 1);
        } else {
            ::unsetenv("AERIVO_SYSTEM_ROOT");
        }
        const SystemPaths paths = SystemPaths::fromEnvironment();
        EXPECT_EQ(paths.layout(), row.layout) << (row.root ? row.root : "unset");
        EXPECT_EQ(paths.helperSocket("x"), row.socket);
    }
    ::unsetenv("AERIVO_SYSTEM_ROOT");
}

} // namespace
} // namespace aerivo
