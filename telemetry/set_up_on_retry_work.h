#ifndef ZARN_TELEMETRY_SET_UP_ON_RETRY_WORK_H_
#define ZARN_TELEMETRY_SET_UP_ON_RETRY_WORK_H_

#include <boost/property_tree/ptree.hpp>
#include <cstdint>
#include <memory>

#include "work/simple_work.h"
#include "work/work_status.h"

namespace zarn {

class EventManager;

// Turns the report that a simple work is about to run again into a work-log event
// ("event" = "OnSimpleWorkRetry"), posted into the sink that made this work.
//
// The work is described when this is created, on the thread that reports the retry, and
// only the description is kept: the next attempt is already under way on that thread.
class SetUpOnRetryWork : public SimpleWork {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  // Takes the description of work with status now; throws what describing throws.
  // manager is not owned and outlives this work.
  static std::shared_ptr<SetUpOnRetryWork> Create(EventManager* manager,
                                                  const std::shared_ptr<const SimpleWork>& work,
                                                  const WorkStatus& status);
  SetUpOnRetryWork(Token, EventManager* manager) : manager_(manager) {}

  // The EventKind bits of the entry: WorkRetry, plus Important for an important work.
  std::uint32_t GetKind() const { return kind_; }

  // Posts the event; Error with the exception when that fails (the entry is lost).
  WorkStatus ExecuteTask() override;
  void OnCancel() override {}

 private:
  EventManager* const manager_;
  boost::property_tree::ptree description_;
  std::uint32_t kind_ = 0;
};

}  // namespace zarn

#endif  // ZARN_TELEMETRY_SET_UP_ON_RETRY_WORK_H_
