#include "work/simple_work.h"

#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <functional>
#include <new>
#include <stdexcept>

#include "work/parallel_work.h"
#include "work/testing/recording_observer.h"
#include "work/testing/scripted_leaf.h"
#include "work/work_exception_data.h"
#include "work/work_status_data.h"
#include "work/workflow.h"

namespace zarn {
namespace {

class ThrowingRetryCallback : public SimpleWorkRetryCallback {
 public:
  void OnSimpleWorkRetry(const std::shared_ptr<const SimpleWork>&, const WorkStatus&) override {
    throw std::runtime_error("retry observer");
  }
};

class CancellingRetryCallback : public SimpleWorkRetryCallback {
 public:
  void OnSimpleWorkRetry(const std::shared_ptr<const SimpleWork>& work,
                         const WorkStatus&) override {
    std::const_pointer_cast<SimpleWork>(work)->SetCancelled();
  }
};

struct RunCase {
  const char* name;
  std::function<void(ScriptedLeaf&)> setup;
  WorkResult result;
  int attempts;
  int retry_notifications;
  const char* payload;  // ToString of the payload, or null for none
};

TEST(SimpleWorkTest, RunLoop) {
  static ThrowingRetryCallback throwing_retry;
  static CancellingRetryCallback cancelling_retry;
  const auto retryable = [](ScriptedLeaf& leaf, int n) {
    for (int i = 0; i < n; ++i) leaf.Then(WorkResult::RetryableError);
  };
  const RunCase cases[] = {
      {"cancelled before the run", [](ScriptedLeaf& l) { l.SetCancelled(); }, WorkResult::Cancelled,
       0, 0, nullptr},
      {"three retries then success",
       [&](ScriptedLeaf& l) {
         retryable(l, 3);
         l.SetRetryAnswers(3);
       },
       WorkResult::Success, 4, 3, nullptr},
      {"retry refused", [&](ScriptedLeaf& l) { retryable(l, 1); }, WorkResult::RetryableError, 1, 0,
       nullptr},
      {"retries spent",
       [&](ScriptedLeaf& l) {
         retryable(l, 5);
         l.SetRetryAnswers(2);
       },
       WorkResult::RetryableError, 3, 2, nullptr},
      {"failure is not retried",
       [](ScriptedLeaf& l) {
         l.Then(WorkResult::Failure);
         l.SetRetryAnswers(5);
       },
       WorkResult::Failure, 1, 0, nullptr},
      {"task throws bad_alloc",
       [](ScriptedLeaf& l) { l.Then([](ScriptedLeaf&) -> WorkStatus { throw std::bad_alloc(); }); },
       WorkResult::Error, 1, 0, "std::bad_alloc"},
      {"task throws an int",
       [](ScriptedLeaf& l) { l.Then([](ScriptedLeaf&) -> WorkStatus { throw 3; }); },
       WorkResult::Error, 1, 0, "Unknown exception type"},
      {"retry observer throws",
       [&](ScriptedLeaf& l) {
         retryable(l, 2);
         l.SetRetryAnswers(2);
         l.AddRetryCallback(&throwing_retry);
       },
       WorkResult::Error, 1, 1, "std::runtime_error"},
      {"retry observer cancels",
       [&](ScriptedLeaf& l) {
         retryable(l, 3);
         l.SetRetryAnswers(3);
         l.AddRetryCallback(&cancelling_retry);
       },
       WorkResult::Cancelled, 1, 1, nullptr},
      {"cancelled during a successful attempt",
       [](ScriptedLeaf& l) {
         l.Then([](ScriptedLeaf& self) {
           self.SetCancelled();
           return WorkStatus(WorkResult::Success);
         });
       },
       WorkResult::Success, 1, 0, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    NotificationLog log;
    RecordingObserver observer("o", &log);
    auto leaf = ScriptedLeaf::Create();
    leaf->AddRetryCallback(&observer);
    c.setup(*leaf);
    const WorkStatus status = leaf->Run();
    EXPECT_EQ(status.result, c.result);
    EXPECT_FALSE(status.retry);
    EXPECT_EQ(leaf->attempts(), c.attempts);
    ASSERT_EQ(log.size(), static_cast<std::size_t>(c.retry_notifications));
    for (const auto& n : log.entries()) {
      EXPECT_EQ(n.status.result, WorkResult::RetryableError);
      EXPECT_TRUE(n.status.retry);
      EXPECT_EQ(n.work, leaf.get());
    }
    if (c.payload) {
      ASSERT_TRUE(std::dynamic_pointer_cast<WorkExceptionData>(status.data));
      EXPECT_EQ(status.data->ToString(), c.payload);
    } else {
      EXPECT_FALSE(status.data);
    }
  }
}

TEST(SimpleWorkTest, ShouldRetryIsAskedOnlyAfterRetryableError) {
  auto leaf = ScriptedLeaf::Create();
  leaf->Then(WorkResult::Failure);
  leaf->Run();
  leaf->Then(WorkResult::Error);
  leaf->Run();
  EXPECT_EQ(leaf->retry_questions(), 0);
}

TEST(SimpleWorkTest, ResetClearsTheCancelledFlag) {
  auto leaf = ScriptedLeaf::Create();
  leaf->SetCancelled();
  leaf->Reset();
  EXPECT_FALSE(leaf->IsCancelled());
  EXPECT_EQ(leaf->Run().result, WorkResult::Success);
}

// A workflow that only records the reports it hears.
class RecordingWorkflow : public Workflow {
 public:
  RecordingWorkflow(std::string name, NotificationLog* log) : name_(std::move(name)), log_(log) {}
  bool Start() override { return false; }
  bool Pause() override { return false; }
  bool Resume() override { return false; }
  bool Retry() override { return false; }
  WorkflowState GetState() const override { return WorkflowState::NotStarted; }
  bool IsStarted() const override { return false; }
  bool IsPaused() const override { return false; }
  bool IsRetryPending() const override { return false; }
  bool IsFinished() const override { return false; }
  bool Terminate(const WorkStatus&) override { return false; }
  void AddRetryableErrorCallback(WorkflowRetryableErrorCallback*) override {}
  void QueueWork(const std::shared_ptr<SimpleWork>&) override {}
  void OnWorkFinished(const std::shared_ptr<SimpleWork>&, const WorkStatus&) override {}

 private:
  void OnWorkComplete(const std::shared_ptr<const Work>& work, const WorkStatus& status) override {
    log_->Add({name_, work.get(), status});
  }
  std::string name_;
  NotificationLog* log_;
};

TEST(WorkTest, ObserversAreNotifiedWorkflowFirstThenInOrderAddedThenParent) {
  NotificationLog log;
  RecordingObserver constructed("constructed", &log);
  RecordingObserver before("added before adoption", &log);
  RecordingObserver after("added after adoption", &log);
  RecordingObserver parent_observer("parent observer", &log);
  auto first = std::make_shared<RecordingWorkflow>("first workflow", &log);
  auto second = std::make_shared<RecordingWorkflow>("second workflow", &log);

  auto leaf = ScriptedLeaf::Create("leaf", &constructed);
  leaf->AddCompleteCallback(&before);
  auto parent = std::make_shared<ParallelWork>(&parent_observer);
  parent->AddChild(leaf);
  leaf->AddCompleteCallback(&after);
  parent->AttachWorkflow(first);
  parent->AttachWorkflow(second);  // replaces the first at the front of every list

  leaf->NotifyComplete(WorkStatus(WorkResult::Success));

  EXPECT_EQ(log.observers(),
            (std::vector<std::string>{"second workflow", "constructed", "added before adoption",
                                      "added after adoption",
                                      // the parent, whose only child succeeded, reports:
                                      "second workflow", "parent observer"}));
  const auto entries = log.entries();
  EXPECT_EQ(entries[3].work, leaf.get());
  EXPECT_EQ(entries[4].work, parent.get());
}

TEST(WorkTest, AChildAdoptedAgainHasOneParent) {
  NotificationLog log;
  RecordingObserver first_observer("first parent", &log);
  RecordingObserver second_observer("second parent", &log);
  auto leaf = ScriptedLeaf::Create();
  auto first = std::make_shared<ParallelWork>(&first_observer);
  auto second = std::make_shared<ParallelWork>(&second_observer);
  first->AddChild(leaf);
  second->AddChild(leaf);
  leaf->NotifyComplete(WorkStatus(WorkResult::Success));
  EXPECT_EQ(log.observers(), std::vector<std::string>{"second parent"});
}

class ThrowingObserver : public WorkCompleteCallback {
 public:
  void OnWorkComplete(const std::shared_ptr<const Work>&, const WorkStatus&) override {
    throw std::runtime_error("observer");
  }
};

TEST(WorkTest, AThrowingObserverStopsTheLaterOnes) {
  NotificationLog log;
  RecordingObserver first("first", &log);
  ThrowingObserver throwing;
  RecordingObserver last("last", &log);
  auto leaf = ScriptedLeaf::Create("leaf", &first);
  leaf->AddCompleteCallback(&throwing);
  leaf->AddCompleteCallback(&last);
  EXPECT_THROW(leaf->NotifyComplete(WorkStatus(WorkResult::Success)), std::runtime_error);
  EXPECT_EQ(log.observers(), std::vector<std::string>{"first"});
}

TEST(WorkTest, DescribeWithStatusPutsTheWorkFirst) {
  auto leaf = ScriptedLeaf::Create("fetch");
  boost::property_tree::ptree tree;
  leaf->DescribeWithStatus(WorkStatus(WorkResult::Failure), tree);
  std::vector<std::string> keys;
  for (const auto& entry : tree) keys.push_back(entry.first);
  EXPECT_EQ(keys, (std::vector<std::string>{"name", "workStatus"}));
  EXPECT_EQ(tree.get<std::string>("name"), "fetch");
  EXPECT_EQ(tree.get<std::string>("workStatus.result"), "1");
  EXPECT_EQ(tree.get<std::string>("workStatus.retry"), "false");
}

}  // namespace
}  // namespace zarn
