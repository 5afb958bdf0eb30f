#ifndef ZARN_WORK_NO_OP_WORK_H_
#define ZARN_WORK_NO_OP_WORK_H_

#include <memory>

#include "work/simple_work.h"

namespace zarn {

// A leaf that succeeds at once.
class NoOpWork : public SimpleWork {
  // The passkey: the constructors are public for std::make_shared, yet only Create can call them.
  struct Token {};

 public:
  static std::shared_ptr<NoOpWork> Create();
  static std::shared_ptr<NoOpWork> Create(WorkCompleteCallback* observer);

  // "name" := "NoOpWork".
  void Describe(boost::property_tree::ptree& tree) const override;
  WorkStatus ExecuteTask() override;  // Success, no payload
  void OnCancel() override;

  explicit NoOpWork(Token) {}
  NoOpWork(Token, WorkCompleteCallback* observer) : SimpleWork(observer) {}
};

}  // namespace zarn

#endif  // ZARN_WORK_NO_OP_WORK_H_
