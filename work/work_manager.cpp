#include "work/work_manager.h"

#include <exception>

#include "work/simple_work.h"
#include "work/work_exception_data.h"
#include "work/workflow.h"

namespace zarn {

void RunPostedWork(const std::shared_ptr<SimpleWork>& work) {
  try {
    const WorkStatus status = work->Run();
    work->NotifyComplete(status);
  } catch (...) {
    // A work posted on its own has nobody to report to: a failed event is simply lost.
  }
}

void RunWorkflowWorkItem(const WorkflowWorkItem& item) {
  try {
    const WorkStatus status = item.work->Run();
    item.work->NotifyComplete(status);
    item.workflow->OnWorkFinished(item.work, status);
  } catch (...) {
    try {
      item.workflow->Terminate(
          WorkStatus(WorkResult::Error, MakeWorkExceptionData(std::current_exception())));
    } catch (...) {
      // A root observer threw during the termination: nothing may escape a pool thread.
    }
  }
}

}  // namespace zarn
