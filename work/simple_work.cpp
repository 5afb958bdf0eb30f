#include "work/simple_work.h"

#include <stdexcept>

#include "work/simple_work_retry_callback.h"
#include "work/work_exception_data.h"
#include "work/workflow.h"

namespace zarn {

void SimpleWork::Reset() { cancelled_.store(false); }

std::shared_ptr<const Work> SimpleWork::SharedFromThisConst() const { return shared_from_this(); }

std::shared_ptr<Work> SimpleWork::SharedFromThis() { return shared_from_this(); }

void SimpleWork::OnAttachWorkflow(const std::shared_ptr<Workflow>&) {}

void SimpleWork::QueueAvailableWork(const std::shared_ptr<Workflow>& workflow) {
  workflow->QueueWork(shared_from_this());
}

WorkStatus SimpleWork::Run() {
  try {
    while (!cancelled_.load()) {
      WorkStatus status = ExecuteTask();
      status.retry = status.result == WorkResult::RetryableError && ShouldRetry();
      if (!status.retry) return status;
      NotifyRetry(status);
    }
    return WorkStatus(WorkResult::Cancelled);
  } catch (...) {
    return WorkStatus(WorkResult::Error, MakeWorkExceptionData(std::current_exception()));
  }
}

void SimpleWork::NotifyRetry(const WorkStatus& status) {
  const std::shared_ptr<const SimpleWork> self = shared_from_this();
  for (std::size_t i = 0; i < retryObservers_.size(); ++i) {
    retryObservers_[i]->OnSimpleWorkRetry(self, status);
  }
}

void SimpleWork::AddRetryCallback(SimpleWorkRetryCallback* observer) {
  if (observer == nullptr) {
    throw std::invalid_argument("SimpleWork::AddRetryCallback called with no observer");
  }
  retryObservers_.push_back(observer);
}

}  // namespace zarn
