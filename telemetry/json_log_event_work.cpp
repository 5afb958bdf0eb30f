#include "telemetry/json_log_event_work.h"

#include <sstream>

#include "telemetry/compact_json_writer.h"
#include "telemetry/log_manager.h"
#include "work/work_exception_data.h"

namespace zarn {

std::shared_ptr<JsonLogEventWork> JsonLogEventWork::Create(std::uint32_t kind,
                                                           LogManager* manager) {
  return std::make_shared<JsonLogEventWork>(Token(), kind, manager);
}

WorkStatus JsonLogEventWork::ExecuteTask() {
  if ((GetKind() & manager_->GetLogMask()) == 0) return WorkStatus(WorkResult::Success);
  try {
    std::ostringstream text;
    WriteCompactJson(text, GetTree());
    manager_->Log(GetKind(), text.str());
    return WorkStatus(WorkResult::Success);
  } catch (...) {
    return WorkStatus(WorkResult::Error, MakeWorkExceptionData(std::current_exception()));
  }
}

}  // namespace zarn
