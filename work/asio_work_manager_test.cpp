#include "work/asio_work_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "work/parallel_work.h"
#include "work/standard_workflow.h"
#include "work/testing/gate.h"
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

TEST(AsioWorkManagerTest, RunsAtMostItsThreadCountAtOnceInPostingOrder) {
  constexpr int kWorks = 5;
  std::vector<Gate> release(kWorks);
  WaitableCounter started;
  std::mutex mutex;
  std::vector<int> start_order;
  std::atomic<int> running{0};
  std::atomic<int> most_running{0};
  std::vector<std::shared_ptr<ScriptedLeaf>> leaves;
  for (int i = 0; i < kWorks; ++i) {
    leaves.push_back(ScriptedLeaf::Create());
    leaves.back()->Then([&, i](ScriptedLeaf&) {
      const int now = ++running;
      int most = most_running.load();
      while (now > most && !most_running.compare_exchange_weak(most, now)) {
      }
      {
        std::lock_guard<std::mutex> lock(mutex);
        start_order.push_back(i);
      }
      started.Add();
      EXPECT_TRUE(release[i].Wait());
      --running;
      return WorkStatus(WorkResult::Success);
    });
  }
  AsioWorkManager pool(2);
  for (const auto& leaf : leaves) pool.PostWork(leaf);

  // Works are taken in posting order: releasing the k-th admits exactly the (k+2)-th.
  ASSERT_TRUE(started.WaitAtLeast(2));
  for (int k = 0; k < kWorks; ++k) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      std::vector<int> seen = start_order;
      std::sort(seen.begin(), seen.end());
      std::vector<int> expected;
      for (int i = 0; i < std::min(kWorks, k + 2); ++i) expected.push_back(i);
      EXPECT_EQ(seen, expected) << "after releasing " << k;
    }
    release[k].Open();
    if (k + 3 <= kWorks) {
      ASSERT_TRUE(started.WaitAtLeast(k + 3));
    }
  }
  pool.Drain();
  EXPECT_EQ(most_running.load(), 2);
}

TEST(AsioWorkManagerTest, DestructionDropsQueuedWorksAndReleasesThem) {
  std::vector<std::weak_ptr<ScriptedLeaf>> watched;
  {
    AsioWorkManager pool(0);  // nothing ever takes a handler
    for (int i = 0; i < 3; ++i) {
      auto leaf = ScriptedLeaf::Create();
      leaf->Then([](ScriptedLeaf&) -> WorkStatus { throw std::logic_error("ran"); });
      watched.push_back(leaf);
      pool.PostWork(leaf);
    }
  }
  for (const auto& weak : watched) EXPECT_TRUE(weak.expired());
}

TEST(AsioWorkManagerTest, DrainRunsEverythingQueuedIncludingWhatRunningWorksPost) {
  constexpr int kWorks = 20;
  AsioWorkManager pool(2);
  std::atomic<int> ran{0};
  for (int i = 0; i < kWorks; ++i) {
    auto leaf = ScriptedLeaf::Create();
    leaf->Then([&](ScriptedLeaf&) {
      auto follower = ScriptedLeaf::Create();
      follower->Then([&](ScriptedLeaf&) {
        ++ran;
        return WorkStatus(WorkResult::Success);
      });
      pool.PostWork(follower);
      ++ran;
      return WorkStatus(WorkResult::Success);
    });
    pool.PostWork(leaf);
  }
  pool.Drain();
  EXPECT_EQ(ran.load(), 2 * kWorks);
}

TEST(AsioWorkManagerTest, AThreadGoesOnAfterAPostedWorkThatThrows) {
  AsioWorkManager pool(1);
  ThrowingObserver throwing;
  auto failing = ScriptedLeaf::Create("failing", &throwing);
  failing->Then([](ScriptedLeaf&) -> WorkStatus { throw 42; });
  WaitableCounter ran;
  auto next = ScriptedLeaf::Create("next");
  next->Then([&](ScriptedLeaf&) {
    ran.Add();
    return WorkStatus(WorkResult::Success);
  });
  pool.PostWork(failing);
  pool.PostWork(next);
  EXPECT_TRUE(ran.WaitAtLeast(1));
}

// A root observer that throws while the pool's handler terminates the workflow: the pool
// thread survives and goes on with the next work.
TEST(AsioWorkManagerTest, SurvivesAThrowDuringTheTerminationOfAWorkflow) {
  AsioWorkManager pool(1);
  NotificationLog log;
  RecordingObserver root_observer("root", &log);
  ThrowingObserver throwing;
  WaitableCounter root_reports;
  root_observer.on_complete = [&] { root_reports.Add(); };
  auto root = std::make_shared<ParallelWork>(&root_observer);
  root->AddCompleteCallback(&throwing);
  root->AddChild(ScriptedLeaf::Create("throws", &throwing));
  auto workflow = MakeStandardWorkflow(&pool, root, 2);
  ASSERT_TRUE(workflow->Start());
  ASSERT_TRUE(root_reports.WaitAtLeast(1));

  WaitableCounter ran;
  auto next = ScriptedLeaf::Create("next");
  next->Then([&](ScriptedLeaf&) {
    ran.Add();
    return WorkStatus(WorkResult::Success);
  });
  pool.PostWork(next);
  EXPECT_TRUE(ran.WaitAtLeast(1));
  EXPECT_EQ(workflow->GetState(), WorkflowState::Terminated);
  const WorkStatus status = log.entries().at(0).status;
  EXPECT_EQ(status.result, WorkResult::Error);
  EXPECT_EQ(status.data->ToString(), "std::runtime_error");
}

// A thread that fails to start must not leave the started ones running over the
// io_context that the failed constructor destroys; the failure is out of memory.
TEST(AsioWorkManagerTest, AThreadThatFailsToStartStopsAndJoinsTheOthers) {
  std::atomic<int> bodies_returned{0};
  int starts = 0;
  const AsioWorkManager::ThreadStarter failing_third = [&](std::function<void()> body) {
    if (++starts == 3) {
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
    return std::thread([body, &bodies_returned] {
      body();
      ++bodies_returned;
    });
  };
  EXPECT_THROW(AsioWorkManager(4, failing_third), std::bad_alloc);
  EXPECT_EQ(starts, 3);
  EXPECT_EQ(bodies_returned.load(), 2);
}

}  // namespace
}  // namespace zarn
