#ifndef ZARN_TELEMETRY_JSON_HTTP_ANALYTICS_MANAGER_H_
#define ZARN_TELEMETRY_JSON_HTTP_ANALYTICS_MANAGER_H_

#include <cstdint>
#include <memory>
#include <string>

#include "telemetry/analytics_manager.h"

namespace zarn {

class HttpRequestFactory;
class HttpSession;

// The analytics sink: posts every event as one JSON document over HTTP, on a pool of 3
// threads, to the transfers endpoint (kind EventKind::TransferAnalytics exactly) or the
// events endpoint (every other kind). Nothing reads the answer; a failed post is dropped.
// Destruction sends whatever is still queued.
class JsonHttpAnalyticsManager : public AnalyticsManager {
 public:
  // The built-in endpoint hosts (host or host:port), set when the project is configured.
  static std::string DefaultEventsHost();
  static std::string DefaultTransfersHost();

  // factory is not owned and outlives the sink; session is shared by every post.
  // Time-outs are in seconds; retry_limit counts the attempts after the first.
  JsonHttpAnalyticsManager(HttpRequestFactory* factory, std::shared_ptr<HttpSession> session,
                           std::uint32_t connect_timeout, std::uint32_t timeout,
                           std::uint32_t retry_limit,
                           const std::string& events_host = DefaultEventsHost(),
                           const std::string& transfers_host = DefaultTransfersHost());
  ~JsonHttpAnalyticsManager() override;

  std::shared_ptr<TrackEventWork> CreateEventWork(std::uint32_t kind) override;

  // "http://" and the endpoint's host for kind.
  std::string GetUrl(std::uint32_t kind) const;

 private:
  HttpRequestFactory* const factory_;
  const std::shared_ptr<HttpSession> session_;
  const std::uint32_t connectTimeout_;
  const std::uint32_t timeout_;
  const std::uint32_t retryLimit_;
  const std::string eventsUrl_;
  const std::string transfersUrl_;
};

}  // namespace zarn

#endif  // ZARN_TELEMETRY_JSON_HTTP_ANALYTICS_MANAGER_H_
