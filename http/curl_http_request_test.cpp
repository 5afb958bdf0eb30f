#include "http/curl_http_request.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <new>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include "http/http_stringstream_writer.h"
#include "testing/allocation/allocation_seam.h"
#include "testing/http_test_server.h"
#include "testing/loopback_port.h"

namespace zarn {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

std::string Pattern(std::size_t size) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
  return text;
}

// Collects the body; can be told to answer one piece with a scripted failure, and reports
// when a given number of bytes has arrived.
class RecordingSink : public HttpWriteCallback {
 public:
  HttpRequestStatus Write(const std::uint8_t* data, std::uint32_t length) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (throwBadAlloc_) throw std::bad_alloc();
    if (throwWithoutMemory_) {
      failing_.emplace();
      throw error_;  // a copy shares the text: no allocation
    }
    if (failWith_ != HttpRequestResult::Succeeded) {
      const std::uint32_t taken = std::min(length, failAccepting_);
      body_.append(reinterpret_cast<const char*>(data), taken);
      HttpRequestStatus answer(failWith_, taken);
      answer.message = failMessage_;
      changed_.notify_all();
      return answer;
    }
    body_.append(reinterpret_cast<const char*>(data), length);
    changed_.notify_all();
    return HttpRequestStatus(HttpRequestResult::Succeeded, length);
  }

  void FailWith(HttpRequestResult result, std::uint32_t accepting, const std::string& message) {
    failWith_ = result;
    failAccepting_ = accepting;
    failMessage_ = message;
  }

  void ThrowBadAlloc() { throwBadAlloc_ = true; }
  // Throws an error with a long text once this thread's allocations fail, until Disarm.
  void ThrowWithoutMemory() { throwWithoutMemory_ = true; }
  void Disarm() { failing_.reset(); }

  bool WaitForBytes(std::size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, seconds(30), [&] { return body_.size() >= count; });
  }

  std::string Body() {
    std::lock_guard<std::mutex> lock(mutex_);
    return body_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string body_;
  HttpRequestResult failWith_ = HttpRequestResult::Succeeded;
  std::uint32_t failAccepting_ = 0;
  std::string failMessage_;
  bool throwBadAlloc_ = false;
  bool throwWithoutMemory_ = false;
  const std::runtime_error error_{"a text longer than a short string holds"};
  std::optional<ScopedFailingAllocation> failing_;
};

class CurlHttpRequestTest : public ::testing::Test {
 protected:
  HttpRequestParams Params(const std::string& path) {
    return HttpRequestParams(server_.Url(path), &sink_);
  }

  HttpTestServer server_;
  RecordingSink sink_;
};

TEST_F(CurlHttpRequestTest, GetSendsTheAgentAndNoEncodingRangeOrContentType) {
  const std::string content = Pattern(70000);
  server_.ServeFile("/file", content);
  HttpRequestParams params = Params("/file");
  params.lowSpeedLimit = 1000;  // without a low-speed time: no limit at all
  CurlHttpRequest request(params, "");

  const HttpRequestStatus status = request.Perform();

  EXPECT_EQ(HttpRequestResult::Succeeded, status.result);
  EXPECT_EQ(200u, status.httpCode);
  EXPECT_EQ("127.0.0.1", status.serverIp);
  EXPECT_EQ("", status.message);
  EXPECT_EQ(content.size(), status.bytes);
  EXPECT_EQ(content, sink_.Body());
  ASSERT_EQ(1u, server_.RequestCount());
  const HttpTestRequest sent = server_.Requests()[0];
  EXPECT_EQ("GET", sent.method);
  EXPECT_EQ("Corvane Skelmir TransferService 0.9", sent.Header("User-Agent"));
  EXPECT_EQ(0, sent.HeaderCount("Accept-Encoding"));
  EXPECT_EQ(0, sent.HeaderCount("Range"));
  EXPECT_EQ(0, sent.HeaderCount("Content-Type"));
}

TEST_F(CurlHttpRequestTest, RangedGetIsByteExactAndOffersNoEncoding) {
  const std::string content = Pattern(300000);
  server_.ServeFile("/file", content);
  HttpRequestParams params = Params("/file");
  params.method = 2;  // anything but 1 is a GET
  params.rangeBegin = 100;
  params.rangeEnd = 200099;
  params.acceptEncoding = "gzip";
  CurlHttpRequest request(params, "");

  const HttpRequestStatus status = request.Perform();

  EXPECT_EQ(HttpRequestResult::Succeeded, status.result);
  EXPECT_EQ(206u, status.httpCode);
  EXPECT_EQ(200000u, status.bytes);
  EXPECT_TRUE(sink_.Body() == content.substr(100, 200000));
  const HttpTestRequest sent = server_.Requests()[0];
  EXPECT_EQ("GET", sent.method);
  EXPECT_EQ("bytes=100-200099", sent.Header("Range"));
  EXPECT_EQ(0, sent.HeaderCount("Accept-Encoding"));
}

TEST_F(CurlHttpRequestTest, EncodingIsOfferedOnlyWithoutRange) {
  server_.ServeFile("/file", "abc");
  HttpRequestParams params = Params("/file");
  params.acceptEncoding = "gzip";
  CurlHttpRequest request(params, "");
  EXPECT_EQ(HttpRequestResult::Succeeded, request.Perform().result);
  EXPECT_EQ("gzip", server_.Requests()[0].Header("Accept-Encoding"));
}

TEST_F(CurlHttpRequestTest, PostSendsExactlyOneContentTypeAndTheBody) {
  server_.ServeFile("/post", "ok");
  HttpRequestParams params = Params("/post");
  params.method = 1;
  params.body = "{\"a\":\"1\"}";
  params.contentType = "application/json";
  CurlHttpRequest request(params, "");

  EXPECT_EQ(HttpRequestResult::Succeeded, request.Perform().result);

  const HttpTestRequest sent = server_.Requests()[0];
  EXPECT_EQ("POST", sent.method);
  EXPECT_EQ(1, sent.HeaderCount("Content-Type"));
  EXPECT_EQ("application/json", sent.Header("Content-Type"));
  EXPECT_EQ("{\"a\":\"1\"}", sent.body);
  EXPECT_EQ(0, sent.HeaderCount("Accept-Encoding"));
  EXPECT_EQ("ok", sink_.Body());
}

// Each outcome that a server, the network or the sink can produce.
TEST_F(CurlHttpRequestTest, ClassifiesFailures) {
  struct Case {
    const char* name;
    std::function<void(HttpTestServer&, RecordingSink&, HttpRequestParams&, std::string&)> setUp;
    HttpRequestResult result;
    std::string message;
  };
  const std::string content = Pattern(50000);
  const RefusingPort refused;
  const std::vector<Case> cases = {
      {"404", [](HttpTestServer&, RecordingSink&, HttpRequestParams&, std::string&) {},
       HttpRequestResult::ClientError, "libcurl error 22 (HTTP 404)"},
      {"500",
       [](HttpTestServer& s, RecordingSink&, HttpRequestParams&, std::string&) {
         HttpTestResponse r;
         r.status = 500;
         s.Serve("/x", r);
       },
       HttpRequestResult::ServerError, "libcurl error 22 (HTTP 500)"},
      {"503",
       [](HttpTestServer& s, RecordingSink&, HttpRequestParams&, std::string&) {
         HttpTestResponse r;
         r.status = 503;
         s.Serve("/x", r);
       },
       HttpRequestResult::ServerError, "libcurl error 22 (HTTP 503)"},
      {"range past the end",
       [&](HttpTestServer& s, RecordingSink&, HttpRequestParams& p, std::string&) {
         s.ServeFile("/x", content);
         p.rangeBegin = 60000;
         p.rangeEnd = 60099;
       },
       HttpRequestResult::ClientError, "libcurl error 22 (HTTP 416)"},
      {"refused connection",
       [&](HttpTestServer&, RecordingSink&, HttpRequestParams& p, std::string&) {
         p.url = "http://127.0.0.1:" + std::to_string(refused.Port()) + "/x";
       },
       HttpRequestResult::ConnectFailed, "libcurl error 7 (HTTP 0)"},
      // The resolver's own retries can outlast the default connect time-out when the name
      // server is slow; the time-out would then hide the classification under test.
      {"unresolvable host",
       [](HttpTestServer&, RecordingSink&, HttpRequestParams& p, std::string&) {
         p.url = "http://no-such-host.invalid/x";
         p.connectTimeout = 60;
       },
       HttpRequestResult::ResolveFailed, "libcurl error 6 (HTTP 0)"},
      {"unresolvable proxy",
       [](HttpTestServer&, RecordingSink&, HttpRequestParams& p, std::string& proxy) {
         proxy = "no-such-proxy.invalid:3128";
         p.connectTimeout = 60;
       },
       HttpRequestResult::ResolveFailed, "libcurl error 5 (HTTP 0)"},
      {"unsupported protocol",
       [](HttpTestServer&, RecordingSink&, HttpRequestParams& p, std::string&) {
         p.url = "nothttp://127.0.0.1/x";
       },
       HttpRequestResult::BadUrl, "libcurl error 1 (HTTP 0)"},
      {"total time-out before any answer",
       [](HttpTestServer& s, RecordingSink&, HttpRequestParams& p, std::string&) {
         HttpTestResponse r;
         r.stallBeforeHeaders = HttpTestResponse::kForever;
         s.Serve("/x", r);
         p.timeout = 1;
       },
       HttpRequestResult::TimedOut, "libcurl error 28 (HTTP 0)"},
      {"low-speed abort in the body",
       [&](HttpTestServer& s, RecordingSink&, HttpRequestParams& p, std::string&) {
         HttpTestResponse r;
         r.body = content;
         r.stallAtByte = 1000;
         r.stallFor = HttpTestResponse::kForever;
         s.Serve("/x", r);
         p.lowSpeedLimit = 1000;
         p.lowSpeedTime = 1;
       },
       HttpRequestResult::TimedOut, "libcurl error 28 (HTTP 200)"},
      {"body shorter than its length",
       [&](HttpTestServer& s, RecordingSink&, HttpRequestParams&, std::string&) {
         HttpTestResponse r;
         r.body = content;
         r.dropAfterBytes = 20000;
         s.Serve("/x", r);
       },
       HttpRequestResult::RangeError, "libcurl error 18 (HTTP 200)"},
      {"connection reset in the body",
       [&](HttpTestServer& s, RecordingSink&, HttpRequestParams&, std::string&) {
         HttpTestResponse r;
         r.body = content;
         r.dropAfterBytes = 20000;
         r.resetOnDrop = true;
         s.Serve("/x", r);
       },
       HttpRequestResult::NetworkError, "libcurl error 56 (HTTP 200)"},
      {"sink refuses",
       [&](HttpTestServer& s, RecordingSink& sink, HttpRequestParams&, std::string&) {
         s.ServeFile("/x", content);
         sink.FailWith(HttpRequestResult::WriteFailed, 0, "no room");
       },
       HttpRequestResult::WriteFailed, "no room"},
      {"sink answers another failure",
       [&](HttpTestServer& s, RecordingSink& sink, HttpRequestParams&, std::string&) {
         s.ServeFile("/x", content);
         sink.FailWith(HttpRequestResult::ConnectFailed, 0, "odd");
       },
       HttpRequestResult::WriteFailed, "odd"},
      {"sink finds the body too long",
       [&](HttpTestServer& s, RecordingSink& sink, HttpRequestParams&, std::string&) {
         s.ServeFile("/x", content);
         sink.FailWith(HttpRequestResult::RangeError, 10, "past the chunk");
       },
       HttpRequestResult::RangeError, "past the chunk"},
      {"sink out of memory",
       [&](HttpTestServer& s, RecordingSink& sink, HttpRequestParams&, std::string&) {
         s.ServeFile("/x", content);
         sink.FailWith(HttpRequestResult::OutOfMemory, 0, "");
       },
       HttpRequestResult::OutOfMemory, ""},
      {"sink throws",  // must not unwind through libcurl
       [&](HttpTestServer& s, RecordingSink& sink, HttpRequestParams&, std::string&) {
         s.ServeFile("/x", content);
         sink.ThrowBadAlloc();
       },
       HttpRequestResult::OutOfMemory, ""},
      {"sink throws when no memory is left for its text",
       [&](HttpTestServer& s, RecordingSink& sink, HttpRequestParams&, std::string&) {
         s.ServeFile("/x", content);
         sink.ThrowWithoutMemory();
       },
       HttpRequestResult::WriteFailed, ""},
      {"second redirect",
       [](HttpTestServer& s, RecordingSink&, HttpRequestParams&, std::string&) {
         s.Serve("/x", HttpTestResponse::Redirect("/y"));
         s.Serve("/y", HttpTestResponse::Redirect("/z"));
         s.ServeFile("/z", "never");
       },
       HttpRequestResult::OtherError, "libcurl error 47 (HTTP 302)"},
      {"zero byte in a header",
       [&](HttpTestServer& s, RecordingSink&, HttpRequestParams&, std::string&) {
         HttpTestResponse r;
         r.body = content;
         r.headers = {{"X-Odd", std::string("a\0b", 3)}};
         s.Serve("/x", r);
       },
       HttpRequestResult::OtherError, "libcurl error 8 (HTTP 200)"},
      {"body that does not decode",
       [&](HttpTestServer& s, RecordingSink&, HttpRequestParams& p, std::string&) {
         HttpTestResponse r;
         r.body = content;
         r.headers = {{"Content-Encoding", "gzip"}};
         s.Serve("/x", r);
         p.acceptEncoding = "gzip";
       },
       HttpRequestResult::OtherError, "libcurl error 61 (HTTP 200)"},
      // An answer that libcurl reports with a code that otherwise names the request or the
      // client's memory is the server's fault.
      {"header line over libcurl's limit",  // which libcurl reports as out of memory
       [&](HttpTestServer& s, RecordingSink&, HttpRequestParams&, std::string&) {
         HttpTestResponse r;
         r.body = content;
         r.headers = {{"X-Padding", std::string(200 * 1024, 'p')}};
         s.Serve("/x", r);
       },
       HttpRequestResult::NetworkError, "libcurl error 27 (HTTP 200)"},
      {"status code of four digits",  // an unsupported protocol to libcurl
       [&](HttpTestServer& s, RecordingSink&, HttpRequestParams&, std::string&) {
         HttpTestResponse r;
         r.status = 2000;
         r.body = content;
         s.Serve("/x", r);
       },
       HttpRequestResult::NetworkError, "libcurl error 1 (HTTP 0)"},
      {"redirect to an unparsable URL",  // a malformed URL to libcurl
       [](HttpTestServer& s, RecordingSink&, HttpRequestParams&, std::string&) {
         s.Serve("/x", HttpTestResponse::Redirect("http://[bad/y"));
       },
       HttpRequestResult::NetworkError, "libcurl error 3 (HTTP 302)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HttpTestServer server;
    RecordingSink sink;
    HttpRequestParams params(server.Url("/x"), &sink);
    std::string proxy;
    c.setUp(server, sink, params, proxy);
    CurlHttpRequest request(params, proxy);
    const HttpRequestStatus status = request.Perform();
    sink.Disarm();
    EXPECT_EQ(c.result, status.result);
    EXPECT_EQ(c.message, status.message);
    EXPECT_EQ(sink.Body().size(), status.bytes);
    EXPECT_EQ(status.result, request.GetStatus().result);
  }
}

// Every code libcurl can end an exchange with, including those no server here can make
// libcurl report on its own schedule (a reset while the post is being sent is 55 or 56,
// whichever of the two calls notices it first).
TEST(ClassifyCurlResultTest, FollowsTheResultTable) {
  struct Row {
    int code;
    std::uint32_t httpCode;
    HttpRequestResult before;  // no answer yet
    HttpRequestResult after;   // the server had begun to answer
  };
  using R = HttpRequestResult;
  const Row rows[] = {
      {0, 200, R::Succeeded, R::Succeeded},        {1, 0, R::BadUrl, R::NetworkError},
      {3, 0, R::BadUrl, R::NetworkError},          {4, 0, R::BadUrl, R::BadUrl},
      {5, 0, R::ResolveFailed, R::ResolveFailed},  {6, 0, R::ResolveFailed, R::ResolveFailed},
      {7, 0, R::ConnectFailed, R::ConnectFailed},  {9, 403, R::ClientError, R::ClientError},
      {22, 499, R::ClientError, R::ClientError},   {22, 500, R::ServerError, R::ServerError},
      {78, 404, R::ClientError, R::ClientError},   {78, 503, R::ServerError, R::ServerError},
      {18, 200, R::RangeError, R::RangeError},     {33, 206, R::RangeError, R::RangeError},
      {23, 200, R::WriteFailed, R::WriteFailed},   {27, 0, R::OutOfMemory, R::NetworkError},
      {28, 0, R::TimedOut, R::TimedOut},           {55, 0, R::NetworkError, R::NetworkError},
      {56, 200, R::NetworkError, R::NetworkError}, {47, 302, R::OtherError, R::OtherError},
      {52, 0, R::OtherError, R::OtherError},       {8, 200, R::OtherError, R::OtherError},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.code);
    EXPECT_EQ(row.before, ClassifyCurlResult(row.code, row.httpCode, false));
    EXPECT_EQ(row.after, ClassifyCurlResult(row.code, row.httpCode, true));
  }
}

// A pooled request may stay idle for long: once its post is sent it holds none of it.
TEST_F(CurlHttpRequestTest, GivesAPostBodyBackOnceSent) {
  class InspectedRequest : public CurlHttpRequest {
   public:
    using CurlHttpRequest::CurlHttpRequest;
    std::size_t HeldBodyBytes() const { return params_.body.capacity(); }
  };
  server_.ServeFile("/post", "ok");
  HttpRequestParams params = Params("/post");
  params.method = 1;
  params.body = std::string(512 * 1024, 'b');  // below libcurl's 1 MiB for Expect: 100
  InspectedRequest request(std::move(params), "");

  EXPECT_EQ(HttpRequestResult::Succeeded, request.Perform().result);

  EXPECT_EQ(512u * 1024, server_.Requests()[0].body.size());
  EXPECT_LT(request.HeldBodyBytes(), 64u);
}

TEST_F(CurlHttpRequestTest, FollowsOneRedirect) {
  server_.Serve("/old", HttpTestResponse::Redirect("/new"));
  server_.ServeFile("/new", "moved");
  CurlHttpRequest request(Params("/old"), "");

  const HttpRequestStatus status = request.Perform();

  EXPECT_EQ(HttpRequestResult::Succeeded, status.result);
  EXPECT_EQ("moved", sink_.Body());
  const auto requests = server_.Requests();
  ASSERT_EQ(2u, requests.size());
  EXPECT_EQ("/old", requests[0].path);
  EXPECT_EQ("/new", requests[1].path);
}

// Whether asked for or redirected to, no other protocol is spoken: nothing connects to
// the port the other URL names. Asked for, the URL is bad; redirected to, the server's
// answer is.
TEST_F(CurlHttpRequestTest, SpeaksPlainHttpOnly) {
  HttpTestServer elsewhere;
  const std::string authority = "127.0.0.1:" + std::to_string(elsewhere.Port());
  for (const char* scheme : {"ftp", "https", "gopher", "dict"}) {
    SCOPED_TRACE(scheme);
    const std::string url = std::string(scheme) + "://" + authority + "/x";
    server_.Serve("/redirect", HttpTestResponse::Redirect(url));
    CurlHttpRequest redirected(Params("/redirect"), "");
    EXPECT_EQ(HttpRequestResult::NetworkError, redirected.Perform().result);
    CurlHttpRequest direct(HttpRequestParams(url, &sink_), "");
    EXPECT_EQ(HttpRequestResult::BadUrl, direct.Perform().result);
  }
  CurlHttpRequest file(HttpRequestParams("file:///etc/hostname", &sink_), "");
  EXPECT_EQ(HttpRequestResult::BadUrl, file.Perform().result);
  EXPECT_EQ("", sink_.Body());
  EXPECT_EQ(0, elsewhere.ConnectionCount());
}

// libcurl resolves "." and ".." segments away but sends encoded dots as they are, which is
// what keeps an identifier made of dots one literal segment.
TEST_F(CurlHttpRequestTest, SendsEncodedDotSegmentsLiterally) {
  for (const char* path : {"/a/%2E%2E/b", "/a/%2E/b", "/a/../b"}) {
    CurlHttpRequest request(Params(path), "");
    request.Perform();
  }
  const auto requests = server_.Requests();
  ASSERT_EQ(3u, requests.size());
  EXPECT_EQ("/a/%2E%2E/b", requests[0].target);
  EXPECT_EQ("/a/%2E/b", requests[1].target);
  EXPECT_EQ("/b", requests[2].target);
}

// A connection that closes before any byte of an answer.
TEST_F(CurlHttpRequestTest, AnEmptyReplyIsAnOtherError) {
  HttpTestResponse silent;
  silent.stallBeforeHeaders = HttpTestResponse::kForever;
  server_.Serve("/x", silent);
  HttpRequestParams params = Params("/x");
  params.timeout = 30;  // a safety net only
  CurlHttpRequest request(params, "");
  std::thread closer([&] {
    EXPECT_TRUE(server_.WaitForRequests(1, seconds(30)));
    server_.Stop();
  });
  const HttpRequestStatus status = request.Perform();
  closer.join();

  EXPECT_EQ(HttpRequestResult::OtherError, status.result);
  EXPECT_EQ("libcurl error 52 (HTTP 0)", status.message);
}

// libcurl's out-of-memory code before any answer arrived stays out of memory, also on a
// handle whose earlier exchange had an answer. A request over libcurl's 1 MiB bound for
// what it sends is the one way to make it report that here.
TEST_F(CurlHttpRequestTest, OutOfMemoryBeforeAnyAnswerIsOutOfMemory) {
  server_.ServeFile("/file", "abc");
  CurlHttpRequest request(Params("/file"), "");
  ASSERT_EQ(HttpRequestResult::Succeeded, request.Perform().result);

  HttpRequestParams huge = Params("/file");
  huge.userAgent = std::string(2 << 20, 'u');
  ASSERT_TRUE(request.Reset(std::move(huge), ""));
  const HttpRequestStatus status = request.Perform();

  EXPECT_EQ(HttpRequestResult::OutOfMemory, status.result);
  EXPECT_EQ("libcurl error 27 (HTTP 0)", status.message);
  EXPECT_EQ(1u, server_.RequestCount());
}

TEST_F(CurlHttpRequestTest, CancelBeforePerformSendsNothing) {
  server_.ServeFile("/file", "abc");
  CurlHttpRequest request(Params("/file"), "");
  request.Cancel();

  const HttpRequestStatus status = request.Perform();

  EXPECT_EQ(HttpRequestResult::Cancelled, status.result);
  EXPECT_EQ("", status.message);
  EXPECT_EQ(0, server_.ConnectionCount());
}

TEST_F(CurlHttpRequestTest, CancelFromAnotherThreadEndsAStalledBody) {
  HttpTestResponse stalled;
  stalled.body = Pattern(100000);
  stalled.stallAtByte = 4000;
  stalled.stallFor = HttpTestResponse::kForever;
  server_.Serve("/file", stalled);
  HttpRequestParams params = Params("/file");
  // A safety net only, well past the 2 s allowed below: a request that the cancel did not
  // abort ends here, too late to pass.
  params.timeout = 10;
  CurlHttpRequest request(params, "");

  std::chrono::steady_clock::time_point cancelledAt;
  std::thread canceller([&] {
    ASSERT_TRUE(sink_.WaitForBytes(4000));
    EXPECT_EQ(HttpRequestResult::Running, request.GetStatus().result);
    EXPECT_FALSE(request.Reset(HttpRequestParams(params), ""));  // refused while running
    cancelledAt = std::chrono::steady_clock::now();
    request.Cancel();
  });
  const HttpRequestStatus status = request.Perform();
  const auto returnedAt = std::chrono::steady_clock::now();
  canceller.join();

  // The server sends nothing more, so only the progress callback can end the transfer.
  const auto cancelToEnd = std::chrono::duration_cast<milliseconds>(returnedAt - cancelledAt);
  EXPECT_LT(cancelToEnd.count(), 2000) << "ms from Cancel to the end of Perform";
  EXPECT_EQ(HttpRequestResult::Cancelled, status.result);
  EXPECT_EQ("", status.message);
  EXPECT_EQ(4000u, status.bytes);
  EXPECT_EQ(200u, status.httpCode);
}

TEST_F(CurlHttpRequestTest, FinishedRequestIsNotRunAgainUntilReset) {
  server_.ServeFile("/a", "first");
  server_.ServeFile("/b", "second");
  CurlHttpRequest request(Params("/a"), "");
  ASSERT_EQ(HttpRequestResult::Succeeded, request.Perform().result);

  const HttpRequestStatus again = request.Perform();
  EXPECT_EQ(HttpRequestResult::Succeeded, again.result);
  EXPECT_EQ(5u, again.bytes);
  EXPECT_EQ(1u, server_.RequestCount());

  ASSERT_TRUE(request.Reset(Params("/b"), ""));
  EXPECT_EQ(HttpRequestResult::Idle, request.GetStatus().result);
  EXPECT_EQ(0u, request.GetStatus().bytes);
  const HttpRequestStatus second = request.Perform();
  EXPECT_EQ(HttpRequestResult::Succeeded, second.result);
  EXPECT_EQ(6u, second.bytes);
  EXPECT_EQ("firstsecond", sink_.Body());
  const auto requests = server_.Requests();
  ASSERT_EQ(2u, requests.size());
  EXPECT_EQ("/b", requests[1].path);
  EXPECT_EQ(requests[0].connection, requests[1].connection);  // the handle's connection
}

TEST_F(CurlHttpRequestTest, IgnoresProxyVariablesOfTheEnvironment) {
  server_.ServeFile("/file", "direct");
  const RefusingPort refused;
  const std::string dead = "http://127.0.0.1:" + std::to_string(refused.Port());
  ::setenv("http_proxy", dead.c_str(), 1);
  ::setenv("HTTP_PROXY", dead.c_str(), 1);
  ::setenv("ALL_PROXY", dead.c_str(), 1);
  CurlHttpRequest request(Params("/file"), "");
  const HttpRequestStatus status = request.Perform();
  ::unsetenv("http_proxy");
  ::unsetenv("HTTP_PROXY");
  ::unsetenv("ALL_PROXY");

  EXPECT_EQ(HttpRequestResult::Succeeded, status.result) << status.message;
  EXPECT_EQ("direct", sink_.Body());
}

TEST(HttpStringstreamWriterTest, AppendsWhileTheStreamIsGood) {
  std::stringstream stream;
  HttpStringstreamWriter writer(&stream);
  const std::uint8_t data[] = {'a', 'b', 'c'};

  EXPECT_EQ(HttpRequestResult::Succeeded, writer.Write(data, 0).result);
  const HttpRequestStatus ok = writer.Write(data, 3);
  EXPECT_EQ(HttpRequestResult::Succeeded, ok.result);
  EXPECT_EQ(3u, ok.bytes);
  EXPECT_EQ("abc", stream.str());

  stream.setstate(std::ios::badbit);
  const HttpRequestStatus failed = writer.Write(data, 3);
  EXPECT_EQ(HttpRequestResult::WriteFailed, failed.result);
  EXPECT_EQ(0u, failed.bytes);
  EXPECT_EQ("", failed.message);
}

}  // namespace
}  // namespace zarn
