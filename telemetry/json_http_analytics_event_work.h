#ifndef ZARN_TELEMETRY_JSON_HTTP_ANALYTICS_EVENT_WORK_H_
#define ZARN_TELEMETRY_JSON_HTTP_ANALYTICS_EVENT_WORK_H_

#include <cstdint>
#include <memory>
#include <string>

#include "telemetry/track_event_work.h"

namespace zarn {

class HttpRequestFactory;
class HttpSession;

// An analytics event: posts its tree as compact JSON to its URL. A refused connection or a
// server error is tried again at once, up to the retry limit; any other failure ends it.
class JsonHttpAnalyticsEventWork : public TrackEventWork {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  // factory is not owned and outlives the work; time-outs are in seconds.
  static std::shared_ptr<JsonHttpAnalyticsEventWork> Create(
      std::uint32_t kind, const std::string& url, HttpRequestFactory* factory,
      std::shared_ptr<HttpSession> session, std::uint32_t connect_timeout, std::uint32_t timeout,
      std::uint32_t retry_limit);
  JsonHttpAnalyticsEventWork(Token, std::uint32_t kind, const std::string& url,
                             HttpRequestFactory* factory, std::shared_ptr<HttpSession> session,
                             std::uint32_t connect_timeout, std::uint32_t timeout,
                             std::uint32_t retry_limit);

  // Counts one retry while the limit allows.
  bool ShouldRetry() override;
  // Clears the cancelled flag and the retry count: every post starts afresh.
  void Reset() override;
  // One attempt: Success when the server accepted the post, RetryableError after
  // ConnectFailed or ServerError, Error otherwise (and when the tree is not JSON, in which
  // case nothing is sent). Throws when no request can be made.
  WorkStatus ExecuteTask() override;

  const std::string& GetUrl() const { return url_; }

 private:
  const std::string url_;
  HttpRequestFactory* const factory_;
  const std::shared_ptr<HttpSession> session_;
  const std::uint32_t connectTimeout_;
  const std::uint32_t timeout_;
  const std::uint32_t retryLimit_;
  std::uint32_t retryCount_ = 0;  // touched by the running attempt only, or before posting
};

}  // namespace zarn

#endif  // ZARN_TELEMETRY_JSON_HTTP_ANALYTICS_EVENT_WORK_H_
