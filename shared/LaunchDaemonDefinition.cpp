#include "shared/LaunchDaemonDefinition.h"

#include "shared/Utf8.h"

namespace aerivo {

namespace {

std::variant<std::vector<std::string>, std::string> stringArray(const nlohmann::json& value,
                                                                const char* key) {
    if (!value.is_array()) {
        return std::string(key) + " must be an array of strings";
    }
    std::vector<std::string> strings;
    for (const auto& item : value) {
        if (!item.is_string()) {
            return std::string(key) + " must hold only strings";
        }
        strings.push_back(item.get<std::string>());
    }
    return strings;
}

} // namespace

std::vector<std::string> LaunchDaemonDefinition::argumentVector() const {
    if (!programArguments.empty()) {
        return programArguments;
    }
    return {program.string()};
}

bool LaunchDaemonDefinition::isValidLabel(std::string_view label) {
    if (label.empty() || label.size() > 200 || label.front() == '.') {
        return false;
    }
    for (const char c : label) {
        if (c <= ' ' || c > '~' || c == '/') {
            return false;
        }
    }
    return true;
}

std::variant<LaunchDaemonDefinition, std::string>
LaunchDaemonDefinition::fromJSON(std::string_view text, std::string_view expectedLabel) {
    if (text.size() > maximumFileSize) {
        return std::string("the definition is larger than 64 KiB");
    }
    if (!isValidUtf8(text)) {
        return std::string("the definition is not UTF-8 text");
    }
    const nlohmann::json object = nlohmann::json::parse(text, nullptr, false);
    if (object.is_discarded()) {
        return std::string("the definition is not valid JSON");
    }
    return fromObject(object, expectedLabel);
}

std::variant<LaunchDaemonDefinition, std::string>
LaunchDaemonDefinition::fromObject(const nlohmann::json& object, std::string_view expectedLabel) {
    if (!object.is_object()) {
        return std::string("the definition is not a JSON object");
    }
    LaunchDaemonDefinition definition;
    const auto label = object.find("Label");
    if (label == object.end() || !label->is_string()) {
        return std::string("Label must be a string");
    }
    definition.label = label->get<std::string>();
    if (!isValidLabel(definition.label)) {
        return "Label \"" + definition.label + "\" is not a valid job label";
    }
    if (definition.label != expectedLabel) {
        return "Label \"" + definition.label + "\" does not match the file name \"" +
               std::string(expectedLabel) + std::string(fileExtension) + "\"";
    }

    const auto program = object.find("Program");
    if (program == object.end() || !program->is_string() ||
        !std::filesystem::path(program->get<std::string>()).is_absolute()) {
        return std::string("Program must be an absolute path");
    }
    definition.program = program->get<std::string>();

    if (const auto arguments = object.find("ProgramArguments"); arguments != object.end()) {
        auto parsed = stringArray(*arguments, "ProgramArguments");
        if (auto* error = std::get_if<std::string>(&parsed)) {
            return *error;
        }
        definition.programArguments = std::get<std::vector<std::string>>(parsed);
        if (definition.programArguments.empty()) {
            return std::string("ProgramArguments must not be empty");
        }
    }

    const auto services = object.find("MachServices");
    if (services == object.end() || !services->is_object() || services->size() != 1 ||
        !services->contains(definition.label) || (*services)[definition.label] != true) {
        return std::string("MachServices must map the label, and only the label, to true");
    }
    definition.machServices = {definition.label};

    const auto bundles = object.find("AssociatedBundleIdentifiers");
    if (bundles == object.end()) {
        return std::string("AssociatedBundleIdentifiers must be an array of strings");
    }
    auto parsed = stringArray(*bundles, "AssociatedBundleIdentifiers");
    if (auto* error = std::get_if<std::string>(&parsed)) {
        return *error;
    }
    definition.associatedBundleIdentifiers = std::get<std::vector<std::string>>(parsed);
    return definition;
}

} // namespace aerivo
