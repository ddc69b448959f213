#include "app/cli/TemperatureSensorChoice.h"

#include "app/cli/CommandLineArguments.h"

#include <algorithm>

namespace aerivo {

TemperatureSensorChoice TemperatureSensorChoice::apply(const std::vector<std::string>& arguments,
                                                       const AerivoPreferences& preferences) {
    TemperatureSensorChoice choice;
    if (std::find(arguments.begin(), arguments.end(), flag) != arguments.end()) {
        const std::optional<std::string> value = valueArgument(flag, arguments);
        if (!value) {
            choice.error = std::string(flag) + " needs a sensor name, or auto";
            return choice;
        }
        const std::optional<std::string> name =
            *value == automatic ? std::nullopt : std::optional<std::string>(*value);
        const PreferencesSaveResult saved = preferences.saveTemperatureSensor(name);
        if (!saved.isSuccess) {
            choice.error = saved.detail;
            return choice;
        }
        choice.line = "temperatureSensorChoice=" + name.value_or(std::string(automatic));
    }
    choice.sensor = preferences.loadTemperatureSensor();
    return choice;
}

} // namespace aerivo
