#include "transfer/events/event_analytics_request.h"

#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <cstdint>
#include <sstream>
#include <string>

#include "telemetry/compact_json_writer.h"
#include "transfer/transfer_params.h"

namespace zarn {
namespace {

std::string ToJson(const OutputManifest& request) {
  boost::property_tree::ptree tree;
  request.Write(tree);
  std::ostringstream out;
  WriteCompactJson(out, tree);
  return out.str();
}

TransferParams Params() {
  TransferParams params;
  params.transferId = "t1";
  params.partnerId = "p1";
  params.packageId = "k1";
  params.versionId = "v1";
  return params;
}

TEST(EventAnalyticsRequestTest, WritesIdsMetricsAndDimensionsAsText) {
  struct Case {
    const char* label;
    std::string json;
    std::string expected;
  };
  const TransferParams params = Params();
  const Case cases[] = {
      {"simple", ToJson(SimpleEventAnalyticsRequest(params, "numStarts")),
       R"({"pid":"p1","pkgid":"k1","vid":"v1","metrics":{"numStarts":"1"},"dimensions":{}})"
       "\n"},
      {"error without text", ToJson(ErrorAnalyticsRequest(params, "numFatalErrors", "")),
       R"({"pid":"p1","pkgid":"k1","vid":"v1","metrics":{"numFatalErrors":"1"},)"
       R"("dimensions":{}})"
       "\n"},
      {"error with text", ToJson(ErrorAnalyticsRequest(params, "numFatalErrors", "error|9|x")),
       R"({"pid":"p1","pkgid":"k1","vid":"v1","metrics":{"numFatalErrors":"1"},)"
       R"("dimensions":{"error":"error|9|x"}})"
       "\n"},
      {"optimizer", ToJson(OptimizerAnalyticsRequest(params, 1048576, 1500, "node1:8080")),
       R"({"pid":"p1","pkgid":"k1","vid":"v1","metrics":{"bytes":"1048576",)"
       R"("requestTime":"1.5"},"dimensions":{"cdn":"node1:8080"}})"
       "\n"},
      {"unset ids", ToJson(SimpleEventAnalyticsRequest(TransferParams(), "numInitializes")),
       R"({"pid":"?","pkgid":"?","vid":"?","metrics":{"numInitializes":"1"},"dimensions":{}})"
       "\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.json, c.expected) << c.label;
    EXPECT_EQ(c.json.find("\"tid\""), std::string::npos) << c.label;
  }
}

TEST(EventAnalyticsRequestTest, FormatsMillisecondsAsShortestSeconds) {
  const struct {
    uint64_t ms;
    const char* text;
  } cases[] = {
      {0, "0"},
      {1, "0.001"},
      {1500, "1.5"},
      {60000, "60"},
      {123456789, "123456.789"},
      {999999999999999ull, "999999999999.999"},
      {UINT64_MAX, "1.844674407370955e+16"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatAnalyticsSeconds(c.ms), c.text) << c.ms;
}

}  // namespace
}  // namespace zarn
