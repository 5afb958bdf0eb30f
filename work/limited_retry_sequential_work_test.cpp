#include "work/limited_retry_sequential_work.h"

#include <gtest/gtest.h>

#include "work/parallel_work.h"
#include "work/standard_workflow.h"
#include "work/testing/manual_work_manager.h"
#include "work/testing/recording_observer.h"
#include "work/testing/scripted_leaf.h"
#include "work/work_error_data.h"

namespace zarn {
namespace {

// first, then second, which always fails with a payload; the budget is 4 restarts.
struct RetrySequenceTree {
  RetrySequenceTree() : observer("sequence", &log), retryable("workflow", &log) {
    sequence = std::make_shared<LimitedRetrySequentialWork>(4, &observer);
    sequence->AddChild(first);
    sequence->AddChild(second);
    second->Always([this](ScriptedLeaf&) { return WorkStatus(WorkResult::Failure, payload); });
    workflow = MakeStandardWorkflow(&manager, sequence, 4);
    workflow->AddRetryableErrorCallback(&retryable);
  }

  ManualWorkManager manager;
  NotificationLog log;
  RecordingObserver observer;
  RecordingObserver retryable;
  std::shared_ptr<WorkErrorData> payload = MakeWorkErrorData("bad chunk");
  std::shared_ptr<ScriptedLeaf> first = ScriptedLeaf::Create("first");
  std::shared_ptr<ScriptedLeaf> second = ScriptedLeaf::Create("second");
  std::shared_ptr<LimitedRetrySequentialWork> sequence;
  std::shared_ptr<StandardWorkflow> workflow;
};

TEST(LimitedRetrySequentialWorkTest, RestartsUntilTheBudgetIsSpentThenWaitsForRetry) {
  RetrySequenceTree tree;
  ASSERT_TRUE(tree.workflow->Start());
  tree.manager.RunAll();
  EXPECT_EQ(tree.first->attempts(), 5);
  EXPECT_EQ(tree.second->attempts(), 5);
  // The workflow, the first observer, enters retry-pending and tells its observers first.
  ASSERT_EQ(tree.log.observers(), (std::vector<std::string>{"workflow.retryable", "sequence"}));
  const WorkStatus reported = tree.log.entries()[1].status;
  EXPECT_EQ(reported.result, WorkResult::RetryableError);
  EXPECT_FALSE(reported.retry);
  EXPECT_EQ(reported.data, tree.payload);
  EXPECT_EQ(tree.workflow->GetState(), WorkflowState::RetryPending);
  // The restarted sequence's first child waits in the pending list.
  EXPECT_TRUE(tree.manager.empty());

  // Retry does not restore the budget: one more Failure goes straight back.
  ASSERT_TRUE(tree.workflow->Retry());
  tree.manager.RunAll();
  EXPECT_EQ(tree.first->attempts(), 6);
  EXPECT_EQ(tree.second->attempts(), 6);
  EXPECT_EQ(tree.log.size(), 4u);
  EXPECT_EQ(tree.workflow->GetState(), WorkflowState::RetryPending);
}

TEST(LimitedRetrySequentialWorkTest, AResetFromOutsideRestoresTheBudget) {
  RetrySequenceTree tree;
  ASSERT_TRUE(tree.workflow->Start());
  tree.manager.RunAll();
  ASSERT_EQ(tree.sequence->GetRetryCount(), 4u);
  tree.sequence->Reset();
  EXPECT_EQ(tree.sequence->GetRetryCount(), 0u);
  ASSERT_TRUE(tree.workflow->Retry());
  tree.manager.RunAll();
  EXPECT_EQ(tree.first->attempts(), 10);
}

TEST(LimitedRetrySequentialWorkTest, SucceedsWhenTheChildRecoversWithinTheBudget) {
  RetrySequenceTree tree;
  tree.second->Then(WorkResult::Failure).Then(WorkResult::Failure).Then(WorkResult::Success);
  ASSERT_TRUE(tree.workflow->Start());
  tree.manager.RunAll();
  EXPECT_EQ(tree.first->attempts(), 3);
  ASSERT_EQ(tree.log.observers(), std::vector<std::string>{"sequence"});
  EXPECT_EQ(tree.log.entries()[0].status.result, WorkResult::Success);
  EXPECT_EQ(tree.workflow->GetState(), WorkflowState::Complete);
}

}  // namespace
}  // namespace zarn
