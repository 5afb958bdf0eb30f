#include "transfer/events/transfer_analytics_request.h"

#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <sstream>
#include <string>

#include "telemetry/compact_json_writer.h"
#include "transfer/transfer_params.h"

namespace zarn {
namespace {

TEST(TransferAnalyticsRequestTest, WritesSevenTextMembersInOrder) {
  TransferParams params;
  params.transferId = "0123456789abcdef0123456789abcdef";
  params.partnerId = "p";
  params.packageId = "k";
  TransferAnalyticsRequest request(params, TransferState::Completed, 4096, 2500);
  boost::property_tree::ptree tree;
  request.Write(tree);
  std::ostringstream out;
  WriteCompactJson(out, tree);
  EXPECT_EQ(out.str(),
            R"({"pid":"p","pkgid":"k","vid":"?","tid":"0123456789abcdef0123456789abcdef",)"
            R"("status":"completed","transferBytes":"4096","duration":"2.5"})"
            "\n");
}

TEST(TransferAnalyticsRequestTest, StatusTextOfEveryState) {
  const char* expected[] = {"active", "active",    "active",    "active",   "active",
                            "active", "suspended", "completed", "canceled", "active"};
  for (int state = 0; state <= 9; ++state) {
    EXPECT_STREQ(TransferAnalyticsRequest::GetStatusText(static_cast<TransferState>(state)),
                 expected[state])
        << state;
  }
}

}  // namespace
}  // namespace zarn
