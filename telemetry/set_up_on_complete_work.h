#ifndef ZARN_TELEMETRY_SET_UP_ON_COMPLETE_WORK_H_
#define ZARN_TELEMETRY_SET_UP_ON_COMPLETE_WORK_H_

#include <boost/property_tree/ptree.hpp>
#include <cstdint>
#include <memory>

#include "work/simple_work.h"
#include "work/work_status.h"

namespace zarn {

class EventManager;

// Turns the report that a work finished into a work-log event ("event" =
// "OnWorkComplete"), posted into the sink that made this work.
//
// The work is described when this is created, on the thread that reports it, and only the
// description is kept: the engine may run or reset the work again at once, and a finished
// work tree must not be kept alive by the log's queue.
class SetUpOnCompleteWork : public SimpleWork {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  // Takes the description of work with status now; throws what describing throws.
  // manager is not owned and outlives this work.
  static std::shared_ptr<SetUpOnCompleteWork> Create(EventManager* manager,
                                                     const std::shared_ptr<const Work>& work,
                                                     const WorkStatus& status);
  SetUpOnCompleteWork(Token, EventManager* manager, const WorkStatus& status)
      : manager_(manager), status_(status) {}

  // The EventKind bits of the entry: WorkError or WorkComplete by the status, plus
  // Important for an important work. Known from creation, so that a sink can drop an entry
  // its mask refuses before queueing it.
  std::uint32_t GetKind() const { return kind_; }

  // Posts the event; Error with the exception when that fails (the entry is lost).
  WorkStatus ExecuteTask() override;
  void OnCancel() override {}

 private:
  EventManager* const manager_;
  const WorkStatus status_;
  boost::property_tree::ptree description_;
  std::uint32_t kind_ = 0;
};

}  // namespace zarn

#endif  // ZARN_TELEMETRY_SET_UP_ON_COMPLETE_WORK_H_
