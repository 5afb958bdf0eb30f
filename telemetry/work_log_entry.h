#ifndef ZARN_TELEMETRY_WORK_LOG_ENTRY_H_
#define ZARN_TELEMETRY_WORK_LOG_ENTRY_H_

#include <boost/property_tree/ptree_fwd.hpp>
#include <cstdint>

namespace zarn {

class EventManager;

// What the two set-up works share: turning the description of a finished or retried work
// into a work-log event.

// True when the description holds "important" as "true" or "1".
bool IsImportantWork(const boost::property_tree::ptree& description);

// base_kind, plus EventKind::Important for an important work.
std::uint32_t WorkLogKind(std::uint32_t base_kind, const boost::property_tree::ptree& description);

// Creates an event of `kind` in manager, puts "event" = event_name and "params" =
// description into it, and posts it.
void PostWorkLogEntry(EventManager& manager, std::uint32_t kind, const char* event_name,
                      const boost::property_tree::ptree& description);

}  // namespace zarn

#endif  // ZARN_TELEMETRY_WORK_LOG_ENTRY_H_
