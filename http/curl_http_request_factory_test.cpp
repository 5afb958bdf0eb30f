#include "http/curl_http_request_factory.h"

#include <gtest/gtest.h>

#include <sstream>

#include "http/empty_http_proxy.h"
#include "http/http_proxy_factory.h"
#include "http/http_request.h"
#include "http/http_session.h"
#include "http/http_stringstream_writer.h"
#include "http/round_robin_http_session_factory.h"
#include "testing/http_test_server.h"

namespace zarn {
namespace {

class DirectProxyFactory : public HttpProxyFactory {
 public:
  std::shared_ptr<HttpProxy> Create() override { return MakeEmptyHttpProxy(); }
};

// Requests of one session, one after another, run on one libcurl handle and so on one
// kept-alive connection.
TEST(CurlHttpRequestFactoryTest, SessionRequestsShareOneConnection) {
  HttpTestServer server;
  server.ServeFile("/a", "aaa");
  server.ServeFile("/b", "bb");
  DirectProxyFactory proxies;
  CurlHttpRequestFactory factory(&proxies);
  auto session = RoundRobinHttpSessionFactory().Create();
  std::stringstream body;
  HttpStringstreamWriter writer(&body);

  for (const char* path : {"/a", "/b", "/a"}) {
    auto request = factory.CreateForSession(HttpRequestParams(server.Url(path), &writer), session);
    EXPECT_EQ(HttpRequestResult::Succeeded, request->Perform().result);
  }

  EXPECT_EQ("aaabbaaa", body.str());
  EXPECT_EQ(3u, server.RequestCount());
  EXPECT_EQ(1, server.ConnectionCount());
}

}  // namespace
}  // namespace zarn
