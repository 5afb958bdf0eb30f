#ifndef ZARN_WORK_NO_OP_WORK_H_
#define ZARN_WORK_NO_OP_WORK_H_

#include <memory>

#include "work/simple_work.h"

namespace zarn {

// A leaf that succeeds at once.
class NoOpWork : public SimpleWork {
 public:
  static std::shared_ptr<NoOpWork> Create();
  static std::shared_ptr<NoOpWork> Create(WorkCompleteCallback* observer);

  // "name" := "NoOpWork".
  void Describe(boost::property_tree::ptree& tree) const override;
  WorkStatus ExecuteTask() override;  // Success, no payload
  void OnCancel() override;

  NoOpWork() = default;
  explicit NoOpWork(WorkCompleteCallback* observer) : SimpleWork(observer) {}
};

}  // namespace zarn

#endif  // ZARN_WORK_NO_OP_WORK_H_
