#include "work/sequential_work.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "work/standard_workflow.h"
#include "work/testing/manual_work_manager.h"
#include "work/testing/recording_observer.h"
#include "work/testing/scripted_leaf.h"
#include "work/work_error_data.h"

namespace zarn {
namespace {

struct SequenceTree {
  SequenceTree() : rootObserver_("root", &log_) {
    root_ = std::make_shared<SequentialWork>(&rootObserver_);
    for (const char* name : {"a", "b", "c"}) {
      leaves_.push_back(ScriptedLeaf::Create(name));
      root_->AddChild(leaves_.back());
    }
    workflow_ = MakeStandardWorkflow(&manager_, root_, 8);
  }
  ManualWorkManager manager_;
  NotificationLog log_;
  RecordingObserver rootObserver_;
  std::shared_ptr<SequentialWork> root_;
  std::vector<std::shared_ptr<ScriptedLeaf>> leaves_;
  std::shared_ptr<StandardWorkflow> workflow_;
};

TEST(SequentialWorkTest, RunsChildrenOneAfterAnother) {
  SequenceTree t;
  // The last child's payload does not survive a Success.
  t.leaves_[2]->Then(WorkStatus(WorkResult::Success, MakeWorkErrorData("dropped")));
  ASSERT_TRUE(t.workflow_->Start());
  for (const auto& leaf : t.leaves_) {
    ASSERT_EQ(t.manager_.Queued(), std::vector<std::shared_ptr<SimpleWork>>{leaf});
    EXPECT_EQ(t.log_.size(), 0u);
    t.manager_.Run();
  }
  EXPECT_TRUE(t.manager_.empty());
  ASSERT_EQ(t.log_.size(), 1u);
  EXPECT_EQ(t.log_.entries()[0].status.result, WorkResult::Success);
  EXPECT_FALSE(t.log_.entries()[0].status.data);
  EXPECT_EQ(t.workflow_->GetState(), WorkflowState::Complete);
}

TEST(SequentialWorkTest, OutcomeOfTheSecondChild) {
  struct Case {
    const char* name;
    WorkStatus second;
    WorkResult result;
    bool payload_kept;
    int third_attempts;
  };
  const auto payload = MakeWorkErrorData("why");
  const Case cases[] = {
      {"failure stops the sequence", WorkStatus(WorkResult::Failure, payload), WorkResult::Failure,
       false, 0},
      {"error keeps its payload", WorkStatus(WorkResult::Error, payload), WorkResult::Error, true,
       0},
      {"success goes on", WorkStatus(WorkResult::Success, payload), WorkResult::Success, false, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SequenceTree fixture;
    fixture.leaves_[1]->Then(c.second);
    ASSERT_TRUE(fixture.workflow_->Start());
    fixture.manager_.RunAll();
    ASSERT_EQ(fixture.log_.size(), 1u);
    const WorkStatus status = fixture.log_.entries()[0].status;
    EXPECT_EQ(status.result, c.result);
    EXPECT_EQ(status.data.get(), c.payload_kept ? payload.get() : nullptr);
    EXPECT_EQ(fixture.leaves_[2]->attempts(), c.third_attempts);
  }
}

TEST(SequentialWorkTest, ACancelledChildRunsAgainAndTheSequenceGoesOn) {
  SequenceTree t;
  t.leaves_[0]->Then(WorkResult::Cancelled);
  ASSERT_TRUE(t.workflow_->Start());
  t.manager_.RunAll();
  EXPECT_EQ(t.leaves_[0]->attempts(), 2);
  EXPECT_EQ(t.leaves_[2]->attempts(), 1);
  ASSERT_EQ(t.log_.size(), 1u);
  EXPECT_EQ(t.log_.entries()[0].status.result, WorkResult::Success);
}

TEST(SequentialWorkTest, AReportFromAChildItIsNotWaitingForIsAnError) {
  SequenceTree t;
  ASSERT_TRUE(t.workflow_->Start());
  t.root_->OnWorkComplete(t.leaves_[2], WorkStatus(WorkResult::Success));
  ASSERT_EQ(t.log_.size(), 1u);
  const WorkStatus status = t.log_.entries()[0].status;
  EXPECT_EQ(status.result, WorkResult::Error);
  ASSERT_TRUE(status.data);
  EXPECT_EQ(status.data->ToString(), "Invalid child progress for CompositeWork::OnWorkComplete");
  // The composite has finished this run: the real child's report is dropped.
  t.manager_.RunAll();
  EXPECT_EQ(t.log_.size(), 1u);
}

TEST(SequentialWorkEmptyTest, IsRefusedWhenQueued) {
  ManualWorkManager manager;
  auto workflow = MakeStandardWorkflow(&manager, std::make_shared<SequentialWork>(), 1);
  EXPECT_THROW(workflow->Start(), std::logic_error);
  EXPECT_EQ(workflow->GetState(), WorkflowState::NotStarted);
}

}  // namespace
}  // namespace zarn
