#include "shared/LaunchDaemonDefinition.h"

#include <gtest/gtest.h>

namespace aerivo {
namespace {

constexpr const char* label = "com.aerivo.mac.Helper";

nlohmann::json validDefinition() {
    return {{"Label", label},
            {"Program", "/Library/PrivilegedHelperTools/com.aerivo.mac.Helper"},
            {"MachServices", {{label, true}}},
            {"AssociatedBundleIdentifiers", {"com.aerivo.mac"}},
            {"KeepAlive", false}};
}

TEST(LaunchDaemonDefinition, ReadsTheInstallersDefinition) {
    const auto parsed = LaunchDaemonDefinition::fromJSON(validDefinition().dump(), label);
    const auto* definition = std::get_if<LaunchDaemonDefinition>(&parsed);
    ASSERT_NE(definition, nullptr) << std::get<std::string>(parsed);
    EXPECT_EQ(definition->argumentVector(),
              std::vector<std::string>{"/Library/PrivilegedHelperTools/com.aerivo.mac.Helper"});
    EXPECT_EQ(definition->machServices, std::vector<std::string>{label});
    EXPECT_EQ(definition->associatedBundleIdentifiers, std::vector<std::string>{"com.aerivo.mac"});

    nlohmann::json withArguments = validDefinition();
    withArguments["ProgramArguments"] = {"helper", "--verbose"};
    const auto arguments = LaunchDaemonDefinition::fromJSON(withArguments.dump(), label);
    ASSERT_TRUE(std::holds_alternative<LaunchDaemonDefinition>(arguments));
    EXPECT_EQ(std::get<LaunchDaemonDefinition>(arguments).argumentVector(),
              (std::vector<std::string>{"helper", "--verbose"}));
}

TEST(LaunchDaemonDefinition, ADamagedDefinitionNamesItsFirstProblem) {
    using Edit = std::function<void(nlohmann::json&)>;
    const std::vector<std::pair<Edit, std::string>> cases = {
        {[](auto& d) { d.erase("Label"); }, "Label must be a string"},
        {[](auto& d) { d["Label"] = "com.aerivo.mac.Other"; }, "does not match the file name"},
        {[](auto& d) { d["Program"] = "helper"; }, "Program must be an absolute path"},
        {[](auto& d) { d["Program"] = 7; }, "Program must be an absolute path"},
        {[](auto& d) { d["ProgramArguments"] = nlohmann::json::array(); }, "must not be empty"},
        {[](auto& d) {
             d["ProgramArguments"] = {"a", 1};
         },
         "must hold only strings"},
        {[](auto& d) { d.erase("MachServices"); }, "MachServices must map the label"},
        {[](auto& d) { d["MachServices"][label] = 1; }, "MachServices must map the label"},
        {[](auto& d) { d["MachServices"]["other"] = true; }, "MachServices must map the label"},
        {[](auto& d) { d["AssociatedBundleIdentifiers"] = "com.aerivo.mac"; }, "must be an array"},
        {[](auto& d) { d = nlohmann::json::array(); }, "not a JSON object"},
    };
    for (const auto& [edit, message] : cases) {
        nlohmann::json definition = validDefinition();
        edit(definition);
        const auto parsed = LaunchDaemonDefinition::fromJSON(definition.dump(), label);
        ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << message;
        EXPECT_NE(std::get<std::string>(parsed).find(message), std::string::npos)
            << std::get<std::string>(parsed);
    }
    const std::vector<std::pair<std::string, std::string>> texts = {
        {"{\"Label\": ", "not valid JSON"},
        {"\"\xff\"", "not UTF-8"},
        {std::string(LaunchDaemonDefinition::maximumFileSize + 1, ' '), "larger than 64 KiB"},
    };
    for (const auto& [text, message] : texts) {
        const auto parsed = LaunchDaemonDefinition::fromJSON(text, label);
        ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << message;
        EXPECT_NE(std::get<std::string>(parsed).find(message), std::string::npos);
    }
}

TEST(LaunchDaemonDefinition, LabelsStayPlainFileNames) {
    for (const std::string& bad : std::vector<std::string>{
             "", ".hidden", "../escape", "a/b", "with space", "tab\there", std::string(201, 'a')}) {
        EXPECT_FALSE(LaunchDaemonDefinition::isValidLabel(bad)) << bad;
    }
    EXPECT_TRUE(LaunchDaemonDefinition::isValidLabel("com.aerivo.mac.Helper"));
    EXPECT_TRUE(LaunchDaemonDefinition::isValidLabel(std::string(200, 'a')));
}

} // namespace
} // namespace aerivo
