#ifndef ZARN_TELEMETRY_JSON_LOG_EVENT_WORK_H_
#define ZARN_TELEMETRY_JSON_LOG_EVENT_WORK_H_

#include <cstdint>
#include <memory>

#include "telemetry/track_event_work.h"

namespace zarn {

class LogManager;

// An event of the work log: writes its tree as one compact JSON line, when its kind
// passes the log's mask.
class JsonLogEventWork : public TrackEventWork {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  // manager is not owned and outlives the work.
  static std::shared_ptr<JsonLogEventWork> Create(std::uint32_t kind, LogManager* manager);
  JsonLogEventWork(Token, std::uint32_t kind, LogManager* manager)
      : TrackEventWork(kind), manager_(manager) {}

  // Success, also when masked out; Error with the exception when the tree cannot be
  // written as JSON (then no line).
  WorkStatus ExecuteTask() override;

 private:
  LogManager* const manager_;
};

}  // namespace zarn

#endif  // ZARN_TELEMETRY_JSON_LOG_EVENT_WORK_H_
