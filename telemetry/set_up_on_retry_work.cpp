#include "telemetry/set_up_on_retry_work.h"

#include "telemetry/event_kind.h"
#include "telemetry/event_manager.h"
#include "telemetry/work_log_entry.h"
#include "work/work_exception_data.h"

namespace zarn {

std::shared_ptr<SetUpOnRetryWork> SetUpOnRetryWork::Create(
    EventManager* manager, const std::shared_ptr<const SimpleWork>& work,
    const WorkStatus& status) {
  auto setup = std::make_shared<SetUpOnRetryWork>(Token(), manager);
  work->DescribeWithStatus(status, setup->description_);
  setup->kind_ = WorkLogKind(EventKind::WorkRetry, setup->description_);
  return setup;
}

WorkStatus SetUpOnRetryWork::ExecuteTask() {
  try {
    PostWorkLogEntry(*manager_, kind_, "OnSimpleWorkRetry", description_);
    return WorkStatus(WorkResult::Success);
  } catch (...) {
    return WorkStatus(WorkResult::Error, MakeWorkExceptionData(std::current_exception()));
  }
}

}  // namespace zarn
