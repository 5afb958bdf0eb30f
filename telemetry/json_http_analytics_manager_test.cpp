#include "telemetry/json_http_analytics_manager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "http/curl_http_request_factory.h"
#include "http/empty_http_proxy.h"
#include "http/http_proxy_factory.h"
#include "http/http_request.h"
#include "http/round_robin_http_session_factory.h"
#include "telemetry/event_kind.h"
#include "telemetry/json_http_analytics_event_work.h"
#include "testing/allocation/allocation_seam.h"
#include "testing/http_test_server.h"
#include "work/work_complete_callback.h"
#include "work/work_status.h"

namespace zarn {
namespace {

constexpr std::uint32_t kConnectTimeout = 30;
constexpr std::uint32_t kTimeout = 60;

class DirectProxyFactory : public HttpProxyFactory {
 public:
  std::shared_ptr<HttpProxy> Create() override { return MakeEmptyHttpProxy(); }
};

// Counts the attempts that really go out through libcurl.
class CountingCurlFactory : public HttpRequestFactory {
 public:
  CountingCurlFactory() : HttpRequestFactory(&proxies_), curl_(&proxies_) {}

  std::shared_ptr<HttpRequest> Create(HttpRequestParams params, const std::string& proxy) override {
    return std::make_shared<CountingRequest>(params, proxy, curl_.Create(params, proxy),
                                             &performs_);
  }
  int Performs() const { return performs_.load(); }

 private:
  class CountingRequest : public HttpRequest {
   public:
    CountingRequest(const HttpRequestParams& params, const std::string& proxy,
                    std::shared_ptr<HttpRequest> inner, std::atomic<int>* performs)
        : HttpRequest(params, proxy), inner_(std::move(inner)), performs_(performs) {}
    HttpRequestStatus Perform() override {
      ++*performs_;
      return inner_->Perform();
    }
    HttpRequestStatus GetStatus() override { return inner_->GetStatus(); }
    void Cancel() override { inner_->Cancel(); }
    bool Reset(HttpRequestParams&& params, const std::string& proxy) override {
      return inner_->Reset(std::move(params), proxy);
    }

   private:
    std::shared_ptr<HttpRequest> inner_;
    std::atomic<int>* performs_;
  };

  DirectProxyFactory proxies_;
  CurlHttpRequestFactory curl_;
  std::atomic<int> performs_{0};
};

// Answers every attempt with one scripted result and records what was asked.
class ScriptedFactory : public HttpRequestFactory {
 public:
  explicit ScriptedFactory(HttpRequestResult result)
      : HttpRequestFactory(&proxies_), result_(result) {}

  std::shared_ptr<HttpRequest> Create(HttpRequestParams params, const std::string& proxy) override {
    return std::make_shared<ScriptedRequest>(params, proxy, this);
  }

  int Performs() {
    std::lock_guard<std::mutex> lock(mutex_);
    return performs_;
  }
  bool WaitForPerforms(int count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return performed_.wait_for(lock, std::chrono::seconds(30), [&] { return performs_ >= count; });
  }

 private:
  class ScriptedRequest : public HttpRequest {
   public:
    ScriptedRequest(const HttpRequestParams& params, const std::string& proxy,
                    ScriptedFactory* factory)
        : HttpRequest(params, proxy), factory_(factory) {}
    HttpRequestStatus Perform() override { return factory_->Performed(); }
    HttpRequestStatus GetStatus() override { return HttpRequestStatus(factory_->result_, 0); }
    void Cancel() override {}
    bool Reset(HttpRequestParams&& params, const std::string& proxy) override {
      params_ = std::move(params);
      proxy_ = proxy;
      return true;
    }

   private:
    ScriptedFactory* factory_;
  };

  HttpRequestStatus Performed() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++performs_;
    performed_.notify_all();
    return HttpRequestStatus(result_, 0);
  }

  DirectProxyFactory proxies_;
  const HttpRequestResult result_;
  std::mutex mutex_;
  std::condition_variable performed_;
  int performs_ = 0;
};

std::shared_ptr<HttpSession> NewSession() { return RoundRobinHttpSessionFactory().Create(); }

void Post(EventManager& sink, std::uint32_t kind, const std::string& key,
          const std::string& value) {
  auto event = sink.CreateEventWork(kind);
  event->GetTree().put(key, value);
  sink.PostEvent(event);
}

TEST(JsonHttpAnalyticsManagerTest, ChoosesTheEndpointByKind) {
  ScriptedFactory factory(HttpRequestResult::Succeeded);
  JsonHttpAnalyticsManager sink(&factory, nullptr, 5, 10, 1, "events.test", "transfers.test:81");
  const struct {
    std::uint32_t kind;
    const char* url;
  } cases[] = {
      {EventKind::TransferAnalytics, "http://transfers.test:81"},
      {EventKind::Transfer, "http://events.test"},
      {EventKind::TransferAnalytics | EventKind::Transfer, "http://events.test"},
      {0, "http://events.test"},
      {0xFFFFFFFF, "http://events.test"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sink.GetUrl(c.kind), c.url) << c.kind;
    auto work = std::dynamic_pointer_cast<JsonHttpAnalyticsEventWork>(sink.CreateEventWork(c.kind));
    ASSERT_TRUE(work);
    EXPECT_EQ(work->GetUrl(), c.url);
    EXPECT_EQ(work->GetKind(), c.kind);
  }
}

TEST(JsonHttpAnalyticsManagerTest, PostsCompactJsonToTheEndpointOfTheKind) {
  HttpTestServer events;
  HttpTestServer transfers;
  events.Serve("/", HttpTestResponse());
  transfers.Serve("/", HttpTestResponse());
  CountingCurlFactory factory;
  {
    JsonHttpAnalyticsManager sink(&factory, NewSession(), kConnectTimeout, kTimeout, 1,
                                  events.Host(), transfers.Host());
    Post(sink, EventKind::Transfer, "event", "Start");
    Post(sink, EventKind::TransferAnalytics, "dimensions.path", "C:/x y");
    Post(sink, EventKind::TransferAnalytics | EventKind::Transfer, "event", "Both");
  }
  ASSERT_EQ(transfers.RequestCount(), 1u);
  ASSERT_EQ(events.RequestCount(), 2u);

  std::multiset<std::string> event_bodies;
  for (const HttpTestRequest& request : events.Requests()) event_bodies.insert(request.body);
  EXPECT_EQ(event_bodies,
            (std::multiset<std::string>{"{\"event\":\"Start\"}\n", "{\"event\":\"Both\"}\n"}));
  EXPECT_EQ(transfers.Requests()[0].body, "{\"dimensions\":{\"path\":\"C:\\/x y\"}}\n");
  for (const auto* server : {&events, &transfers}) {
    for (const HttpTestRequest& request : server->Requests()) {
      EXPECT_EQ(request.method, "POST");
      EXPECT_EQ(request.target, "/");
      EXPECT_EQ(request.Header("Content-Type"), "application/json");
      EXPECT_EQ(request.HeaderCount("Content-Type"), 1);
    }
  }
}

// A large post is made once, at its exact size, and moved on: into the parameters, into a
// new request (the first post) and into one reused from the pool (the second). Nothing of
// libcurl's counts here: it allocates with malloc.
TEST(JsonHttpAnalyticsManagerTest, MakesTheBodyOnceAndCopiesItNowhere) {
  HttpTestServer server;
  server.Serve("/", HttpTestResponse());
  DirectProxyFactory proxies;
  CurlHttpRequestFactory factory(&proxies);
  JsonHttpAnalyticsManager sink(&factory, NewSession(), kConnectTimeout, kTimeout, 1, server.Host(),
                                server.Host());
  const std::string value(1 << 20, 'v');
  for (int post = 0; post < 2; ++post) {
    auto work = std::dynamic_pointer_cast<JsonHttpAnalyticsEventWork>(
        sink.CreateEventWork(EventKind::Transfer));
    ASSERT_TRUE(work);
    work->GetTree().put("value", value);
    ScopedAllocationCount large(value.size());
    EXPECT_EQ(WorkResult::Success, work->ExecuteTask().result);
    EXPECT_EQ(1u, large.Count()) << "post " << post;
  }
  ASSERT_EQ(2u, server.RequestCount());
  EXPECT_EQ("{\"value\":\"" + value + "\"}\n", server.Requests()[1].body);
}

TEST(JsonHttpAnalyticsManagerTest, RetriesOnceAfterARefusedConnectionOrAServerError) {
  const struct {
    int status;  // 0: nothing listens
    int attempts;
  } cases[] = {{200, 1}, {500, 2}, {503, 2}, {400, 1}, {404, 1}, {0, 2}};
  for (const auto& c : cases) {
    HttpTestServer server;
    HttpTestResponse answer;
    answer.status = c.status;
    answer.body = std::string(1 << 20, 'x');  // read and dropped
    server.Serve("/", answer);
    if (c.status == 0) server.Stop();
    CountingCurlFactory factory;
    {
      JsonHttpAnalyticsManager sink(&factory, NewSession(), kConnectTimeout, kTimeout, 1,
                                    server.Host(), server.Host());
      Post(sink, EventKind::Transfer, "event", "e");
    }
    EXPECT_EQ(factory.Performs(), c.attempts) << "status " << c.status;
    if (c.status != 0) {
      EXPECT_EQ(server.RequestCount(), std::size_t(c.attempts));
    }
  }
}

TEST(JsonHttpAnalyticsManagerTest, MapsEveryRequestResult) {
  using R = HttpRequestResult;
  const struct {
    R result;
    std::uint32_t limit;
    WorkResult attempt;  // what one attempt returns
    int attempts;        // a whole post
  } cases[] = {
      {R::Succeeded, 1, WorkResult::Success, 1},
      {R::ConnectFailed, 1, WorkResult::RetryableError, 2},
      {R::ServerError, 1, WorkResult::RetryableError, 2},
      {R::ServerError, 0, WorkResult::RetryableError, 1},
      {R::ServerError, 3, WorkResult::RetryableError, 4},
      {R::ClientError, 1, WorkResult::Error, 1},
      {R::ResolveFailed, 1, WorkResult::Error, 1},
      {R::TimedOut, 1, WorkResult::Error, 1},
      {R::NetworkError, 1, WorkResult::Error, 1},
      {R::Cancelled, 1, WorkResult::Error, 1},
      {R::OtherError, 1, WorkResult::Error, 1},
  };
  for (const auto& c : cases) {
    ScriptedFactory factory(c.result);
    {
      JsonHttpAnalyticsManager sink(&factory, nullptr, 5, 10, c.limit, "e", "t");
      auto once = std::static_pointer_cast<JsonHttpAnalyticsEventWork>(
          sink.CreateEventWork(EventKind::Transfer));
      EXPECT_EQ(once->ExecuteTask().result, c.attempt) << int(c.result);
      Post(sink, EventKind::Transfer, "event", "e");
    }
    EXPECT_EQ(factory.Performs(), 1 + c.attempts) << int(c.result) << " limit " << c.limit;
  }
}

// Counts the finished runs of the works it observes.
class RunCounter : public WorkCompleteCallback {
 public:
  void OnWorkComplete(const std::shared_ptr<const Work>&, const WorkStatus&) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++runs_;
    ended_.notify_all();
  }
  bool WaitForRuns(int count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return ended_.wait_for(lock, std::chrono::seconds(30), [&] { return runs_ >= count; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable ended_;
  int runs_ = 0;
};

TEST(JsonHttpAnalyticsManagerTest, PostingAgainStartsAFreshRetryBudget) {
  ScriptedFactory factory(HttpRequestResult::ServerError);
  RunCounter runs;
  {
    JsonHttpAnalyticsManager sink(&factory, nullptr, 5, 10, 1, "e", "t");
    auto event = sink.CreateEventWork(EventKind::Transfer);
    event->GetTree().put("event", "e");
    event->AddCompleteCallback(&runs);
    sink.PostEvent(event);
    // Posted again only once the first run, its retry decision included, is over: a post
    // resets the work on the caller's thread.
    ASSERT_TRUE(runs.WaitForRuns(1));
    EXPECT_EQ(factory.Performs(), 2);
    event->SetCancelled();  // posting resets the work, so even this flag is cleared
    sink.PostEvent(event);
    ASSERT_TRUE(runs.WaitForRuns(2));
  }
  EXPECT_EQ(factory.Performs(), 4);
}

TEST(JsonHttpAnalyticsManagerTest, SendsNothingForATreeThatIsNotJson) {
  ScriptedFactory factory(HttpRequestResult::Succeeded);
  {
    JsonHttpAnalyticsManager sink(&factory, nullptr, 5, 10, 1, "e", "t");
    auto event = sink.CreateEventWork(EventKind::Transfer);
    event->GetTree().put_value("root value");
    EXPECT_EQ(event->ExecuteTask().result, WorkResult::Error);
    sink.PostEvent(event);
  }
  EXPECT_EQ(factory.Performs(), 0);
}

// Holds every answer of a server until released.
class Gate {
 public:
  HttpTestServer::Handler Handler() {
    return [this](const HttpTestRequest&) {
      released_.wait();
      return HttpTestResponse();
    };
  }
  void Release() { release_.set_value(); }

 private:
  std::promise<void> release_;
  std::shared_future<void> released_ = release_.get_future().share();
};

TEST(JsonHttpAnalyticsManagerTest, PostingNeverWaitsAndDestructionSendsEverythingQueued) {
  constexpr std::size_t kPosts = 6;  // twice the pool: three wait in the queue
  HttpTestServer server;
  Gate gate;
  server.Handle("/", gate.Handler());
  CountingCurlFactory factory;
  auto sink = std::make_unique<JsonHttpAnalyticsManager>(&factory, NewSession(), kConnectTimeout,
                                                         kTimeout, 1, server.Host(), server.Host());
  for (std::size_t i = 0; i < kPosts; ++i) {
    Post(*sink, EventKind::Transfer, "event", std::to_string(i));
  }
  // Every post returned while the server still holds the first answers.
  ASSERT_TRUE(server.WaitForRequests(3, std::chrono::seconds(30)));
  EXPECT_EQ(server.RequestCount(), 3u);

  std::thread destroy([&sink] { sink.reset(); });
  gate.Release();
  destroy.join();
  EXPECT_EQ(server.RequestCount(), kPosts);
  EXPECT_EQ(factory.Performs(), int(kPosts));
}

}  // namespace
}  // namespace zarn
