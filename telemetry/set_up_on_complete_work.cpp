#include "telemetry/set_up_on_complete_work.h"

#include "telemetry/event_kind.h"
#include "telemetry/event_manager.h"
#include "telemetry/work_log_entry.h"
#include "work/work.h"
#include "work/work_exception_data.h"

namespace zarn {

std::shared_ptr<SetUpOnCompleteWork> SetUpOnCompleteWork::Create(
    EventManager* manager, const std::shared_ptr<const Work>& work, const WorkStatus& status) {
  auto setup = std::make_shared<SetUpOnCompleteWork>(Token(), manager, status);
  work->DescribeWithStatus(status, setup->description_);
  const bool error =
      status.result == WorkResult::RetryableError || status.result == WorkResult::Error;
  setup->kind_ =
      WorkLogKind(error ? EventKind::WorkError : EventKind::WorkComplete, setup->description_);
  return setup;
}

WorkStatus SetUpOnCompleteWork::ExecuteTask() {
  try {
    PostWorkLogEntry(*manager_, kind_, "OnWorkComplete", description_);
    return WorkStatus(WorkResult::Success);
  } catch (...) {
    return WorkStatus(WorkResult::Error, MakeWorkExceptionData(std::current_exception()));
  }
}

}  // namespace zarn
