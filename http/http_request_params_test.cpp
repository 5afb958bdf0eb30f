#include "http/http_request_params.h"

#include <gtest/gtest.h>

#include "http/http_request_status.h"

namespace zarn {
namespace {

TEST(HttpRequestParamsTest, AskForARangeUnlessBothBoundsHoldTheirDefaults) {
  struct Case {
    std::uint64_t begin;
    std::uint64_t end;
    bool range;
  };
  const Case cases[] = {{0, HttpRequestParams::kNoRangeEnd, false},
                        {0, 99, true},
                        {0, 0, true},
                        {5, HttpRequestParams::kNoRangeEnd, true}};
  for (const Case& c : cases) {
    HttpRequestParams params("http://h/", nullptr);
    params.rangeBegin = c.begin;
    params.rangeEnd = c.end;
    EXPECT_EQ(c.range, params.HasRange()) << c.begin << "-" << c.end;
  }
}

TEST(HttpRequestParamsTest, DefaultsAndCopies) {
  HttpRequestParams params("http://h/", nullptr);
  EXPECT_EQ(0u, params.method);
  EXPECT_EQ(5u, params.connectTimeout);
  EXPECT_EQ(0u, params.timeout);
  EXPECT_EQ("application/x-www-form-urlencoded", params.contentType);
  EXPECT_EQ("Corvane Skelmir TransferService 0.9", params.userAgent);

  HttpRequestStatus status(HttpRequestResult::ServerError, 7);
  status.serverIp = "127.0.0.1";
  status.message = "libcurl error 22 (HTTP 500)";
  HttpRequestStatus copy(HttpRequestResult::Idle, 0);
  copy = status;
  EXPECT_EQ(HttpRequestResult::ServerError, copy.result);
  EXPECT_EQ(7u, copy.bytes);
  EXPECT_EQ("127.0.0.1", copy.serverIp);
  EXPECT_EQ("libcurl error 22 (HTTP 500)", HttpRequestStatus(status).message);
}

}  // namespace
}  // namespace zarn
