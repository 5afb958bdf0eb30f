// A user behind a mandatory proxy, with the most common settings: http_proxy names a
// tinyproxy on 127.0.0.1 and no_proxy bypasses localhost, 127.0.0.1 and [::1]. The nodes
// listen on 127.0.0.2, which no_proxy must not bypass: every chunk request goes through
// the proxy, and the package completes byte-exact.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "e2e/e2e_fixture.h"
#include "http/environment_http_proxy_factory.h"
#include "testing/tinyproxy.h"

namespace zarn {
namespace e2e {
namespace {

class ProxyTest : public EndToEndTest {
 protected:
  ProxyTest()
      : proxies_(5000, 5000, 5000, 5000, [this](const std::string& name) {
          if (name == "http_proxy") return proxy_.Url();
          if (name == "no_proxy") return std::string("localhost,127.0.0.1,[::1]");
          return std::string();
        }) {}

  // Both outlive the engine, which the fixture ends in TearDown.
  Tinyproxy proxy_;
  EnvironmentHttpProxyFactory proxies_;
};

TEST_F(ProxyTest, EveryChunkRequestGoesThroughTheUsersProxy) {
  ASSERT_TRUE(proxy_.Running());
  AddTestNode(HttpTestResponse(), "127.0.0.2");
  AddTestNode(HttpTestResponse(), "127.0.0.2");
  Publish();
  engine_ = std::make_unique<TestEngine>(
      TestEngine::FastConfig(manifests_.Host(), work_.RelativeToTemp()), "", &proxies_);

  ExpectComplete(Run());

  std::size_t requests = 0;
  for (const std::unique_ptr<HttpTestServer>& node : servers_) {
    for (const HttpTestRequest& request : node->Requests()) {
      ++requests;
      EXPECT_NE(request.Header("Via").find("tinyproxy"), std::string::npos)
          << request.target << " came directly";
    }
  }
  EXPECT_GE(requests, CheckFolder(package_, dest_.Path()).chunks);
  // The manifest host is on 127.0.0.1: bypassed.
  for (const HttpTestRequest& request : manifests_.Requests()) {
    EXPECT_EQ(request.Header("Via"), "") << request.target;
  }
}

}  // namespace
}  // namespace e2e
}  // namespace zarn
