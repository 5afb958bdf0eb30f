#ifndef ZARN_WORK_WORK_COMPLETE_CALLBACK_H_
#define ZARN_WORK_WORK_COMPLETE_CALLBACK_H_

#include <memory>

namespace zarn {

class Work;
struct WorkStatus;

// Observes the end of every run of a work. Held as a plain pointer: it must outlive every
// work that reports to it. Called on the thread that finished the work.
class WorkCompleteCallback {
 public:
  virtual ~WorkCompleteCallback() = default;
  virtual void OnWorkComplete(const std::shared_ptr<const Work>& work,
                              const WorkStatus& status) = 0;
};

}  // namespace zarn

#endif  // ZARN_WORK_WORK_COMPLETE_CALLBACK_H_
