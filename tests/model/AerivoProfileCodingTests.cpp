#include "app/model/AerivoProfileCoding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace aerivo {
namespace {

using nlohmann::json;

Uuid id(const char* text) {
    return *Uuid::parse(text);
}

// A profile whose every field differs from the defaults, with fixed ids.
AerivoProfile sampleProfile() {
    return AerivoProfile{
        .name = "Desk \"quiet\" — 静音",
        .temperatureAxis = {"Temperature", "C", 25.5, 99.25},
        .rpmAxis = {"Fan speed", "RPM", 1000.0, 5800.0},
        .isFanOffThresholdEnabled = true,
        .fanOffThresholdC = 41.125,
        .safetyLimitC = 88.0,
        .points = {{id("0a1b2c3d-4e5f-4a7b-8c9d-0e1f2a3b4c5d"), 30.0, 1200.0},
                   {id("F0E1D2C3-B4A5-4968-8776-655443322110"), 62.75, 3333.3333333333335}},
    };
}

// A document with every required member, to which tests add or change members.
json baseDocument() {
    return json::parse(R"({
        "name": "Legacy",
        "temperatureAxis": {"title": "Temperature", "unit": "C", "minimum": 30, "maximum": 100},
        "rpmAxis": {"title": "Fan speed", "unit": "RPM", "minimum": 1200, "maximum": 6200},
        "safetyLimitC": 86,
        "points": [
            {"id": "0A1B2C3D-4E5F-4A7B-8C9D-0E1F2A3B4C5D", "temperatureC": 40, "rpm": 1500},
            {"id": "F0E1D2C3-B4A5-4968-8776-655443322110", "temperatureC": 80, "rpm": 5000}
        ]
    })");
}

AerivoProfile decoded(const json& document) {
    auto result = decodeAerivoProfile(document);
    EXPECT_TRUE(result.ok()) << result.error().message();
    return result.value().value_or(AerivoProfile{});
}

std::string failure(const json& document) {
    auto result = decodeAerivoProfile(document);
    EXPECT_FALSE(result.ok()) << document.dump();
    return result.ok() ? std::string() : result.error().message();
}

// --- Encoding ---------------------------------------------------------------------------------

TEST(AerivoProfileEncoding, WritesExactlyTheSevenMembersInOrderWithUpperCaseIds) {
    const auto document = encodeAerivoProfileDocument(sampleProfile());
    ASSERT_TRUE(document.ok()) << document.error().message();
    EXPECT_EQ(
        *document.value(),
        R"({"name":"Desk \"quiet\" — 静音",)"
        R"("temperatureAxis":{"title":"Temperature","unit":"C","minimum":25.5,"maximum":99.25},)"
        R"("rpmAxis":{"title":"Fan speed","unit":"RPM","minimum":1000.0,"maximum":5800.0},)"
        R"("isFanOffThresholdEnabled":true,"fanOffThresholdC":41.125,"safetyLimitC":88.0,)"
        R"("points":[{"id":"0A1B2C3D-4E5F-4A7B-8C9D-0E1F2A3B4C5D","temperatureC":30.0,"rpm":1200.0},)"
        R"({"id":"F0E1D2C3-B4A5-4968-8776-655443322110","temperatureC":62.75,"rpm":3333.3333333333335}]})");
}

TEST(AerivoProfileEncoding, RefusesNonFiniteNumbersNamingTheMember) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    struct Case {
        void (*damage)(AerivoProfile&, double);
        double value;
        const char* message;
    };
    const Case cases[] = {
        {[](AerivoProfile& p, double v) { p.points[1].rpm = v; }, nan,
         "points[1].rpm: not a finite number (NaN)"},
        {[](AerivoProfile& p, double v) { p.points[0].temperatureC = v; }, -infinity,
         "points[0].temperatureC: not a finite number (infinity)"},
        {[](AerivoProfile& p, double v) { p.rpmAxis.maximum = v; }, infinity,
         "rpmAxis.maximum: not a finite number (infinity)"},
        {[](AerivoProfile& p, double v) { p.temperatureAxis.minimum = v; }, nan,
         "temperatureAxis.minimum: not a finite number (NaN)"},
        {[](AerivoProfile& p, double v) { p.fanOffThresholdC = v; }, nan,
         "fanOffThresholdC: not a finite number (NaN)"},
        {[](AerivoProfile& p, double v) { p.safetyLimitC = v; }, infinity,
         "safetyLimitC: not a finite number (infinity)"},
    };
    for (const Case& c : cases) {
        AerivoProfile profile = sampleProfile();
        c.damage(profile, c.value);
        const auto document = encodeAerivoProfileDocument(profile);
        ASSERT_FALSE(document.ok()) << c.message;
        EXPECT_EQ(document.error().message(), c.message);
    }
}

TEST(AerivoProfileEncoding, RefusesTextThatIsNotUtf8AndDocumentsTooLargeToLoad) {
    AerivoProfile profile = sampleProfile();
    profile.rpmAxis.unit = "R\xFFM";
    EXPECT_FALSE(encodeAerivoProfileDocument(profile).ok());

    AerivoProfile huge = sampleProfile();
    huge.points.assign(20000, AerivoPoint(50.0, 2000.0));
    const auto document = encodeAerivoProfileDocument(huge);
    ASSERT_FALSE(document.ok());
    EXPECT_NE(document.error().message().find("allowed"), std::string::npos);
}

// --- Round trip -------------------------------------------------------------------------------

TEST(AerivoProfileRoundTrip, EveryFieldIncludingPointIdsSurvives) {
    AerivoProfile profile = sampleProfile();
    profile.points.emplace_back(90.0, 5800.0); // a fresh random id
    for (bool enabled : {true, false}) {
        profile.isFanOffThresholdEnabled = enabled;
        const auto document = encodeAerivoProfileDocument(profile);
        ASSERT_TRUE(document.ok());
        const auto back = decodeAerivoProfileDocument(*document.value());
        ASSERT_TRUE(back.ok()) << back.error().message();
        EXPECT_EQ(*back.value(), profile);
    }
}

TEST(AerivoProfileRoundTrip, NumbersKeepEveryBit) {
    AerivoProfile profile = sampleProfile();
    profile.temperatureAxis = {"T", "C", -273.15, 1e300};
    profile.safetyLimitC = 1e300;
    profile.points = {{0.1 + 0.2, 5e-324}, {1e-300, 0.30000000000000004}, {4.9e15, 1.0 / 3.0}};
    profile.normalize();
    const auto document = encodeAerivoProfileDocument(profile);
    ASSERT_TRUE(document.ok());
    const auto back = decodeAerivoProfileDocument(*document.value());
    ASSERT_TRUE(back.ok()) << back.error().message();
    EXPECT_EQ(*back.value(), profile);
}

TEST(AerivoProfileRoundTrip, LegacyMembersAreNeverWritten) {
    json document = baseDocument();
    document["isFanOffRangeEnabled"] = true;
    document["fanOffRangeEndC"] = 50;
    document["fanOffLimitC"] = 52;
    const auto text = encodeAerivoProfileDocument(decoded(document));
    ASSERT_TRUE(text.ok());
    const json written = json::parse(*text.value());
    EXPECT_EQ(written.size(), 7u);
    for (const char* legacy : {"isFanOffRangeEnabled", "fanOffRangeEndC", "fanOffLimitC"}) {
        EXPECT_FALSE(written.contains(legacy)) << legacy;
    }
    EXPECT_EQ(written["isFanOffThresholdEnabled"], true);
    EXPECT_EQ(written["fanOffThresholdC"], 50.0);
}

// --- Legacy names and their precedence ----------------------------------------------------------

TEST(AerivoProfileDecoding, FanOffSwitchFallsBackToTheRangeNameThenOff) {
    json document = baseDocument();
    EXPECT_FALSE(decoded(document).isFanOffThresholdEnabled);

    document["isFanOffRangeEnabled"] = true;
    EXPECT_TRUE(decoded(document).isFanOffThresholdEnabled);

    document["isFanOffThresholdEnabled"] = false;
    EXPECT_FALSE(decoded(document).isFanOffThresholdEnabled) << "the current name wins";

    document["isFanOffThresholdEnabled"] = nullptr;
    EXPECT_TRUE(decoded(document).isFanOffThresholdEnabled) << "null counts as absent";
}

TEST(AerivoProfileDecoding, ThresholdPrefersCurrentThenRangeEndThenLimit) {
    json document = baseDocument();
    document["fanOffLimitC"] = 52;
    EXPECT_EQ(decoded(document).fanOffThresholdC, 52.0);

    document["fanOffRangeEndC"] = 50;
    EXPECT_EQ(decoded(document).fanOffThresholdC, 50.0);

    document["fanOffThresholdC"] = 47.5;
    EXPECT_EQ(decoded(document).fanOffThresholdC, 47.5);

    document["fanOffThresholdC"] = nullptr;
    EXPECT_EQ(decoded(document).fanOffThresholdC, 50.0);
    document["fanOffRangeEndC"] = nullptr;
    EXPECT_EQ(decoded(document).fanOffThresholdC, 52.0);
    document["fanOffLimitC"] = nullptr;
    EXPECT_EQ(decoded(document).fanOffThresholdC, 45.0);
}

TEST(AerivoProfileDecoding, MissingThresholdDefaultsToFortyFiveOrTheAxisMaximumThenClamps) {
    json document = baseDocument();
    EXPECT_EQ(decoded(document).fanOffThresholdC, 45.0);

    document["temperatureAxis"]["maximum"] = 40;
    EXPECT_EQ(decoded(document).fanOffThresholdC, 40.0);

    // The default, like any stored value, is then held 1 °C below the safety limit.
    document["temperatureAxis"]["maximum"] = 100;
    document["safetyLimitC"] = 40;
    EXPECT_EQ(decoded(document).fanOffThresholdC, 39.0);
}

TEST(AerivoProfileDecoding, StoredThresholdIsClampedIntoTheFanOffBounds) {
    json document = baseDocument();
    document["fanOffThresholdC"] = 95;
    EXPECT_EQ(decoded(document).fanOffThresholdC, 85.0);
    document["fanOffThresholdC"] = 10;
    EXPECT_EQ(decoded(document).fanOffThresholdC, 30.0);
    document.erase("fanOffThresholdC");
    document["fanOffRangeEndC"] = 99;
    EXPECT_EQ(decoded(document).fanOffThresholdC, 85.0);
}

TEST(AerivoProfileDecoding, PointsComeBackSortedAndInsideTheAxesWhileAxesStayAsStored) {
    json document = baseDocument();
    document["points"] = json::parse(R"([
        {"id": "00000000-0000-4000-8000-000000000003", "temperatureC": 120, "rpm": 9000},
        {"id": "00000000-0000-4000-8000-000000000001", "temperatureC": 10, "rpm": 100},
        {"id": "00000000-0000-4000-8000-000000000002", "temperatureC": 55, "rpm": 3000}
    ])");
    document["safetyLimitC"] = 150;
    const AerivoProfile profile = decoded(document);
    ASSERT_EQ(profile.points.size(), 3u);
    EXPECT_EQ(profile.points[0], AerivoPoint(id("00000000-0000-4000-8000-000000000001"), 30, 1200));
    EXPECT_EQ(profile.points[1], AerivoPoint(id("00000000-0000-4000-8000-000000000002"), 55, 3000));
    EXPECT_EQ(profile.points[2],
              AerivoPoint(id("00000000-0000-4000-8000-000000000003"), 100, 6200));
    EXPECT_EQ(profile.safetyLimitC, 150.0);
    EXPECT_EQ(profile.temperatureAxis, (AerivoAxis{"Temperature", "C", 30, 100}));
}

TEST(AerivoProfileDecoding, AcceptsLowerCaseIdsIntegersEmptyPointListsAndUnknownMembers) {
    json document = baseDocument();
    document["points"][0]["id"] = "0a1b2c3d-4e5f-4a7b-8c9d-0e1f2a3b4c5d";
    document["futureMember"] = {{"nested", {1, 2, 3}}};
    document["points"][1]["label"] = "hot";
    const AerivoProfile profile = decoded(document);
    EXPECT_EQ(profile.points[0].id.string(), "0A1B2C3D-4E5F-4A7B-8C9D-0E1F2A3B4C5D");
    EXPECT_EQ(profile.rpmAxis.minimum, 1200.0);

    document["points"] = json::array();
    EXPECT_TRUE(decoded(document).points.empty());
}

// --- Failures
// -------------------------------------------------------------------------------------

TEST(AerivoProfileDecoding, AMissingOrNullRequiredMemberFails) {
    for (const char* name : {"name", "temperatureAxis", "rpmAxis", "safetyLimitC", "points"}) {
        json document = baseDocument();
        document.erase(name);
        EXPECT_EQ(failure(document), std::string(name) + ": missing");
        document[name] = nullptr;
        EXPECT_EQ(failure(document), std::string(name) + ": is null");
    }
    for (const char* name : {"title", "unit", "minimum", "maximum"}) {
        json document = baseDocument();
        document["rpmAxis"].erase(name);
        EXPECT_EQ(failure(document), std::string("rpmAxis.") + name + ": missing");
    }
    for (const char* name : {"id", "temperatureC", "rpm"}) {
        json document = baseDocument();
        document["points"][1][name] = nullptr;
        EXPECT_EQ(failure(document), std::string("points[1].") + name + ": is null");
    }
}

TEST(AerivoProfileDecoding, AnyKnownMemberOfTheWrongTypeFailsTheWholeDocument) {
    const std::pair<const char*, json> cases[] = {
        {"/isFanOffThresholdEnabled", "yes"},
        {"/isFanOffThresholdEnabled", 1},
        {"/isFanOffRangeEnabled", 0},
        {"/fanOffThresholdC", "45"},
        {"/fanOffRangeEndC", true},
        {"/fanOffLimitC", json::array({52})},
        {"/name", 7},
        {"/safetyLimitC", "86"},
        {"/points", json::object()},
        {"/points/0", json::array()},
        {"/points/0/id", 12345},
        {"/points/1/rpm", "NaN"},
        {"/temperatureAxis", "30...100"},
        {"/temperatureAxis/maximum", false},
        {"/rpmAxis/title", json::object()},
    };
    for (const auto& [pointer, value] : cases) {
        json document = baseDocument();
        document[json::json_pointer(pointer)] = value;
        failure(document);
    }
    // A legacy member is checked even when the current name outranks it.
    json document = baseDocument();
    document["fanOffThresholdC"] = 50;
    document["fanOffLimitC"] = "52";
    EXPECT_EQ(failure(document), "fanOffLimitC: expected a number, found a string");
}

TEST(AerivoProfileDecoding, FailuresNameTheMemberAndTheProblem) {
    json document = baseDocument();
    document["points"][1]["rpm"] = "fast";
    EXPECT_EQ(failure(document), "points[1].rpm: expected a number, found a string");
    document = baseDocument();
    document["points"][0]["id"] = "not-a-uuid";
    EXPECT_EQ(failure(document), "points[0].id: not a UUID");
    document = baseDocument();
    document["temperatureAxis"]["minimum"] = nullptr;
    EXPECT_EQ(failure(document), "temperatureAxis.minimum: is null");
    EXPECT_EQ(failure(json::array()), "expected an object, found an array");
}

TEST(AerivoProfileDecoding, RefusesNumbersTooLargeForADouble) {
    const std::string text = baseDocument().dump();
    const std::string overflowing = std::string(text).replace(text.find("86"), 2, "1e999");
    const auto result = decodeAerivoProfileDocument(overflowing);
    ASSERT_FALSE(result.ok());
    EXPECT_NE(result.error().message().find("number overflow"), std::string::npos);

    // A tree built in memory can hold infinities that no text can; they fail just the same.
    json document = baseDocument();
    document["points"][0]["rpm"] = std::numeric_limits<double>::infinity();
    EXPECT_EQ(failure(document), "points[0].rpm: number out of range");
}

// --- Documents
// --------------------------------------------------------------------------------------

TEST(AerivoProfileDocument, EveryTruncationOfAValidDocumentFailsCleanly) {
    const std::string text = *encodeAerivoProfileDocument(sampleProfile()).value();
    ASSERT_TRUE(decodeAerivoProfileDocument(text).ok());
    for (std::size_t length = 0; length < text.size(); ++length) {
        EXPECT_FALSE(decodeAerivoProfileDocument(std::string_view(text).substr(0, length)).ok())
            << length;
    }
}

TEST(AerivoProfileDocument, RefusesTextThatIsNotExactlyOneJsonDocument) {
    const std::string valid = baseDocument().dump();
    for (const std::string& text :
         {std::string(), std::string("not json"), valid + " {}", valid + "x",
          std::string("\x00", 1), std::string(R"({"name": NaN})"),
          std::string(R"({"safetyLimitC": Infinity})"), std::string("{\"name\": \"\xC3\x28\"}"),
          std::string("// comment\n") + valid, std::string("null"), std::string("42")}) {
        const auto result = decodeAerivoProfileDocument(text);
        EXPECT_FALSE(result.ok()) << text;
    }
    EXPECT_TRUE(decodeAerivoProfileDocument("  \n" + valid + "\n  ").ok());
}

TEST(AerivoProfileDocument, BoundsNestingAndSize) {
    const std::string deep(200000, '[');
    const auto nested = decodeAerivoProfileDocument(deep);
    ASSERT_FALSE(nested.ok());
    EXPECT_NE(nested.error().message().find("nested deeper"), std::string::npos);

    // Unknown members may nest, up to the bound.
    json document = baseDocument();
    json inner = 1;
    for (std::size_t level = 0; level + 2 < maximumProfileDocumentDepth; ++level) {
        inner = json::array({inner});
    }
    document["extra"] = inner;
    EXPECT_TRUE(decodeAerivoProfileDocument(document.dump()).ok());
    document["extra"] = json::array({json::array({inner})});
    EXPECT_FALSE(decodeAerivoProfileDocument(document.dump()).ok());

    std::string padded = baseDocument().dump();
    padded.append(maximumProfileDocumentBytes - padded.size(), ' ');
    EXPECT_TRUE(decodeAerivoProfileDocument(padded).ok());
    padded.push_back(' ');
    EXPECT_FALSE(decodeAerivoProfileDocument(padded).ok());
}

} // namespace
} // namespace aerivo
