#include "work/conditional_work.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "work/standard_workflow.h"
#include "work/testing/manual_work_manager.h"
#include "work/testing/recording_observer.h"
#include "work/testing/scripted_leaf.h"
#include "work/work_status_data.h"

namespace zarn {
namespace {

struct ConditionalTree {
  ConditionalTree() : root_observer("root", &log) {
    root = std::make_shared<ConditionalWork>(&root_observer);
  }
  void SetAll() {
    root->SetCondition(condition);
    root->SetSuccessWork(on_success);
    root->SetFailureWork(on_failure);
  }

  ManualWorkManager manager;
  NotificationLog log;
  RecordingObserver root_observer;
  std::shared_ptr<ConditionalWork> root;
  std::shared_ptr<ScriptedLeaf> condition = ScriptedLeaf::Create("condition");
  std::shared_ptr<ScriptedLeaf> on_success = ScriptedLeaf::Create("success");
  std::shared_ptr<ScriptedLeaf> on_failure = ScriptedLeaf::Create("failure");
};

TEST(ConditionalWorkTest, RunsTheBranchChosenByTheCondition) {
  struct Case {
    WorkResult condition;
    WorkResult branch;
    int success_runs;
    int failure_runs;
  };
  const Case cases[] = {
      {WorkResult::Success, WorkResult::Success, 1, 0},
      {WorkResult::Success, WorkResult::Failure, 1, 0},
      {WorkResult::Failure, WorkResult::Success, 0, 1},
      {WorkResult::Failure, WorkResult::Failure, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.condition) * 10 + static_cast<int>(c.branch));
    ConditionalTree tree;
    tree.SetAll();
    tree.condition->Then(c.condition);
    tree.on_success->Then(c.branch);
    tree.on_failure->Then(c.branch);
    auto workflow = MakeStandardWorkflow(&tree.manager, tree.root, 4);
    ASSERT_TRUE(workflow->Start());
    ASSERT_EQ(tree.manager.Queued(), std::vector<std::shared_ptr<SimpleWork>>{tree.condition});
    tree.manager.RunAll();
    EXPECT_EQ(tree.on_success->attempts(), c.success_runs);
    EXPECT_EQ(tree.on_failure->attempts(), c.failure_runs);
    ASSERT_EQ(tree.log.size(), 1u);
    EXPECT_EQ(tree.log.entries()[0].status.result, c.branch);
  }
}

TEST(ConditionalWorkTest, AnIncompleteConditionalIsRefusedAndTheWorkflowStaysNotStarted) {
  ConditionalTree tree;
  tree.root->SetCondition(tree.condition);
  tree.root->SetSuccessWork(tree.on_success);
  auto workflow = MakeStandardWorkflow(&tree.manager, tree.root, 4);
  try {
    workflow->Start();
    FAIL() << "Start did not throw";
  } catch (const std::logic_error& e) {
    EXPECT_STREQ(e.what(), "ConditionalWork::QueueAvailableWork called with incomplete children");
  }
  EXPECT_EQ(workflow->GetState(), WorkflowState::NotStarted);
}

TEST(ConditionalWorkTest, EachChildIsSetOnce) {
  ConditionalTree tree;
  tree.SetAll();
  auto other = ScriptedLeaf::Create("other");
  tree.root->SetCondition(other);
  tree.root->SetSuccessWork(other);
  tree.root->SetFailureWork(other);
  auto workflow = MakeStandardWorkflow(&tree.manager, tree.root, 4);
  ASSERT_TRUE(workflow->Start());
  tree.manager.RunAll();
  EXPECT_EQ(other->attempts(), 0);
  EXPECT_EQ(tree.condition->attempts(), 1);
  EXPECT_EQ(tree.on_success->attempts(), 1);
}

TEST(ConditionalWorkTest, AReportFromTheBranchNotChosenIsAnError) {
  ConditionalTree tree;
  tree.SetAll();
  auto workflow = MakeStandardWorkflow(&tree.manager, tree.root, 4);
  ASSERT_TRUE(workflow->Start());
  tree.manager.Run(tree.condition);  // Success: the success branch is queued
  tree.root->OnWorkComplete(tree.on_failure, WorkStatus(WorkResult::Success));
  ASSERT_EQ(tree.log.size(), 1u);
  EXPECT_EQ(tree.log.entries()[0].status.result, WorkResult::Error);
  EXPECT_EQ(tree.log.entries()[0].status.data->ToString(),
            "Invalid child progress for CompositeWork::OnWorkComplete");
}

}  // namespace
}  // namespace zarn
