#include "work/parallel_work.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "work/standard_workflow.h"
#include "work/testing/manual_work_manager.h"
#include "work/testing/recording_observer.h"
#include "work/testing/scripted_leaf.h"
#include "work/work_error_data.h"

namespace zarn {
namespace {

struct ParallelTree {
  explicit ParallelTree(int children) : root_observer("root", &log) {
    root = std::make_shared<ParallelWork>(&root_observer);
    for (int i = 0; i < children; ++i) {
      leaves.push_back(ScriptedLeaf::Create("leaf" + std::to_string(i)));
      root->AddChild(leaves.back());
    }
    workflow = MakeStandardWorkflow(&manager, root, 16);
  }

  ManualWorkManager manager;
  NotificationLog log;
  RecordingObserver root_observer;
  std::shared_ptr<ParallelWork> root;
  std::vector<std::shared_ptr<ScriptedLeaf>> leaves;
  std::shared_ptr<StandardWorkflow> workflow;
};

TEST(ParallelWorkTest, SucceedsOnceAfterAllChildrenInAnyOrder) {
  std::vector<int> order = {0, 1, 2, 3};
  do {
    ParallelTree tree(4);
    ASSERT_TRUE(tree.workflow->Start());
    ASSERT_EQ(tree.manager.size(), 4u);
    for (std::size_t i = 0; i < order.size(); ++i) {
      EXPECT_EQ(tree.log.size(), 0u);
      tree.manager.Run(tree.leaves[order[i]]);
    }
    ASSERT_EQ(tree.log.size(), 1u);
    EXPECT_EQ(tree.log.entries()[0].status.result, WorkResult::Success);
  } while (std::next_permutation(order.begin(), order.end()));
}

TEST(ParallelWorkTest, AFailureIsAnErrorWithTheChildsPayloadReportedOnce) {
  ParallelTree tree(4);
  const auto payload = MakeWorkErrorData("checksum");
  tree.leaves[2]->Then(WorkStatus(WorkResult::Failure, payload));
  ASSERT_TRUE(tree.workflow->Start());
  tree.manager.Run(tree.leaves[0]);
  tree.manager.Run(tree.leaves[2]);
  ASSERT_EQ(tree.log.size(), 1u);
  EXPECT_EQ(tree.log.entries()[0].status.result, WorkResult::Error);
  EXPECT_EQ(tree.log.entries()[0].status.data, payload);
  EXPECT_EQ(tree.workflow->GetState(), WorkflowState::Complete);
  // The siblings still queued finish (cancelled or not) without another report.
  tree.manager.RunAll();
  EXPECT_EQ(tree.log.size(), 1u);
}

TEST(ParallelWorkTest, AChildAddedTwiceIsOneChild) {
  ParallelTree tree(1);
  tree.root->AddChild(tree.leaves[0]);
  ASSERT_TRUE(tree.workflow->Start());
  ASSERT_EQ(tree.manager.size(), 1u);
  tree.manager.RunAll();
  ASSERT_EQ(tree.log.size(), 1u);
  EXPECT_EQ(tree.log.entries()[0].status.result, WorkResult::Success);
}

TEST(ParallelWorkTest, ASecondReportFromADoneChildIsAnError) {
  ParallelTree tree(2);
  ASSERT_TRUE(tree.workflow->Start());
  tree.manager.Run(tree.leaves[0]);
  tree.root->OnWorkComplete(tree.leaves[0], WorkStatus(WorkResult::Success));
  ASSERT_EQ(tree.log.size(), 1u);
  EXPECT_EQ(tree.log.entries()[0].status.result, WorkResult::Error);
  EXPECT_EQ(tree.log.entries()[0].status.data->ToString(),
            "Invalid child progress for CompositeWork::OnWorkComplete");
}

TEST(ParallelWorkTest, ResetStartsARunOver) {
  ParallelTree tree(2);
  ASSERT_TRUE(tree.workflow->Start());
  tree.manager.Run(tree.leaves[0]);
  tree.root->Reset();  // leaf0's success is forgotten
  tree.manager.Run(tree.leaves[1]);
  EXPECT_EQ(tree.log.size(), 0u);
  tree.root->OnWorkComplete(tree.leaves[0], WorkStatus(WorkResult::Success));
  ASSERT_EQ(tree.log.size(), 1u);
  EXPECT_EQ(tree.log.entries()[0].status.result, WorkResult::Success);
}

TEST(ParallelWorkEmptyTest, IsRefusedWhenQueued) {
  ManualWorkManager manager;
  auto workflow = MakeStandardWorkflow(&manager, std::make_shared<ParallelWork>(), 1);
  EXPECT_THROW(workflow->Start(), std::logic_error);
  EXPECT_EQ(workflow->GetState(), WorkflowState::NotStarted);
}

}  // namespace
}  // namespace zarn
