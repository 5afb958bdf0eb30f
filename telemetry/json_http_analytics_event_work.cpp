#include "telemetry/json_http_analytics_event_work.h"

#include <string>
#include <utility>

#include "http/http_request.h"
#include "http/http_request_factory.h"
#include "http/http_request_params.h"
#include "http/http_write_callback.h"
#include "telemetry/compact_json_text.h"

namespace zarn {
namespace {

constexpr std::uint32_t kPostMethod = 1;

WorkResult ResultOfPost(HttpRequestResult result) {
  switch (result) {
    case HttpRequestResult::Succeeded:
      return WorkResult::Success;
    case HttpRequestResult::ConnectFailed:
    case HttpRequestResult::ServerError:
      return WorkResult::RetryableError;
    default:
      return WorkResult::Error;
  }
}

// Takes the answer's body and keeps none of it: nothing reads it, and an endpoint that
// keeps sending must not fill memory until the time-out.
class DiscardingWriter : public HttpWriteCallback {
 public:
  HttpRequestStatus Write(const std::uint8_t*, std::uint32_t length) override {
    return HttpRequestStatus(HttpRequestResult::Succeeded, length);
  }
};

}  // namespace

std::shared_ptr<JsonHttpAnalyticsEventWork> JsonHttpAnalyticsEventWork::Create(
    std::uint32_t kind, const std::string& url, HttpRequestFactory* factory,
    std::shared_ptr<HttpSession> session, std::uint32_t connect_timeout, std::uint32_t timeout,
    std::uint32_t retry_limit) {
  return std::make_shared<JsonHttpAnalyticsEventWork>(
      Token(), kind, url, factory, std::move(session), connect_timeout, timeout, retry_limit);
}

JsonHttpAnalyticsEventWork::JsonHttpAnalyticsEventWork(
    Token, std::uint32_t kind, const std::string& url, HttpRequestFactory* factory,
    std::shared_ptr<HttpSession> session, std::uint32_t connect_timeout, std::uint32_t timeout,
    std::uint32_t retry_limit)
    : TrackEventWork(kind),
      url_(url),
      factory_(factory),
      session_(std::move(session)),
      connectTimeout_(connect_timeout),
      timeout_(timeout),
      retryLimit_(retry_limit) {}

bool JsonHttpAnalyticsEventWork::ShouldRetry() {
  if (retryCount_ >= retryLimit_) return false;
  ++retryCount_;
  return true;
}

void JsonHttpAnalyticsEventWork::Reset() {
  TrackEventWork::Reset();
  retryCount_ = 0;
}

// The body may be hundreds of megabytes (every node of a transfer, each byte above 0x7F
// six bytes of JSON): it is made once and moved on, into the parameters and the request.
WorkStatus JsonHttpAnalyticsEventWork::ExecuteTask() {
  std::string body;
  try {
    body = CompactJsonText(GetTree());
  } catch (...) {
    return WorkStatus(WorkResult::Error);
  }

  DiscardingWriter sink;
  HttpRequestParams params(url_, &sink);
  params.method = kPostMethod;
  params.body = std::move(body);
  params.contentType = "application/json";
  params.connectTimeout = connectTimeout_;
  params.timeout = timeout_;

  const std::shared_ptr<HttpRequest> request =
      factory_->CreateForSession(std::move(params), session_);
  return WorkStatus(ResultOfPost(request->Perform().result));
}

}  // namespace zarn
