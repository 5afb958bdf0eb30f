#include "work/deferred_work.h"

#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <optional>
#include <thread>

#include "work/no_op_work.h"
#include "work/sequential_work.h"
#include "work/standard_workflow.h"
#include "work/testing/manual_work_manager.h"
#include "work/testing/recording_observer.h"
#include "work/testing/scripted_leaf.h"

namespace zarn {

class DeferredWorkPeer {
 public:
  // Whether anyone holds the work's child lock, asked from another thread (the owner of a
  // std::mutex may not try to lock it).
  static bool ChildLockHeld(DeferredWork& work) {
    bool held = false;
    std::thread([&] {
      if (work.childMutex_.try_lock()) {
        work.childMutex_.unlock();
      } else {
        held = true;
      }
    }).join();
    return held;
  }
};

namespace {

// first, then the deferred work, as the engine's root runs its initialization and files.
struct DeferredTree {
  DeferredTree() : root_observer("root", &log), deferred_observer("deferred", &log) {
    root = std::make_shared<SequentialWork>(&root_observer);
    deferred = DeferredWork::Create(&deferred_observer);
    root->AddChild(first);
    root->AddChild(deferred);
    workflow = MakeStandardWorkflow(&manager, root, 4);
  }

  ManualWorkManager manager;
  NotificationLog log;
  RecordingObserver root_observer;
  RecordingObserver deferred_observer;
  std::shared_ptr<ScriptedLeaf> first = ScriptedLeaf::Create("first");
  std::shared_ptr<SequentialWork> root;
  std::shared_ptr<DeferredWork> deferred;
  std::shared_ptr<StandardWorkflow> workflow;
};

TEST(DeferredWorkTest, AChildAssignedWhileRunningRunsInItsTurn) {
  DeferredTree tree;
  auto child = ScriptedLeaf::Create("child");
  tree.first->Then([&](ScriptedLeaf&) {
    EXPECT_TRUE(tree.deferred->Assign(child));
    return WorkStatus(WorkResult::Success);
  });
  ASSERT_TRUE(tree.workflow->Start());
  tree.manager.Run();
  // Assigned and attached, then queued by the sequence: it reports to the workflow and
  // through the deferred work up to the root.
  ASSERT_EQ(tree.manager.Queued(), std::vector<std::shared_ptr<SimpleWork>>{child});
  tree.manager.Run();
  EXPECT_EQ(child->attempts(), 1);
  EXPECT_EQ(tree.log.observers(), (std::vector<std::string>{"deferred", "root"}));
  EXPECT_EQ(tree.log.entries()[1].status.result, WorkResult::Success);
  EXPECT_EQ(tree.workflow->GetState(), WorkflowState::Complete);
  EXPECT_FALSE(tree.deferred->Assign(ScriptedLeaf::Create()));
}

TEST(DeferredWorkTest, QueuedBeforeAnyAssignmentItRunsANoOpAndSucceeds) {
  DeferredTree tree;
  ASSERT_TRUE(tree.workflow->Start());
  tree.manager.Run();  // first
  ASSERT_EQ(tree.manager.size(), 1u);
  EXPECT_TRUE(std::dynamic_pointer_cast<NoOpWork>(tree.manager.work(0)));
  EXPECT_FALSE(tree.deferred->Assign(ScriptedLeaf::Create()));
  tree.manager.Run();
  ASSERT_EQ(tree.log.size(), 2u);
  EXPECT_EQ(tree.log.entries()[1].status.result, WorkResult::Success);
}

TEST(DeferredWorkTest, AChildFailureIsTheDeferredWorksResult) {
  DeferredTree tree;
  auto child = ScriptedLeaf::Create("child");
  child->Then(WorkResult::Failure);
  ASSERT_TRUE(tree.deferred->Assign(child));
  ASSERT_TRUE(tree.workflow->Start());
  tree.manager.RunAll();
  ASSERT_EQ(tree.log.size(), 2u);
  EXPECT_EQ(tree.log.entries()[0].status.result, WorkResult::Failure);
  EXPECT_EQ(tree.log.entries()[1].status.result, WorkResult::Failure);
}

TEST(DeferredWorkTest, ResetGivesAPlaceholderAndKeepsIt) {
  auto deferred = DeferredWork::Create();
  deferred->Reset();
  EXPECT_FALSE(deferred->Assign(ScriptedLeaf::Create()));
}

TEST(DeferredWorkTest, DescribesItsName) {
  boost::property_tree::ptree tree;
  DeferredWork::Create()->Describe(tree);
  EXPECT_EQ(tree.get<std::string>("name"), "DeferredWork");
  boost::property_tree::ptree no_op;
  NoOpWork::Create()->Describe(no_op);
  EXPECT_EQ(no_op.get<std::string>("name"), "NoOpWork");
}

// A leaf that looks, while it is being attached to the workflow, whether its deferred
// parent still keeps other threads from seeing it.
class LockCheckingLeaf : public ScriptedLeaf {
 public:
  explicit LockCheckingLeaf(DeferredWork* parent) : ScriptedLeaf("checking"), parent_(parent) {}
  void AttachWorkflow(const std::shared_ptr<Workflow>& workflow) override {
    lockHeldWhileAttached_ = DeferredWorkPeer::ChildLockHeld(*parent_);
    ScriptedLeaf::AttachWorkflow(workflow);
  }
  std::optional<bool> lockHeldWhileAttached_;

 private:
  DeferredWork* parent_;
};

// Another thread must not see the assigned child before it is attached to the workflow:
// it would queue leaves whose reports reach no workflow, and the tree would stall. Every
// lookup takes the child lock, so the lock must be held across the adoption.
TEST(DeferredWorkTest, NoOneSeesTheChildBeforeItIsAttached) {
  DeferredTree tree;  // attached to its workflow
  auto child = std::make_shared<LockCheckingLeaf>(tree.deferred.get());
  ASSERT_TRUE(tree.deferred->Assign(child));
  ASSERT_TRUE(child->lockHeldWhileAttached_.has_value());
  EXPECT_TRUE(*child->lockHeldWhileAttached_);
  EXPECT_FALSE(DeferredWorkPeer::ChildLockHeld(*tree.deferred));
  EXPECT_TRUE(tree.deferred->IsCurrentChild(child));
}

}  // namespace
}  // namespace zarn
