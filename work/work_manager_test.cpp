#include "work/work_manager.h"

#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <stdexcept>

#include "work/parallel_work.h"
#include "work/standard_workflow.h"
#include "work/testing/manual_work_manager.h"
#include "work/testing/recording_observer.h"
#include "work/testing/scripted_leaf.h"
#include "work/work_exception_data.h"

namespace zarn {
namespace {

class ThrowingObserver : public WorkCompleteCallback {
 public:
  void OnWorkComplete(const std::shared_ptr<const Work>&, const WorkStatus&) override {
    throw std::runtime_error("observer failed");
  }
};

// A parallel root of two leaves; the first leaf's extra observer throws.
struct ThrowingTree {
  ThrowingTree() : root_observer("root", &log) {
    root = std::make_shared<ParallelWork>(&root_observer);
    throwing_leaf->AddCompleteCallback(&throwing);
    root->AddChild(throwing_leaf);
    root->AddChild(other_leaf);
    workflow = MakeStandardWorkflow(&manager, root, 4);
  }

  ManualWorkManager manager;
  NotificationLog log;
  RecordingObserver root_observer;
  ThrowingObserver throwing;
  std::shared_ptr<ScriptedLeaf> throwing_leaf = ScriptedLeaf::Create("throwing");
  std::shared_ptr<ScriptedLeaf> other_leaf = ScriptedLeaf::Create("other");
  std::shared_ptr<ParallelWork> root;
  std::shared_ptr<StandardWorkflow> workflow;
};

TEST(WorkflowWorkItemTest, AThrowingObserverTerminatesTheWorkflowWithTheException) {
  ThrowingTree tree;
  ASSERT_TRUE(tree.workflow->Start());
  tree.manager.Run(tree.throwing_leaf);
  EXPECT_EQ(tree.workflow->GetState(), WorkflowState::Terminated);
  EXPECT_TRUE(tree.other_leaf->IsCancelled());
  ASSERT_EQ(tree.log.size(), 1u);
  const WorkStatus status = tree.log.entries()[0].status;
  EXPECT_EQ(status.result, WorkResult::Error);
  ASSERT_TRUE(std::dynamic_pointer_cast<WorkExceptionData>(status.data));
  boost::property_tree::ptree described;
  status.data->Describe(described);
  EXPECT_EQ(described.get<std::string>("exception"), "std::runtime_error");
  EXPECT_EQ(described.get<std::string>("what"), "observer failed");
}

TEST(WorkflowWorkItemTest, ARootObserverThrowingDuringTheTerminationDoesNotEscape) {
  ThrowingTree tree;
  ThrowingObserver throwing_root_observer;
  tree.root->AddCompleteCallback(&throwing_root_observer);
  ASSERT_TRUE(tree.workflow->Start());
  EXPECT_NO_THROW(tree.manager.Run(tree.throwing_leaf));
  EXPECT_EQ(tree.workflow->GetState(), WorkflowState::Terminated);
  EXPECT_EQ(tree.log.size(), 1u);
}

TEST(PostedWorkTest, RunsTheWorkNotifiesAndSwallowsWhatThrows) {
  NotificationLog log;
  RecordingObserver observer("o", &log);
  ThrowingObserver throwing;
  ManualWorkManager manager;
  auto leaf = ScriptedLeaf::Create("posted", &observer);
  leaf->AddCompleteCallback(&throwing);
  manager.PostWork(leaf);
  EXPECT_NO_THROW(manager.Run());
  EXPECT_EQ(leaf->attempts(), 1);
  EXPECT_EQ(log.observers(), std::vector<std::string>{"o"});
}

}  // namespace
}  // namespace zarn
