#include "platform/desktop/ApplicationBundle.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <fstream>

namespace aerivo {
namespace {

namespace fs = std::filesystem;

TEST(ApplicationBundle, FoundFromTheExecutableAndReadWithoutThrowing) {
    testing::TemporaryDirectory folder("aerivo-bundle");
    const fs::path bundle = folder.path() / "Aerivo Mac.app";
    const fs::path executable = bundle / "Contents/MacOS/AerivoMac";
    fs::create_directories(executable.parent_path());
    const struct {
        std::optional<std::string> infoJSON; // none: no file
        nlohmann::json expected;
    } rows[] = {
        {R"({"CFBundleIdentifier": "com.aerivo.mac", "CFBundleVersion": "7"})",
         {{"CFBundleIdentifier", "com.aerivo.mac"}, {"CFBundleVersion", "7"}}},
        {std::nullopt, nlohmann::json::object()},
        {R"({"CFBundleVersion": )", nlohmann::json::object()},
        {R"(["not", "an", "object"])", nlohmann::json::object()},
        {"{\"pad\": \"" + std::string(ApplicationBundle::maximumInfoDictionaryBytes, 'x') + "\"}",
         nlohmann::json::object()},
    };
    for (const auto& row : rows) {
        fs::remove(bundle / "Contents/Info.json");
        if (row.infoJSON) {
            std::ofstream(bundle / "Contents/Info.json") << *row.infoJSON;
        }
        const ApplicationBundle read =
            ApplicationBundle::forExecutable(bundle / "Contents/MacOS/./AerivoMac");
        EXPECT_EQ(read.bundlePath, bundle);
        EXPECT_EQ(read.executablePath, executable);
        EXPECT_EQ(read.infoDictionary, row.expected);
    }
    EXPECT_EQ(ApplicationBundle::forExecutable(bundle / "Contents/MacOS/AerivoMac")
                  .stringValue("CFBundleVersion"),
              std::nullopt);

    // Outside the bundle layout the executable's folder stands for the bundle; an unknown
    // location names none.
    EXPECT_EQ(ApplicationBundle::bundlePathForExecutable("/build/app/AerivoMac"), "/build/app");
    EXPECT_EQ(ApplicationBundle::bundlePathForExecutable("/Contents/MacOS/AerivoMac"),
              "/Contents/MacOS");
    EXPECT_EQ(ApplicationBundle::forExecutable("AerivoMac").bundlePath, fs::path());
}

} // namespace
} // namespace aerivo
