#include "work/limited_retry_simple_work.h"

#include <gtest/gtest.h>

#include "work/standard_workflow.h"
#include "work/testing/manual_work_manager.h"
#include "work/testing/recording_observer.h"

namespace zarn {
namespace {

class AlwaysRetryableWork : public LimitedRetrySimpleWork {
 public:
  explicit AlwaysRetryableWork(std::uint32_t max_retries) : LimitedRetrySimpleWork(max_retries) {}
  WorkStatus ExecuteTask() override {
    ++attempts;
    return WorkStatus(WorkResult::RetryableError);
  }
  void OnCancel() override {}
  int attempts = 0;
};

TEST(LimitedRetrySimpleWorkTest, AllowsMaxRetriesPerQueueing) {
  NotificationLog log;
  RecordingObserver observer("o", &log);
  ManualWorkManager manager;
  auto leaf = std::make_shared<AlwaysRetryableWork>(4);
  leaf->AddRetryCallback(&observer);
  leaf->AddCompleteCallback(&observer);
  auto workflow = MakeStandardWorkflow(&manager, leaf, 1);

  ASSERT_TRUE(workflow->Start());
  manager.Run();
  EXPECT_EQ(leaf->attempts, 5);
  EXPECT_EQ(log.observers(),
            (std::vector<std::string>{"o.retry", "o.retry", "o.retry", "o.retry", "o"}));
  EXPECT_EQ(log.entries().back().status.result, WorkResult::RetryableError);
  EXPECT_FALSE(log.entries().back().status.retry);
  EXPECT_EQ(workflow->GetState(), WorkflowState::RetryPending);

  // Requeued by the workflow, hence reset: the budget is whole again.
  ASSERT_TRUE(workflow->Retry());
  manager.Run();
  EXPECT_EQ(leaf->attempts, 10);
}

TEST(LimitedRetrySimpleWorkTest, ZeroRetriesMeansOneAttempt) {
  auto leaf = std::make_shared<AlwaysRetryableWork>(0);
  EXPECT_EQ(leaf->Run().result, WorkResult::RetryableError);
  EXPECT_EQ(leaf->attempts, 1);
}

TEST(LimitedRetrySimpleWorkTest, ResetClearsTheCountAndTheCancelledFlag) {
  auto leaf = std::make_shared<AlwaysRetryableWork>(2);
  leaf->Run();
  EXPECT_EQ(leaf->GetRetryCount(), 2u);
  leaf->SetCancelled();
  leaf->Reset();
  EXPECT_EQ(leaf->GetRetryCount(), 0u);
  EXPECT_FALSE(leaf->IsCancelled());
}

}  // namespace
}  // namespace zarn
