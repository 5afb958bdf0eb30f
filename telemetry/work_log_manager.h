#ifndef ZARN_TELEMETRY_WORK_LOG_MANAGER_H_
#define ZARN_TELEMETRY_WORK_LOG_MANAGER_H_

#include "telemetry/log_manager.h"
#include "work/simple_work_retry_callback.h"
#include "work/work_complete_callback.h"

namespace zarn {

// The work-log sink as transfers hold it: the sink their events post to, and the observer
// of their works' completions and retries. Implemented by JsonWorkLogManager.
class WorkLogManager : public LogManager,
                       public WorkCompleteCallback,
                       public SimpleWorkRetryCallback {
 protected:
  using LogManager::LogManager;
};

}  // namespace zarn

#endif  // ZARN_TELEMETRY_WORK_LOG_MANAGER_H_
