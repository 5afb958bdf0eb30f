// How transfer leaves turn the exception being handled into a status: the clauses are
// tried in order, so a stream failure is never taken for another manifest failure.

#include "transfer/works/transfer_work.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "transfer/manifest/manifest_exception.h"
#include "transfer/testing/transfer_fakes.h"
#include "transfer/testing/transfer_tree_fixture.h"
#include "transfer/transfer_status.h"
#include "transfer/transfer_status_data.h"
#include "work/parallel_work.h"
#include "work/simple_work.h"
#include "work/work_status.h"

namespace zarn {
namespace {

WorkStatus Classify(const std::function<void()>& raise, WorkStatus (*mapping)()) {
  try {
    raise();
  } catch (...) {
    return mapping();
  }
  return WorkStatus(WorkResult::Success);
}

TEST(TransferWorkTest, ExceptionMappingsGiveResultAndError) {
  const struct {
    const char* name;
    std::function<void()> raise;
    WorkStatus (*mapping)();
    WorkResult result;
    TransferError error;
  } cases[] = {
      {"stream", [] { throw ManifestStreamException("x"); }, &ManifestExceptionStatus,
       WorkResult::RetryableError, TransferError::Network},
      {"locator", [] { throw ManifestLocatorException("x"); }, &ManifestExceptionStatus,
       WorkResult::Error, TransferError::Manifest},
      {"parse", [] { throw ManifestParseException("x"); }, &ManifestExceptionStatus,
       WorkResult::Error, TransferError::Manifest},
      {"manifest oom", [] { throw std::bad_alloc(); }, &ManifestExceptionStatus, WorkResult::Error,
       TransferError::OutOfMemory},
      {"manifest other", [] { throw std::logic_error("x"); }, &ManifestExceptionStatus,
       WorkResult::Error, TransferError::Internal},
      {"manifest non-std", [] { throw 7; }, &ManifestExceptionStatus, WorkResult::Error,
       TransferError::Internal},
      {"request oom", [] { throw std::bad_alloc(); }, &RequestExceptionStatus, WorkResult::Error,
       TransferError::OutOfMemory},
      {"request other", [] { throw ManifestStreamException("x"); }, &RequestExceptionStatus,
       WorkResult::Error, TransferError::Internal},
      {"internal", [] { throw std::bad_alloc(); }, &InternalExceptionStatus, WorkResult::Error,
       TransferError::Internal},
  };
  for (const auto& c : cases) {
    const WorkStatus status = Classify(c.raise, c.mapping);
    EXPECT_EQ(status.result, c.result) << c.name;
    const auto payload = std::dynamic_pointer_cast<TransferStatusData>(status.data);
    ASSERT_NE(payload, nullptr) << c.name;
    EXPECT_EQ(payload->ToTransferError(), c.error) << c.name;
  }
}

// A transfer leaf with a transfer observer, registered as every transfer work does.
class ObservedLeaf : public TransferWork, public SimpleWork {
 public:
  ObservedLeaf(std::shared_ptr<TransferWorkInterface> workInterface,
               WorkCompleteCallback* transferObserver)
      : TransferWork(std::move(workInterface)) {
    RegisterCompleteObservers(*this, transferObserver);
  }
  WorkStatus ExecuteTask() override { return WorkStatus(WorkResult::Success); }
  void OnCancel() override {}
};

class NamedObserver : public WorkCompleteCallback {
 public:
  NamedObserver(std::string name, std::vector<std::string>* order)
      : name_(std::move(name)), order_(order) {}
  void OnWorkComplete(const std::shared_ptr<const Work>&, const WorkStatus&) override {
    order_->push_back(name_);
  }

 private:
  std::string name_;
  std::vector<std::string>* order_;
};

class OrderLog : public fakes::RecordingLog {
 public:
  explicit OrderLog(std::vector<std::string>* order) : order_(order) {}
  void OnWorkComplete(const std::shared_ptr<const Work>&, const WorkStatus&) override {
    order_->push_back("work log");
  }

 private:
  std::vector<std::string>* order_;
};

// In a finished tree a transfer work reports to the workflow first, then to the transfer,
// then to the work log, and to its parent last, whenever each was added.
TEST(TransferWorkTest, CompletionGoesToWorkflowTransferLogThenParent) {
  std::vector<std::string> order;
  OrderLog log(&order);
  const TransferConfig config(2);
  TransferBehavior behavior(config);
  behavior.logManager = &log;
  auto wi = std::make_shared<tree_test::TestTransferWorkInterface>(TransferParams(), behavior);
  NamedObserver transfer("transfer", &order);
  NamedObserver parentObserver("parent observer", &order);
  auto workflow = std::make_shared<fakes::ScriptedWorkflow>();
  workflow->onWorkComplete = [&] { order.push_back("workflow"); };

  auto leaf = std::make_shared<ObservedLeaf>(wi, &transfer);
  auto parent = std::make_shared<ParallelWork>(&parentObserver);
  parent->AddChild(leaf);
  parent->AttachWorkflow(workflow);
  leaf->NotifyComplete(WorkStatus(WorkResult::Success));

  EXPECT_EQ(order, (std::vector<std::string>{"workflow", "transfer", "work log",
                                             // the parent, whose only child succeeded:
                                             "workflow", "parent observer"}));
}

}  // namespace
}  // namespace zarn
