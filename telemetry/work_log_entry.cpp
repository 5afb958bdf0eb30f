#include "telemetry/work_log_entry.h"

#include <boost/property_tree/ptree.hpp>
#include <memory>
#include <string>

#include "telemetry/event_kind.h"
#include "telemetry/event_manager.h"
#include "telemetry/track_event_work.h"

namespace zarn {

bool IsImportantWork(const boost::property_tree::ptree& description) {
  const auto value = description.get_optional<std::string>("important");
  return value && (*value == "true" || *value == "1");
}

std::uint32_t WorkLogKind(std::uint32_t base_kind, const boost::property_tree::ptree& description) {
  return IsImportantWork(description) ? (base_kind | EventKind::Important) : base_kind;
}

void PostWorkLogEntry(EventManager& manager, std::uint32_t kind, const char* event_name,
                      const boost::property_tree::ptree& description) {
  std::shared_ptr<TrackEventWork> event = manager.CreateEventWork(kind);
  event->GetTree().put("event", event_name);
  event->GetTree().put_child("params", description);
  manager.PostEvent(event);
}

}  // namespace zarn
