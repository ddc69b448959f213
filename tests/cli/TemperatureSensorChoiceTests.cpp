// "--temperature-sensor": the choice is saved in the settings, and later runs follow it.

#include "app/cli/TemperatureSensorChoice.h"
#include "platform/services/InMemoryUserDefaults.h"

#include <gtest/gtest.h>

namespace aerivo {
namespace {

using Arguments = std::vector<std::string>;

TEST(TemperatureSensorChoice, AValidChoiceIsSavedAutoClearsItAndABadOneChangesNothing) {
    struct Row {
        const char* name;
        Arguments arguments;
        std::optional<std::string> sensor; // what this and every later run follows
        std::optional<std::string> line;
        bool isError;
    };
    const std::string saved = "NAND Flash Temperature";
    const std::vector<Row> rows{
        {"no flag: the saved choice",
         {"AerivoMac", "--print-hardware"},
         saved,
         std::nullopt,
         false},
        {"a new name",
         {"AerivoMac", "--temperature-sensor", "Battery Hotspot"},
         "Battery Hotspot",
         "temperatureSensorChoice=Battery Hotspot",
         false},
        {"auto",
         {"AerivoMac", "--temperature-sensor", "auto"},
         std::nullopt,
         "temperatureSensorChoice=auto",
         false},
        {"no value", {"AerivoMac", "--temperature-sensor"}, saved, std::nullopt, true},
        {"an empty name", {"AerivoMac", "--temperature-sensor", ""}, saved, std::nullopt, true},
        {"a control character",
         {"AerivoMac", "--temperature-sensor", "TC0P\n"},
         saved,
         std::nullopt,
         true},
        {"longer than a label can be",
         {"AerivoMac", "--temperature-sensor", std::string(65, 'T')},
         saved,
         std::nullopt,
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto defaults = std::make_shared<InMemoryUserDefaults>();
        ASSERT_TRUE(AerivoPreferences(defaults).saveTemperatureSensor(saved).isSuccess);

        const TemperatureSensorChoice choice =
            TemperatureSensorChoice::apply(row.arguments, AerivoPreferences(defaults));
        EXPECT_EQ(choice.error.has_value(), row.isError);
        EXPECT_EQ(choice.line, row.line);
        if (!row.isError) {
            EXPECT_EQ(choice.sensor, row.sensor);
        }
        // A later run, on the same settings, without the flag.
        EXPECT_EQ(AerivoPreferences(defaults).loadTemperatureSensor(), row.sensor);
    }
}

TEST(TemperatureSensorChoice, AStoredValueThatIsNoSensorNameLoadsAsTheAutomaticChoice) {
    const auto defaults = std::make_shared<InMemoryUserDefaults>();
    ASSERT_TRUE(defaults->setString(AerivoPreferences::temperatureSensorKey, "\x01\xFF"));
    EXPECT_EQ(AerivoPreferences(defaults).loadTemperatureSensor(), std::nullopt);
}

} // namespace
} // namespace aerivo
