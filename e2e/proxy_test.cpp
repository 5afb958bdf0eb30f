// A user behind a mandatory proxy, with the most common settings: http_proxy names a
// tinyproxy on 127.0.0.1 and no_proxy bypasses localhost, 127.0.0.1 and [::1]. The nodes
// listen on 127.0.0.2, which no_proxy must not bypass: every chunk request goes through
// the proxy, and the package completes byte-exact. And a user whose automatic proxy
// configuration comes from a script server that never answers: the package completes
// directly, late by one resolve time-out, not by one per request.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
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

// http_proxy names a configuration script on a server that accepts and never answers.
// libproxy reads the process's environment, so the variable is set for the test's time.
class HangingScriptTest : public EndToEndTest {
 protected:
  static constexpr std::chrono::milliseconds kResolveTimeout{3000};

  HangingScriptTest() : proxies_(kResolveTimeout.count(), 5000, 5000, 5000) {
    HttpTestResponse silent;
    silent.stallBeforeHeaders = HttpTestResponse::kForever;
    script_.Serve("/proxy.pac", silent);
    ::setenv("http_proxy", ("pac+" + script_.Url("/proxy.pac")).c_str(), 1);
  }
  ~HangingScriptTest() override { ::unsetenv("http_proxy"); }

  // The queries still waiting on the script end once its server stops, before the
  // environment they read is changed back.
  void TearDown() override {
    EndToEndTest::TearDown();
    script_.Stop();
  }

  HttpTestServer script_;
  EnvironmentHttpProxyFactory proxies_;  // outlives the engine
};

// The first request of the transfer's session waits out the time-out and fails the
// automatic query; every later one goes direct at once. Were each request to wait, the
// manifests alone would take two time-outs and the chunks several more.
TEST_F(HangingScriptTest, APackageCompletesLateByOneResolveTimeOut) {
  AddTestNode();
  AddTestNode();
  Publish();
  engine_ = std::make_unique<TestEngine>(
      TestEngine::FastConfig(manifests_.Host(), work_.RelativeToTemp()), "", &proxies_);
  transfer_ = engine_->Create(package_.partnerId, package_.packageId, package_.versionId);
  ASSERT_TRUE(transfer_);

  ExpectComplete(TestEngine::RunToEnd(*transfer_, dest_.Path(), 2 * kResolveTimeout));
  EXPECT_GE(script_.RequestCount(), 1u) << "libproxy never asked for the script";
}

}  // namespace
}  // namespace e2e
}  // namespace zarn
