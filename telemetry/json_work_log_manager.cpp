#include "telemetry/json_work_log_manager.h"

#include <utility>

#include "telemetry/event_kind.h"
#include "telemetry/json_log_event_work.h"
#include "telemetry/set_up_on_complete_work.h"
#include "telemetry/set_up_on_retry_work.h"
#include "work/work_status.h"

namespace zarn {

JsonWorkLogManager::JsonWorkLogManager(std::uint32_t log_mask, const std::string& logs_folder,
                                       SharedFileFactory* file_factory, Clock clock)
    : WorkLogManager(log_mask, logs_folder, file_factory, std::move(clock)) {}

JsonWorkLogManager::~JsonWorkLogManager() { Drain(); }

std::shared_ptr<TrackEventWork> JsonWorkLogManager::CreateEventWork(std::uint32_t kind) {
  return JsonLogEventWork::Create(kind, this);
}

bool JsonWorkLogManager::MayLog(std::uint32_t base_kind) const {
  return ((base_kind | EventKind::Important) & GetLogMask()) != 0;
}

void JsonWorkLogManager::OnWorkComplete(const std::shared_ptr<const Work>& work,
                                        const WorkStatus& status) {
  const bool error =
      status.result == WorkResult::RetryableError || status.result == WorkResult::Error;
  if (!MayLog(error ? EventKind::WorkError : EventKind::WorkComplete)) return;
  try {
    auto setup = SetUpOnCompleteWork::Create(this, work, status);
    // Dropped here rather than on a log thread: every chunk reports several completions,
    // and a queue of entries only to be thrown away grows with the package.
    if ((setup->GetKind() & GetLogMask()) != 0) SubmitWork(setup);
  } catch (...) {
    // An exception here would skip the work's parent and stall its workflow.
  }
}

void JsonWorkLogManager::OnSimpleWorkRetry(const std::shared_ptr<const SimpleWork>& work,
                                           const WorkStatus& status) {
  if (!MayLog(EventKind::WorkRetry)) return;
  try {
    auto setup = SetUpOnRetryWork::Create(this, work, status);
    if ((setup->GetKind() & GetLogMask()) != 0) SubmitWork(setup);
  } catch (...) {
    // The entry is lost; the retry goes on.
  }
}

}  // namespace zarn
