#include "work/standard_workflow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <stdexcept>
#include <thread>

#include "work/asio_work_manager.h"
#include "work/conditional_work.h"
#include "work/limited_retry_sequential_work.h"
#include "work/limited_retry_simple_work.h"
#include "work/parallel_work.h"
#include "work/sequential_work.h"
#include "work/testing/gate.h"
#include "work/testing/manual_work_manager.h"
#include "work/testing/recording_observer.h"
#include "work/testing/scripted_leaf.h"
#include "work/work_error_data.h"

namespace zarn {
namespace {

using Works = std::vector<std::shared_ptr<SimpleWork>>;

// Runs fn on another thread and waits for it, boundedly: a lock that was not released would
// block it. A test that would hang ends the process instead.
void CallFromAnotherThread(const std::function<void()>& fn) {
  std::mutex mutex;
  std::condition_variable done_changed;
  bool done = false;
  std::thread thread([&] {
    fn();
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
    done_changed.notify_all();
  });
  std::unique_lock<std::mutex> lock(mutex);
  if (!done_changed.wait_for(lock, std::chrono::seconds(30), [&] { return done; })) {
    ADD_FAILURE() << "the call from another thread blocked: a lock is still held";
    std::abort();
  }
  lock.unlock();
  thread.join();
}

// A parallel root of leaves a, b, c (queued in that order) over a manual work manager.
struct Harness {
  explicit Harness(std::uint32_t max_running, int leaf_count = 3)
      : root_observer("root", &log), retryable("retryable", &log) {
    root = std::make_shared<ParallelWork>(&root_observer);
    for (int i = 0; i < leaf_count; ++i) {
      leaves.push_back(ScriptedLeaf::Create(std::string(1, static_cast<char>('a' + i))));
      root->AddChild(leaves.back());
    }
    workflow = MakeStandardWorkflow(&manager, root, max_running);
    workflow->AddRetryableErrorCallback(&retryable);
  }
  std::size_t RootReports() const {
    std::size_t n = 0;
    for (const auto& e : log.entries()) n += e.observer == "root";
    return n;
  }

  ManualWorkManager manager;
  NotificationLog log;
  RecordingObserver root_observer;
  RecordingObserver retryable;
  std::shared_ptr<ParallelWork> root;
  std::vector<std::shared_ptr<ScriptedLeaf>> leaves;
  std::shared_ptr<StandardWorkflow> workflow;
};

using State = WorkflowState;

// Brings a two-leaf workflow (maxRunning 2) into a state with nothing left in the manager
// except in Running, where both leaves are posted.
void Reach(Harness& h, State state) {
  auto& w = *h.workflow;
  switch (state) {
    case State::NotStarted:
      return;
    case State::Running:
      ASSERT_TRUE(w.Start());
      return;
    case State::Paused:
      ASSERT_TRUE(w.Start());
      ASSERT_TRUE(w.Pause());
      h.manager.RunAll();  // both come back Cancelled and wait
      return;
    case State::RetryPending:
    case State::PausedRetryPending:
      h.leaves[1]->Then(WorkResult::RetryableError);
      ASSERT_TRUE(w.Start());
      h.manager.RunAll();  // b: RetryableError, retry false; a: cancelled
      if (state == State::PausedRetryPending) {
        ASSERT_TRUE(w.Pause());
      }
      return;
    case State::Complete:
      h.leaves[1]->Then(WorkResult::Error);
      ASSERT_TRUE(w.Start());
      h.manager.RunAll();
      return;
    case State::Terminated:
      ASSERT_TRUE(w.Terminate(WorkStatus(WorkResult::Cancelled)));
      return;
  }
}

enum class Op { Start, Pause, Resume, Retry, Terminate };

TEST(StandardWorkflowTest, EveryOperationInEveryState) {
  struct Case {
    State from;
    Op op;
    bool returns;
    State to;
    std::size_t posted;  // items in the manager afterwards
  };
  const Case cases[] = {
      {State::NotStarted, Op::Start, true, State::Running, 2},
      {State::NotStarted, Op::Pause, false, State::NotStarted, 0},
      {State::NotStarted, Op::Resume, false, State::NotStarted, 0},
      {State::NotStarted, Op::Retry, false, State::NotStarted, 0},
      {State::NotStarted, Op::Terminate, true, State::Terminated, 0},
      {State::Running, Op::Start, false, State::Running, 2},
      {State::Running, Op::Pause, true, State::Paused, 2},
      {State::Running, Op::Resume, false, State::Running, 2},
      {State::Running, Op::Retry, false, State::Running, 2},
      {State::Running, Op::Terminate, true, State::Terminated, 2},
      {State::Paused, Op::Start, false, State::Paused, 0},
      {State::Paused, Op::Pause, false, State::Paused, 0},
      {State::Paused, Op::Resume, true, State::Running, 2},
      {State::Paused, Op::Retry, false, State::Paused, 0},
      {State::Paused, Op::Terminate, true, State::Terminated, 0},
      {State::RetryPending, Op::Start, false, State::RetryPending, 0},
      {State::RetryPending, Op::Pause, true, State::PausedRetryPending, 0},
      {State::RetryPending, Op::Resume, false, State::RetryPending, 0},
      {State::RetryPending, Op::Retry, true, State::Running, 2},
      {State::RetryPending, Op::Terminate, true, State::Terminated, 0},
      {State::PausedRetryPending, Op::Start, false, State::PausedRetryPending, 0},
      {State::PausedRetryPending, Op::Pause, false, State::PausedRetryPending, 0},
      {State::PausedRetryPending, Op::Resume, true, State::RetryPending, 0},
      {State::PausedRetryPending, Op::Retry, true, State::Paused, 0},
      {State::PausedRetryPending, Op::Terminate, true, State::Terminated, 0},
      {State::Complete, Op::Start, false, State::Complete, 0},
      {State::Complete, Op::Pause, false, State::Complete, 0},
      {State::Complete, Op::Resume, false, State::Complete, 0},
      {State::Complete, Op::Retry, false, State::Complete, 0},
      {State::Complete, Op::Terminate, true, State::Terminated, 0},
      {State::Terminated, Op::Start, false, State::Terminated, 0},
      {State::Terminated, Op::Pause, false, State::Terminated, 0},
      {State::Terminated, Op::Resume, false, State::Terminated, 0},
      {State::Terminated, Op::Retry, false, State::Terminated, 0},
      {State::Terminated, Op::Terminate, false, State::Terminated, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "from " << static_cast<int>(c.from) << ", op " << static_cast<int>(c.op));
    Harness h(2, 2);
    Reach(h, c.from);
    ASSERT_EQ(h.workflow->GetState(), c.from);
    const std::size_t reports_before = h.RootReports();
    const WorkStatus given(WorkResult::Error, MakeWorkErrorData("stop"));
    bool returned = false;
    switch (c.op) {
      case Op::Start:
        returned = h.workflow->Start();
        break;
      case Op::Pause:
        returned = h.workflow->Pause();
        break;
      case Op::Resume:
        returned = h.workflow->Resume();
        break;
      case Op::Retry:
        returned = h.workflow->Retry();
        break;
      case Op::Terminate:
        returned = h.workflow->Terminate(given);
        break;
    }
    EXPECT_EQ(returned, c.returns);
    EXPECT_EQ(h.workflow->GetState(), c.to);
    EXPECT_EQ(h.manager.size(), c.posted);
    // A successful Terminate reports the given status as the root's completion, once.
    const bool terminated = c.op == Op::Terminate && c.returns;
    ASSERT_EQ(h.RootReports(), reports_before + (terminated ? 1 : 0));
    if (terminated) {
      EXPECT_EQ(h.log.entries().back().status.data, given.data);
    }
  }
}

TEST(StandardWorkflowTest, StatePredicates) {
  struct Case {
    State state;
    bool started, paused, retry_pending, finished;
  };
  const Case cases[] = {
      {State::NotStarted, false, false, false, false},
      {State::Running, true, false, false, false},
      {State::Paused, true, true, false, false},
      {State::RetryPending, true, false, true, false},
      {State::PausedRetryPending, true, true, true, false},
      {State::Complete, true, false, false, true},
      {State::Terminated, true, false, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.state));
    Harness h(2, 2);
    Reach(h, c.state);
    EXPECT_EQ(h.workflow->IsStarted(), c.started);
    EXPECT_EQ(h.workflow->IsPaused(), c.paused);
    EXPECT_EQ(h.workflow->IsRetryPending(), c.retry_pending);
    EXPECT_EQ(h.workflow->IsFinished(), c.finished);
  }
}

TEST(StandardWorkflowTest, PostsTheNewestLeavesFirstWithinTheRunningLimit) {
  Harness h(2);
  const auto& l = h.leaves;
  ASSERT_TRUE(h.workflow->Start());
  EXPECT_EQ(h.manager.Queued(), (Works{l[2], l[1]}));
  h.manager.Run(l[1]);
  EXPECT_EQ(h.manager.Queued(), (Works{l[2], l[0]}));
  h.manager.RunAll();
  EXPECT_EQ(h.RootReports(), 1u);
}

TEST(StandardWorkflowTest, NothingIsPostedWithARunningLimitOfZero) {
  Harness h(0);
  ASSERT_TRUE(h.workflow->Start());
  EXPECT_TRUE(h.manager.empty());
}

TEST(StandardWorkflowTest, PauseCancelsRunningLeavesAndResumePostsThemNewestFirst) {
  Harness h(2);
  const auto& l = h.leaves;
  ASSERT_TRUE(h.workflow->Start());  // c and b posted, a pending
  ASSERT_TRUE(h.workflow->Pause());
  EXPECT_TRUE(l[1]->IsCancelled() && l[2]->IsCancelled());
  EXPECT_EQ(l[1]->cancels() + l[2]->cancels(), 2);
  EXPECT_EQ(l[0]->cancels(), 0);

  h.manager.Run(l[1]);  // comes back Cancelled, requeued after a
  h.manager.Run(l[2]);  // then c
  EXPECT_TRUE(h.manager.empty());
  EXPECT_EQ(l[1]->attempts() + l[2]->attempts(), 0);
  EXPECT_FALSE(l[1]->IsCancelled());  // reset when requeued

  ASSERT_TRUE(h.workflow->Resume());
  EXPECT_EQ(h.manager.Queued(), (Works{l[2], l[1]}));
  h.manager.RunAll();
  EXPECT_EQ(h.RootReports(), 1u);
  EXPECT_EQ(h.log.entries().back().status.result, WorkResult::Success);
}

TEST(StandardWorkflowTest, ARetryableErrorCancelsTheOthersAndTellsEachObserverOnceUnlocked) {
  Harness h(3);
  const auto& l = h.leaves;
  NotificationLog second_log;
  RecordingObserver second("second", &second_log);
  h.workflow->AddRetryableErrorCallback(&second);
  bool retried = false;
  h.retryable.on_retryable_error = [&](const std::shared_ptr<Workflow>& workflow) {
    EXPECT_EQ(workflow, h.workflow);
    EXPECT_EQ(workflow->GetState(), State::RetryPending);
    CallFromAnotherThread([&] { retried = workflow->Retry(); });
  };
  l[2]->Then(WorkResult::RetryableError);

  ASSERT_TRUE(h.workflow->Start());
  h.manager.Run(l[2]);
  EXPECT_TRUE(retried);
  EXPECT_TRUE(l[0]->IsCancelled() && l[1]->IsCancelled());
  ASSERT_EQ(h.log.observers(), std::vector<std::string>{"retryable.retryable"});
  EXPECT_EQ(h.log.entries()[0].work, l[2].get());
  EXPECT_EQ(second_log.size(), 1u);

  // Retried already, the workflow posts c again as soon as its run has finished; a and b,
  // cancelled, come back and are posted again in their turn.
  EXPECT_EQ(h.manager.Queued(), (Works{l[1], l[0], l[2]}));
  h.manager.RunAll();
  EXPECT_EQ(l[2]->attempts(), 2);
  EXPECT_EQ(h.RootReports(), 1u);
  EXPECT_EQ(h.log.entries().back().status.result, WorkResult::Success);
}

TEST(StandardWorkflowTest, AnErrorCompletesTheWorkflowAndNothingIsRequeued) {
  Harness h(3);
  const auto& l = h.leaves;
  const auto payload = MakeWorkErrorData("disk full");
  l[1]->Then(WorkStatus(WorkResult::Error, payload));
  ASSERT_TRUE(h.workflow->Start());
  h.manager.Run(l[1]);
  EXPECT_EQ(h.workflow->GetState(), State::Complete);
  EXPECT_TRUE(l[0]->IsCancelled() && l[2]->IsCancelled());
  ASSERT_EQ(h.RootReports(), 1u);
  EXPECT_EQ(h.log.entries()[0].status.data, payload);

  h.manager.RunAll();  // both come back Cancelled and are dropped
  EXPECT_TRUE(h.manager.empty());
  EXPECT_EQ(l[0]->attempts() + l[2]->attempts(), 0);
  EXPECT_EQ(h.RootReports(), 1u);
}

TEST(StandardWorkflowTest, TerminateBeforeStartReportsAndForbidsStart) {
  Harness h(3);
  ASSERT_TRUE(h.workflow->Terminate(WorkStatus(WorkResult::Cancelled)));
  EXPECT_EQ(h.RootReports(), 1u);
  EXPECT_FALSE(h.workflow->Start());
  EXPECT_TRUE(h.manager.empty());
}

TEST(StandardWorkflowTest, TerminateReportsToTheRootsObserversWithTheLockReleased) {
  Harness h(3);
  bool state_read = false;
  h.root_observer.on_complete = [&] {
    CallFromAnotherThread([&] { state_read = h.workflow->GetState() == State::Terminated; });
  };
  ASSERT_TRUE(h.workflow->Start());
  ASSERT_TRUE(h.workflow->Terminate(WorkStatus(WorkResult::Error)));
  EXPECT_TRUE(state_read);
  // Terminate pauses first: the running leaves are cancelled and never requeued.
  for (const auto& leaf : h.leaves) EXPECT_TRUE(leaf->IsCancelled());
  h.manager.RunAll();
  EXPECT_TRUE(h.manager.empty());
}

// Leaves queued before Start failed must not stay queued: a second Start would queue them
// again, and one leaf would then run twice at the same time.
TEST(StandardWorkflowTest, AStartThatThrowsLeavesNothingQueued) {
  ManualWorkManager manager;
  auto leaf = ScriptedLeaf::Create("a");
  auto conditional = std::make_shared<ConditionalWork>();
  conditional->SetCondition(ScriptedLeaf::Create("condition"));
  conditional->SetSuccessWork(ScriptedLeaf::Create("success"));
  auto root = std::make_shared<ParallelWork>();
  root->AddChild(leaf);
  root->AddChild(conditional);
  auto workflow = MakeStandardWorkflow(&manager, root, 8);

  EXPECT_THROW(workflow->Start(), std::logic_error);
  EXPECT_EQ(workflow->GetState(), State::NotStarted);

  conditional->SetFailureWork(ScriptedLeaf::Create("failure"));
  ASSERT_TRUE(workflow->Start());
  int posts_of_leaf = 0;
  for (const auto& work : manager.Queued()) posts_of_leaf += work == leaf;
  EXPECT_EQ(posts_of_leaf, 1);
  EXPECT_EQ(manager.size(), 2u);  // the leaf and the condition
  manager.Run(leaf);
  manager.RunAll();
  EXPECT_EQ(leaf->attempts(), 1);
  EXPECT_EQ(workflow->GetState(), State::Complete);
}

TEST(StandardWorkflowTest, AnEmptyCompositeQueuedLaterTerminatesTheWorkflow) {
  ManualWorkManager manager;
  NotificationLog log;
  RecordingObserver root_observer("root", &log);
  auto root = std::make_shared<SequentialWork>(&root_observer);
  root->AddChild(ScriptedLeaf::Create("a"));
  root->AddChild(std::make_shared<ParallelWork>());
  auto workflow = MakeStandardWorkflow(&manager, root, 8);
  ASSERT_TRUE(workflow->Start());
  manager.RunAll();
  EXPECT_EQ(workflow->GetState(), State::Terminated);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log.entries()[0].status.result, WorkResult::Error);
  EXPECT_EQ(log.entries()[0].status.data->ToString(), "std::logic_error");
}

TEST(StandardWorkflowTest, ReportsAfterTheEndAreIgnoredAndQueueWorkDrops) {
  Harness h(3);
  ASSERT_TRUE(h.workflow->Start());
  ASSERT_TRUE(h.workflow->Terminate(WorkStatus(WorkResult::Error)));
  auto late = ScriptedLeaf::Create("late");
  h.workflow->QueueWork(late);
  h.workflow->Resume();
  h.workflow->Retry();
  h.manager.RunAll();
  EXPECT_EQ(late->attempts(), 0);
  EXPECT_EQ(h.workflow->GetState(), State::Terminated);
}

// Runs every posted item on a thread of its own, through the pool's handler, and counts
// per work how often it was posted and how often its handler has returned.
class ThreadPerItemWorkManager : public WorkManager {
 public:
  ~ThreadPerItemWorkManager() override {
    for (;;) {
      std::vector<std::thread> threads;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        threads.swap(threads_);
      }
      if (threads.empty()) return;
      for (auto& thread : threads) thread.join();
    }
  }
  void PostWork(const std::shared_ptr<SimpleWork>&) override { ADD_FAILURE(); }
  void PostWorkflowWork(WorkflowWorkItem item) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++posts_[item.work.get()];
    threads_.emplace_back([this, item] {
      RunWorkflowWorkItem(item);
      std::lock_guard<std::mutex> lock(mutex_);
      ++finished_[item.work.get()];
      changed_.notify_all();
    });
  }
  int posts(const Work* work) {
    std::lock_guard<std::mutex> lock(mutex_);
    return posts_[work];
  }
  bool WaitFinished(const Work* work, int n) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, WaitableCounter::kBound, [&] { return finished_[work] >= n; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::thread> threads_;
  std::map<const Work*, int> posts_;
  std::map<const Work*, int> finished_;
};

// A retry-limited sequence that, right after a restart has queued its first child again,
// lets a sibling finish (and schedule) before the first child's own run has finished.
class PausingRestartSequence : public LimitedRetrySequentialWork {
 public:
  PausingRestartSequence(std::function<void()> after_restart)
      : LimitedRetrySequentialWork(3), afterRestart_(std::move(after_restart)) {}
  void Restart() override {
    LimitedRetrySequentialWork::Restart();
    afterRestart_();
  }

 private:
  std::function<void()> afterRestart_;
};

// The first child of a retry-limited sequence fails; the restart queues it again while its
// run is still reporting. A sibling's scheduling must not post it a second time then: it
// would run on two threads and drop out of the running set when the older run finished.
TEST(StandardWorkflowTest, ALeafQueuedAgainWhileStillReportingIsPostedOnlyAfterItsRunEnds) {
  NotificationLog log;
  RecordingObserver root_observer("root", &log);
  WaitableCounter root_reports;
  root_observer.on_complete = [&] { root_reports.Add(); };
  Gate restarted;
  auto first = ScriptedLeaf::Create("first");
  auto sibling = ScriptedLeaf::Create("sibling");
  int posts_of_first_meanwhile = -1;
  {
    ThreadPerItemWorkManager manager;
    auto sequence = std::make_shared<PausingRestartSequence>([&] {
      restarted.Open();
      EXPECT_TRUE(manager.WaitFinished(sibling.get(), 1));
      posts_of_first_meanwhile = manager.posts(first.get());
    });
    first->Then(WorkResult::Failure);
    sequence->AddChild(first);
    sequence->AddChild(ScriptedLeaf::Create("second"));
    sibling->Then([&](ScriptedLeaf&) {
      EXPECT_TRUE(restarted.Wait());
      return WorkStatus(WorkResult::Success);
    });
    auto root = std::make_shared<ParallelWork>(&root_observer);
    root->AddChild(sequence);
    root->AddChild(sibling);
    auto workflow = MakeStandardWorkflow(&manager, root, 2);
    ASSERT_TRUE(workflow->Start());
    ASSERT_TRUE(root_reports.WaitAtLeast(1));
  }
  EXPECT_EQ(posts_of_first_meanwhile, 1);
  EXPECT_EQ(first->attempts(), 2);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log.entries()[0].status.result, WorkResult::Success);
}

// A leaf for the stress test: counts how many leaves are inside ExecuteTask at once and
// whether it ever runs on two threads at the same time; fails a few times, retryably, and
// ends with Failure a few times (which restarts its sequence).
class StressLeaf : public LimitedRetrySimpleWork {
 public:
  StressLeaf(std::atomic<int>* in_flight, std::atomic<int>* most_in_flight, int failures,
             int negatives)
      : LimitedRetrySimpleWork(1),
        inFlight_(in_flight),
        mostInFlight_(most_in_flight),
        failuresLeft_(failures),
        negativesLeft_(negatives) {}

  WorkStatus ExecuteTask() override {
    if (++inside_ > 1) overlapped_ = true;
    const int now = ++*inFlight_;
    int most = mostInFlight_->load();
    while (now > most && !mostInFlight_->compare_exchange_weak(most, now)) {
    }
    WorkStatus status(WorkResult::Success);
    for (int i = 0; i < 50; ++i) {
      if (IsCancelled()) {
        status = WorkStatus(WorkResult::Cancelled);
        break;
      }
      std::this_thread::yield();
    }
    if (status.result == WorkResult::Success && failuresLeft_ > 0) {
      --failuresLeft_;
      status = WorkStatus(WorkResult::RetryableError);
    } else if (status.result == WorkResult::Success && negativesLeft_ > 0) {
      --negativesLeft_;
      status = WorkStatus(WorkResult::Failure);
    }
    if (status.result == WorkResult::Success) ++successes_;
    --*inFlight_;
    --inside_;
    return status;
  }
  void OnCancel() override {}

  bool overlapped() const { return overlapped_.load(); }
  int successes() const { return successes_.load(); }

 private:
  std::atomic<int>* inFlight_;
  std::atomic<int>* mostInFlight_;
  int failuresLeft_;
  int negativesLeft_;
  std::atomic<int> inside_{0};
  std::atomic<bool> overlapped_{false};
  std::atomic<int> successes_{0};
};

TEST(StandardWorkflowStressTest, RandomPauseResumeAndRetryOnTheRealPool) {
  constexpr int kSequences = 40;
  constexpr int kLeavesPerSequence = 5;
  constexpr std::uint32_t kMaxRunning = 3;

  std::atomic<int> in_flight{0};
  std::atomic<int> most_in_flight{0};
  NotificationLog log;
  RecordingObserver root_observer("root", &log);
  WaitableCounter root_reports;
  root_observer.on_complete = [&] { root_reports.Add(); };
  std::atomic<bool> auto_retry{false};
  NotificationLog retry_log;
  RecordingObserver retryable("retryable", &retry_log);

  std::mt19937 random(20261210);
  std::vector<std::shared_ptr<StressLeaf>> leaves;
  auto root = std::make_shared<ParallelWork>(&root_observer);
  for (int s = 0; s < kSequences; ++s) {
    // A Failure restarts the sequence at once, twice; then it waits for the retry.
    auto sequence = std::make_shared<LimitedRetrySequentialWork>(2);
    for (int l = 0; l < kLeavesPerSequence; ++l) {
      // Up to three retryable failures: the first is retried at once, the rest wait for
      // the workflow's retry. Some leaves also fail with Failure, the first of a sequence
      // most often: its restart queues it again while it is still reporting.
      const int failures = static_cast<int>(random() % 4);
      const int negatives = static_cast<int>(random() % (l == 0 ? 3 : 8) == 0);
      leaves.push_back(
          std::make_shared<StressLeaf>(&in_flight, &most_in_flight, failures, negatives));
      sequence->AddChild(leaves.back());
    }
    root->AddChild(sequence);
  }

  AsioWorkManager pool(6);
  auto workflow = MakeStandardWorkflow(&pool, root, kMaxRunning);
  retryable.on_retryable_error = [&](const std::shared_ptr<Workflow>& w) {
    if (auto_retry) w->Retry();
  };
  workflow->AddRetryableErrorCallback(&retryable);
  ASSERT_TRUE(workflow->Start());

  for (int i = 0; i < 400 && root_reports.value() == 0; ++i) {
    switch (random() % 3) {
      case 0:
        workflow->Pause();
        break;
      case 1:
        workflow->Resume();
        break;
      case 2:
        workflow->Retry();
        break;
    }
    for (int spin = static_cast<int>(random() % 200); spin > 0; --spin) std::this_thread::yield();
  }
  // From here on every retryable error is retried at once; a pause or a pending retry
  // left by the random phase is lifted.
  auto_retry = true;
  workflow->Resume();
  workflow->Retry();

  ASSERT_TRUE(root_reports.WaitAtLeast(1)) << "state " << static_cast<int>(workflow->GetState());
  pool.Drain();

  EXPECT_LE(most_in_flight.load(), static_cast<int>(kMaxRunning));
  EXPECT_EQ(root_reports.value(), 1);
  EXPECT_EQ(log.entries().at(0).status.result, WorkResult::Success);
  EXPECT_EQ(workflow->GetState(), WorkflowState::Complete);
  for (const auto& leaf : leaves) {
    EXPECT_FALSE(leaf->overlapped());
    EXPECT_GE(leaf->successes(), 1);
  }
}

}  // namespace
}  // namespace zarn
