#include "telemetry/json_http_analytics_manager.h"

#include <utility>

#include "telemetry/event_kind.h"
#include "telemetry/json_http_analytics_event_work.h"

#ifndef ZARN_ANALYTICS_EVENTS_HOST
#error "ZARN_ANALYTICS_EVENTS_HOST is set by telemetry/CMakeLists.txt"
#endif
#ifndef ZARN_ANALYTICS_TRANSFERS_HOST
#error "ZARN_ANALYTICS_TRANSFERS_HOST is set by telemetry/CMakeLists.txt"
#endif

namespace zarn {
namespace {

constexpr std::uint32_t kAnalyticsThreads = 3;

}  // namespace

std::string JsonHttpAnalyticsManager::DefaultEventsHost() { return ZARN_ANALYTICS_EVENTS_HOST; }

std::string JsonHttpAnalyticsManager::DefaultTransfersHost() {
  return ZARN_ANALYTICS_TRANSFERS_HOST;
}

JsonHttpAnalyticsManager::JsonHttpAnalyticsManager(HttpRequestFactory* factory,
                                                   std::shared_ptr<HttpSession> session,
                                                   std::uint32_t connect_timeout,
                                                   std::uint32_t timeout, std::uint32_t retry_limit,
                                                   const std::string& events_host,
                                                   const std::string& transfers_host)
    : AnalyticsManager(kAnalyticsThreads),
      factory_(factory),
      session_(std::move(session)),
      connectTimeout_(connect_timeout),
      timeout_(timeout),
      retryLimit_(retry_limit),
      eventsUrl_("http://" + events_host),
      transfersUrl_("http://" + transfers_host) {}

JsonHttpAnalyticsManager::~JsonHttpAnalyticsManager() { Drain(); }

std::shared_ptr<TrackEventWork> JsonHttpAnalyticsManager::CreateEventWork(std::uint32_t kind) {
  return JsonHttpAnalyticsEventWork::Create(kind, GetUrl(kind), factory_, session_, connectTimeout_,
                                            timeout_, retryLimit_);
}

std::string JsonHttpAnalyticsManager::GetUrl(std::uint32_t kind) const {
  return kind == EventKind::TransferAnalytics ? transfersUrl_ : eventsUrl_;
}

}  // namespace zarn
