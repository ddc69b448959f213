#include "shared/AerivoManualTargetLeaseRequest.h"
#include "shared/AerivoManualTargetLeaseResponse.h"
#include "shared/ContractValues.h"

#include <gtest/gtest.h>

#include <limits>

namespace aerivo {
namespace {

using nlohmann::json;

json validRequest() {
    return json::parse(R"({"fanIndex": 0, "targetRPM": 2100.5, "holdSeconds": 5,
                           "reason": "app-curve-renewal"})");
}

TEST(LeaseRequest, MemberwiseDefaultsTheReasonOnly) {
    const AerivoManualTargetLeaseRequest request{1, 2500.0, 99};
    EXPECT_EQ(request.reason, "manual-target-lease");
    EXPECT_EQ(request.holdSeconds, 99); // not clamped here
    EXPECT_FALSE(request.isCurveRenewal());
}

TEST(LeaseRequest, CurveRenewalComparisonIsExact) {
    AerivoManualTargetLeaseRequest request{0, 2000.0, 15, "app-curve-renewal"};
    EXPECT_TRUE(request.isCurveRenewal());
    request.reason = "APP-CURVE-RENEWAL";
    EXPECT_FALSE(request.isCurveRenewal());
    request.reason = "app-manual-target-lease";
    EXPECT_FALSE(request.isCurveRenewal());
}

TEST(LeaseRequest, DictionaryRoundTripsThroughWireText) {
    const AerivoManualTargetLeaseRequest request{0, 2000.0, 15, "app-curve-renewal"};
    const json dictionary = request.dictionary();
    EXPECT_EQ(dictionary.size(), 4u);
    EXPECT_TRUE(dictionary.at("fanIndex").is_number_integer());
    EXPECT_TRUE(dictionary.at("holdSeconds").is_number_integer());
    EXPECT_TRUE(dictionary.at("targetRPM").is_number_float());
    EXPECT_TRUE(dictionary.at("reason").is_string());
    // A whole target still travels as a floating-point number.
    EXPECT_EQ(dictionary.dump().find("\"targetRPM\":2000.0") != std::string::npos, true);
    EXPECT_EQ(AerivoManualTargetLeaseRequest::fromDictionary(json::parse(dictionary.dump())),
              request);
}

TEST(LeaseRequest, NumberConversionRules) {
    json dictionary = validRequest();
    dictionary["targetRPM"] = 2000; // integer number
    auto request = AerivoManualTargetLeaseRequest::fromDictionary(dictionary);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->targetRPM, 2000.0);

    dictionary = validRequest();
    dictionary["holdSeconds"] = 4.0; // whole floating-point value
    request = AerivoManualTargetLeaseRequest::fromDictionary(dictionary);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->holdSeconds, 4);

    dictionary["holdSeconds"] = 4.5; // a fraction is not an integer
    EXPECT_FALSE(AerivoManualTargetLeaseRequest::fromDictionary(dictionary));

    dictionary = validRequest();
    dictionary["fanIndex"] = -0.5;
    EXPECT_FALSE(AerivoManualTargetLeaseRequest::fromDictionary(dictionary));
}

TEST(LeaseRequest, StringsAndBooleansNeverBecomeNumbers) {
    for (const char* key : {"fanIndex", "targetRPM", "holdSeconds"}) {
        json dictionary = validRequest();
        dictionary[key] = "4";
        EXPECT_FALSE(AerivoManualTargetLeaseRequest::fromDictionary(dictionary)) << key;
        dictionary[key] = true;
        EXPECT_FALSE(AerivoManualTargetLeaseRequest::fromDictionary(dictionary)) << key;
        dictionary[key] = nullptr;
        EXPECT_FALSE(AerivoManualTargetLeaseRequest::fromDictionary(dictionary)) << key;
    }
    json dictionary = validRequest();
    dictionary["reason"] = 7;
    EXPECT_FALSE(AerivoManualTargetLeaseRequest::fromDictionary(dictionary));
    dictionary["reason"] = true;
    EXPECT_FALSE(AerivoManualTargetLeaseRequest::fromDictionary(dictionary));
}

TEST(LeaseRequest, EveryKeyIsRequiredAndExtraKeysAreIgnored) {
    for (const char* key : {"fanIndex", "targetRPM", "holdSeconds", "reason"}) {
        json dictionary = validRequest();
        dictionary.erase(key);
        EXPECT_FALSE(AerivoManualTargetLeaseRequest::fromDictionary(dictionary)) << key;
    }
    json dictionary = validRequest();
    dictionary["extra"] = {1, 2, 3};
    const auto request = AerivoManualTargetLeaseRequest::fromDictionary(dictionary);
    ASSERT_TRUE(request);
    EXPECT_EQ(*request, (AerivoManualTargetLeaseRequest{0, 2100.5, 5, "app-curve-renewal"}));
}

TEST(LeaseRequest, NonObjectsAndOutOfRangeValuesAreRefused) {
    EXPECT_FALSE(AerivoManualTargetLeaseRequest::fromDictionary(json::array({0, 1})));
    EXPECT_FALSE(AerivoManualTargetLeaseRequest::fromDictionary(json("fanIndex")));
    EXPECT_FALSE(AerivoManualTargetLeaseRequest::fromDictionary(json()));

    // Beyond 64 bits there is no lossless integer.
    json dictionary = validRequest();
    dictionary["holdSeconds"] = 1e20;
    EXPECT_FALSE(AerivoManualTargetLeaseRequest::fromDictionary(dictionary));
    dictionary["holdSeconds"] = std::numeric_limits<std::uint64_t>::max();
    EXPECT_FALSE(AerivoManualTargetLeaseRequest::fromDictionary(dictionary));
    dictionary["holdSeconds"] = 9223372036854775808.0; // 2^63
    EXPECT_FALSE(AerivoManualTargetLeaseRequest::fromDictionary(dictionary));

    dictionary = validRequest();
    dictionary["targetRPM"] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(AerivoManualTargetLeaseRequest::fromDictionary(dictionary));
    dictionary["targetRPM"] = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(AerivoManualTargetLeaseRequest::fromDictionary(dictionary));
}

TEST(LeaseRequest, EnormousIntegersAreReadAtFullWidth) {
    // The helper bounds the hold; the reader must not refuse what the Mac's integers carry.
    constexpr std::int64_t lowest = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t highest = std::numeric_limits<std::int64_t>::max();
    for (const json& hold : {json(highest), json(lowest), json(std::uint64_t{highest}),
                             json(std::int64_t{1} << 40), json(-9223372036854775808.0)}) {
        json dictionary = validRequest();
        dictionary["holdSeconds"] = hold;
        dictionary["fanIndex"] = hold;
        const auto request =
            AerivoManualTargetLeaseRequest::fromDictionary(json::parse(dictionary.dump()));
        ASSERT_TRUE(request) << hold;
        EXPECT_EQ(request->holdSeconds, hold.is_number_float() ? lowest : hold.get<std::int64_t>());
        EXPECT_EQ(request->fanIndex, request->holdSeconds);
    }
}

TEST(ContractValues, IntegerLimitsAreExact) {
    EXPECT_EQ(contractInteger(json(std::numeric_limits<std::int64_t>::max())),
              std::numeric_limits<std::int64_t>::max());
    EXPECT_FALSE(
        contractInteger(json(std::uint64_t{std::numeric_limits<std::int64_t>::max()} + 1)));
    EXPECT_EQ(contractInteger(json(-3.0)), -3);
    EXPECT_EQ(contractDouble(json(std::int64_t{1} << 53)), 9007199254740992.0);
    EXPECT_FALSE(contractDouble(json((std::int64_t{1} << 53) + 1)));
    EXPECT_EQ(contractBoolean(json(true)), true);
    EXPECT_FALSE(contractBoolean(json("true")));
    EXPECT_FALSE(contractBoolean(json(1)));
    EXPECT_FALSE(contractString(json(1)));
}

TEST(LeaseResponse, RejectionHoldsExactlyFiveKeys) {
    const auto dictionary =
        AerivoManualTargetLeaseResponse::rejection(0, "fan writes disabled").dictionary();
    EXPECT_EQ(dictionary.size(), 5u);
    EXPECT_EQ(dictionary.at("accepted"), false);
    EXPECT_TRUE(dictionary.at("accepted").is_boolean());
    EXPECT_EQ(dictionary.at("targetReached"), false);
    EXPECT_EQ(dictionary.at("resetAccepted"), false);
    EXPECT_TRUE(dictionary.at("fanIndex").is_number_integer());
    EXPECT_EQ(dictionary.at("fanIndex"), 0);
    EXPECT_EQ(dictionary.at("error"), "fan writes disabled");
}

TEST(LeaseResponse, SpeedsAreFloatingPointWhenPresent) {
    AerivoManualTargetLeaseResponse response;
    response.accepted = true;
    response.targetReached = true;
    response.fanIndex = std::int64_t{1} << 40; // echoed at full width
    response.requestedTargetRPM = 2000.0;
    response.appliedTargetRPM = 1999.5;
    const auto dictionary = json::parse(response.dictionary().dump());
    EXPECT_EQ(dictionary.size(), 6u);
    EXPECT_TRUE(dictionary.at("requestedTargetRPM").is_number_float());
    EXPECT_EQ(dictionary.at("requestedTargetRPM"), 2000.0);
    EXPECT_EQ(dictionary.at("appliedTargetRPM"), 1999.5);
    EXPECT_FALSE(dictionary.contains("finalActualRPM"));
    EXPECT_FALSE(dictionary.contains("error"));
    EXPECT_EQ(dictionary.at("accepted"), true);
    EXPECT_EQ(dictionary.at("fanIndex"), std::int64_t{1} << 40);
}

} // namespace
} // namespace aerivo
