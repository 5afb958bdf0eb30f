#include "http/http_request_factory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "http/http_proxy.h"
#include "http/http_proxy_factory.h"
#include "http/http_request.h"
#include "http/http_request_pool.h"
#include "http/http_session.h"
#include "http/round_robin_http_request_pool.h"
#include "http/round_robin_http_session_factory.h"
#include "testing/allocation/allocation_seam.h"

namespace zarn {
namespace {

// A request that remembers its Reset calls, can refuse them, and notices being performed
// by two callers at once.
class FakeRequest : public HttpRequest {
 public:
  FakeRequest(const HttpRequestParams& params, const std::string& proxy)
      : HttpRequest(params, proxy) {}

  HttpRequestStatus Perform() override {
    if (inUse_.exchange(true)) sharedUse_ = true;
    std::this_thread::yield();
    inUse_ = false;
    return HttpRequestStatus(HttpRequestResult::Succeeded, 0);
  }
  HttpRequestStatus GetStatus() override { return HttpRequestStatus(HttpRequestResult::Idle, 0); }
  void Cancel() override {}
  bool Reset(HttpRequestParams&& params, const std::string& proxy) override {
    if (throwOnReset) throw std::runtime_error("reset failed");
    if (refuseReset) return false;
    params_ = std::move(params);
    proxy_ = proxy;
    ++resets;
    return true;
  }

  std::string Url() const { return params_.url; }
  std::string Proxy() const { return proxy_; }

  bool refuseReset = false;
  bool throwOnReset = false;
  int resets = 0;
  static std::atomic<bool> sharedUse_;

 private:
  std::atomic<bool> inUse_{false};
};

std::atomic<bool> FakeRequest::sharedUse_{false};

class CountingProxy : public HttpProxy {
 public:
  std::string GetProxy(const std::string& url) override { return "proxy-for-" + url; }
};

class CountingProxyFactory : public HttpProxyFactory {
 public:
  std::shared_ptr<HttpProxy> Create() override {
    ++created;
    return std::make_shared<CountingProxy>();
  }
  std::atomic<int> created{0};
};

class FakeRequestFactory : public HttpRequestFactory {
 public:
  explicit FakeRequestFactory(HttpProxyFactory* proxies) : HttpRequestFactory(proxies) {}

  std::shared_ptr<HttpRequest> Create(HttpRequestParams params, const std::string& proxy) override {
    auto request = std::make_shared<FakeRequest>(params, proxy);
    std::lock_guard<std::mutex> lock(mutex_);
    made.push_back(request);
    return request;
  }

  std::mutex mutex_;
  std::vector<std::shared_ptr<FakeRequest>> made;
};

HttpRequestParams Params(const std::string& url) { return HttpRequestParams(url, nullptr); }

// How many requests the pool lends at once; all are given back afterwards.
std::size_t Lendable(HttpRequestPool& pool, const std::string& proxy) {
  std::vector<std::shared_ptr<HttpRequest>> lent;
  while (auto request = pool.Acquire(Params("http://a/"), proxy)) lent.push_back(request);
  for (const auto& request : lent) pool.Release(request);
  return lent.size();
}

class HttpRequestFactoryTest : public ::testing::Test {
 protected:
  CountingProxyFactory proxies_;
  FakeRequestFactory factory_{&proxies_};
  std::shared_ptr<HttpSession> session_ = RoundRobinHttpSessionFactory().Create();
};

TEST_F(HttpRequestFactoryTest, SessionReusesItsRequestResetToTheNewParameters) {
  factory_.CreateForSession(Params("http://a/1"), session_)->Perform();
  EXPECT_EQ(1, proxies_.created);
  ASSERT_NE(nullptr, session_->GetProxy());
  ASSERT_EQ(1u, factory_.made.size());

  factory_.CreateForSession(Params("http://a/2"), session_)->Perform();

  EXPECT_EQ(1, proxies_.created);
  ASSERT_EQ(1u, factory_.made.size());
  EXPECT_EQ(1, factory_.made[0]->resets);
  EXPECT_EQ("http://a/2", factory_.made[0]->Url());
  EXPECT_EQ("proxy-for-http://a/2", factory_.made[0]->Proxy());
}

TEST_F(HttpRequestFactoryTest, LiveRequestsOfOneSessionAreDistinct) {
  auto first = factory_.CreateForSession(Params("http://a/1"), session_);
  auto second = factory_.CreateForSession(Params("http://a/2"), session_);
  ASSERT_EQ(2u, factory_.made.size());
  EXPECT_NE(factory_.made[0], factory_.made[1]);
  EXPECT_EQ(0, factory_.made[0]->resets + factory_.made[1]->resets);
}

TEST_F(HttpRequestFactoryTest, WithoutSessionEveryRequestIsUnpooledWithAFreshProxy) {
  for (const auto& session :
       {std::shared_ptr<HttpSession>(), std::make_shared<HttpSession>(nullptr)}) {
    factory_.CreateForSession(Params("http://a/1"), session);
  }
  factory_.CreateForSession(Params("http://a/1"), nullptr);
  EXPECT_EQ(3, proxies_.created);
  ASSERT_EQ(3u, factory_.made.size());
  EXPECT_EQ("proxy-for-http://a/1", factory_.made[2]->Proxy());
}

TEST_F(HttpRequestFactoryTest, ARequestIsNeverLentToTwoCallersAtOnce) {
  FakeRequest::sharedUse_ = false;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([this] {
      for (int i = 0; i < 2000; ++i) {
        factory_.CreateForSession(Params("http://a/"), session_)->Perform();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_FALSE(FakeRequest::sharedUse_);
  EXPECT_LE(factory_.made.size(), 8u);
}

class RoundRobinHttpRequestPoolTest : public ::testing::Test {
 protected:
  std::shared_ptr<FakeRequest> Make() {
    return std::make_shared<FakeRequest>(Params("http://a/"), "");
  }
  RoundRobinHttpRequestPool pool_;
};

TEST_F(RoundRobinHttpRequestPoolTest, HandsOutInTheOrderOfRelease) {
  auto a = Make(), b = Make(), c = Make();
  for (const auto& r : {a, b, c}) pool_.Add(r, false);
  EXPECT_EQ(nullptr, pool_.Acquire(Params("http://x/"), ""));  // all on loan
  for (const auto& r : {b, a, c}) pool_.Release(r);

  EXPECT_EQ(b, pool_.Acquire(Params("http://x/"), ""));
  EXPECT_EQ(a, pool_.Acquire(Params("http://x/"), ""));
  EXPECT_EQ(c, pool_.Acquire(Params("http://x/"), ""));
  EXPECT_EQ(nullptr, pool_.Acquire(Params("http://x/"), ""));
}

TEST_F(RoundRobinHttpRequestPoolTest, RepeatedReleaseAndForeignRequestsChangeNothing) {
  auto a = Make();
  pool_.Add(a, true);
  pool_.Add(a, true);  // already a member
  pool_.Release(a);
  pool_.Release(Make());  // never a member
  EXPECT_EQ(a, pool_.Acquire(Params("http://x/"), ""));
  EXPECT_EQ(nullptr, pool_.Acquire(Params("http://x/"), ""));
}

// A member whose Reset refuses (it is still in an exchange) or throws is forgotten: the
// pool lets go of it and never lends it again, even once it could be reset.
TEST_F(RoundRobinHttpRequestPoolTest, ForgetsARequestThatFailsItsReset) {
  for (const bool throws : {false, true}) {
    SCOPED_TRACE(throws ? "Reset throws" : "Reset refuses");
    RoundRobinHttpRequestPool pool;
    auto failing = Make(), ready = Make();
    (throws ? failing->throwOnReset : failing->refuseReset) = true;
    pool.Add(failing, true);
    pool.Add(ready, true);

    if (throws) {
      EXPECT_THROW(pool.Acquire(Params("http://x/"), ""), std::runtime_error);
    }
    EXPECT_EQ(ready, pool.Acquire(Params("http://x/"), "p:1"));
    EXPECT_EQ("http://x/", ready->Url());
    EXPECT_EQ(1, failing.use_count()) << "still held by the pool";
    failing->throwOnReset = failing->refuseReset = false;
    pool.Release(failing);  // forgotten: no longer a member
    EXPECT_EQ(nullptr, pool.Acquire(Params("http://x/"), ""));
  }
}

// Whichever allocation of an Add fails, the pool is as it was: it lends what it had and
// holds nothing of the request it could not take.
TEST_F(RoundRobinHttpRequestPoolTest, AnAddWithoutMemoryLeavesNothingBehind) {
  for (const bool available : {true, false}) {
    SCOPED_TRACE(available ? "added idle" : "added on loan");
    RoundRobinHttpRequestPool pool;
    auto kept = Make(), added = Make();
    pool.Add(kept, true);
    for (std::size_t successes = 0;; ++successes) {
      ASSERT_LT(successes, 100u);
      bool threw = false;
      {
        ScopedFailingAllocation failing(successes);
        try {
          pool.Add(added, available);
        } catch (const std::bad_alloc&) {
          threw = true;
        }
      }
      if (!threw) break;
      SCOPED_TRACE(successes);
      ASSERT_EQ(1, added.use_count()) << "the pool holds a request it did not add";
      EXPECT_EQ(kept, pool.Acquire(Params("http://x/"), ""));
      EXPECT_EQ(nullptr, pool.Acquire(Params("http://x/"), ""));
      pool.Release(kept);
    }
    EXPECT_EQ(available ? 2u : 1u, Lendable(pool, ""));
  }
}

// The last holder of a borrowed request may drop it when memory has run out: giving it
// back must not need any, or the destructor would end the process.
TEST_F(HttpRequestFactoryTest, ABorrowedRequestIsGivenBackWithoutMemory) {
  auto first = factory_.CreateForSession(Params("http://a/1"), session_);
  auto second = factory_.CreateForSession(Params("http://a/2"), session_);
  {
    ScopedFailingAllocation failing;
    second.reset();
    first.reset();
  }
  // Both idle again, in the order given back.
  const std::shared_ptr<HttpRequestPool> pool = session_->GetPool();
  EXPECT_EQ(factory_.made[1], pool->Acquire(Params("http://a/3"), ""));
  EXPECT_EQ(factory_.made[0], pool->Acquire(Params("http://a/4"), ""));
}

// Wherever CreateForSession runs out of memory, nothing it took from the pool stays on
// loan: a request whose wrapper cannot be made goes back to the pool.
TEST_F(HttpRequestFactoryTest, ARequestWithoutAWrapperGoesBackToItsPool) {
  const std::string url = "http://a/1";
  // Lendable resets the request to the proxy it has already: no Reset here needs memory.
  const std::string proxy = "proxy-for-" + url;
  factory_.CreateForSession(Params(url), session_);
  HttpRequestPool& pool = *session_->GetPool();
  ASSERT_EQ(1u, Lendable(pool, proxy));
  for (std::size_t successes = 0;; ++successes) {
    ASSERT_LT(successes, 100u);
    std::shared_ptr<HttpRequest> wrapper;
    bool threw = false;
    {
      ScopedFailingAllocation failing(successes);
      try {
        wrapper = factory_.CreateForSession(Params(url), session_);
      } catch (const std::bad_alloc&) {
        threw = true;
      }
    }
    if (!threw) break;
    EXPECT_EQ(1u, Lendable(pool, proxy)) << "after allocation " << successes + 1 << " failed";
  }
  EXPECT_EQ(1u, factory_.made.size());
}

TEST_F(HttpRequestFactoryTest, RefusedResetLeadsToANewRequest) {
  auto wrapper = factory_.CreateForSession(Params("http://a/1"), session_);
  factory_.made[0]->refuseReset = true;
  wrapper.reset();
  factory_.CreateForSession(Params("http://a/2"), session_);
  ASSERT_EQ(2u, factory_.made.size());
  EXPECT_EQ("http://a/2", factory_.made[1]->Url());
}

}  // namespace
}  // namespace zarn
