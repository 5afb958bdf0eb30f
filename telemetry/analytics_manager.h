#ifndef ZARN_TELEMETRY_ANALYTICS_MANAGER_H_
#define ZARN_TELEMETRY_ANALYTICS_MANAGER_H_

#include "telemetry/event_manager.h"

namespace zarn {

// The analytics sink as transfers hold it: every event posted here is sent, whatever its
// kind. Implemented by JsonHttpAnalyticsManager.
class AnalyticsManager : public EventManager {
 protected:
  using EventManager::EventManager;
};

}  // namespace zarn

#endif  // ZARN_TELEMETRY_ANALYTICS_MANAGER_H_
