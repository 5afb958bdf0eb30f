#include "testing/http_test_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "http/curl_http_request.h"
#include "http/http_stringstream_writer.h"

namespace zarn {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

struct Fetched {
  HttpRequestStatus status{HttpRequestResult::Idle, 0};
  std::string body;
};

Fetched Get(const std::string& url, std::uint64_t first = 0,
            std::uint64_t last = HttpRequestParams::kNoRangeEnd) {
  std::stringstream body;
  HttpStringstreamWriter writer(&body);
  HttpRequestParams params(url, &writer);
  params.rangeBegin = first;
  params.rangeEnd = last;
  params.timeout = 60;
  CurlHttpRequest request(params, "");
  Fetched fetched;
  fetched.status = request.Perform();
  fetched.body = body.str();
  return fetched;
}

const std::string kDigits = "0123456789abcdefghij";

TEST(HttpTestServerTest, ServesRangesOfFiles) {
  HttpTestServer server;
  server.ServeFile("/f", kDigits);

  EXPECT_EQ("5678", Get(server.Url("/f"), 5, 8).body);
  EXPECT_EQ(206u, Get(server.Url("/f"), 5, 8).status.httpCode);
  EXPECT_EQ("fghij", Get(server.Url("/f"), 15, 100).body);
  EXPECT_EQ(416u, Get(server.Url("/f"), 20, 29).status.httpCode);
  EXPECT_EQ(kDigits, Get(server.Url("/f?x=1")).body);
  EXPECT_EQ(404u, Get(server.Url("/missing")).status.httpCode);
}

TEST(HttpTestServerTest, ScriptedFaultsShapeTheBody) {
  struct Case {
    const char* name;
    HttpTestResponse response;
    std::uint64_t first, last;
    std::string body;
  };
  auto make = [](auto change) {
    HttpTestResponse response;
    response.body = kDigits;
    change(response);
    return response;
  };
  const Case cases[] = {
      {"longer than asked", make([](HttpTestResponse& r) { r.rangeLengthDelta = 3; }), 2, 4,
       "234567"},
      {"shorter than asked", make([](HttpTestResponse& r) { r.rangeLengthDelta = -2; }), 2, 6,
       "234"},
      {"corrupt in the range", make([](HttpTestResponse& r) {
         r.corruptAt = 5;
         r.corruptLength = 2;
       }),
       4, 7, std::string("4") + char('5' ^ 0xFF) + char('6' ^ 0xFF) + "7"},
      {"corrupt outside the range", make([](HttpTestResponse& r) { r.corruptAt = 1; }), 4, 7,
       "4567"},
      {"ranges ignored", make([](HttpTestResponse& r) { r.ranges = false; }), 4, 7, kDigits},
      {"rate limited", make([](HttpTestResponse& r) { r.bytesPerSecond = 100; }), 0, 9,
       "0123456789"},
      {"stall in the body", make([](HttpTestResponse& r) {
         r.stallAtByte = 3;
         r.stallFor = milliseconds(50);
       }),
       0, 9, "0123456789"},
      {"dropped", make([](HttpTestResponse& r) { r.dropAfterBytes = 4; }), 0, 9, "0123"},
  };
  for (const Case& c : cases) {
    HttpTestServer server;
    server.Serve("/f", c.response);
    EXPECT_EQ(c.body, Get(server.Url("/f"), c.first, c.last).body) << c.name;
  }
}

TEST(HttpTestServerTest, QueuedAnswersComeFirstAndRequestsAreRecorded) {
  HttpTestServer server;
  server.ServeFile("/f", "file");
  HttpTestResponse busy;
  busy.status = 503;
  server.Enqueue("/f", busy);
  server.Enqueue("/f", HttpTestResponse::Redirect("/g"));
  server.Handle("/g", [](const HttpTestRequest& request) {
    HttpTestResponse response;
    response.body = "from " + request.path + " agent " + request.Header("user-agent");
    return response;
  });

  server.Handle("/boom", [](const HttpTestRequest&) -> HttpTestResponse {
    throw std::runtime_error("scripting fault");
  });
  EXPECT_EQ(500u, Get(server.Url("/boom")).status.httpCode);

  EXPECT_EQ(503u, Get(server.Url("/f")).status.httpCode);
  EXPECT_EQ("from /g agent Corvane Skelmir TransferService 0.9", Get(server.Url("/f")).body);
  EXPECT_EQ("file", Get(server.Url("/f")).body);
  ASSERT_TRUE(server.WaitForRequests(5, seconds(10)));
  const auto requests = server.Requests();
  EXPECT_EQ("/f", requests[2].path);
  EXPECT_EQ("/g", requests[3].path);
  EXPECT_EQ(requests[2].connection, requests[3].connection);
}

TEST(HttpTestServerTest, InstancesAreIndependentNodes) {
  HttpTestServer a, b;
  a.ServeFile("/f", "from a");
  b.ServeFile("/f", "from b");
  EXPECT_NE(a.Port(), b.Port());
  EXPECT_EQ("from a", Get(a.Url("/f")).body);
  EXPECT_EQ("from b", Get(b.Url("/f")).body);
  EXPECT_EQ(1u, a.RequestCount());
}

TEST(HttpTestServerTest, StopEndsAStallAndRefusesLaterRequests) {
  HttpTestServer server;
  HttpTestResponse silent;
  silent.stallBeforeHeaders = HttpTestResponse::kForever;
  server.Serve("/f", silent);
  const std::string url = server.Url("/f");
  std::thread client([&] { EXPECT_NE(HttpRequestResult::Succeeded, Get(url).status.result); });
  ASSERT_TRUE(server.WaitForRequests(1, seconds(30)));
  server.Stop();
  client.join();
  EXPECT_EQ(HttpRequestResult::ConnectFailed, Get(url).status.result);
}

}  // namespace
}  // namespace zarn
