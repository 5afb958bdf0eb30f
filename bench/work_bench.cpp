// Work execution: the cost of running leaves through a workflow on the pool, and the memory
// each constructed work takes.
//
//   build/bench/work_bench
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

#include "work/asio_work_manager.h"
#include "work/conditional_work.h"
#include "work/deferred_work.h"
#include "work/no_op_work.h"
#include "work/parallel_work.h"
#include "work/sequential_work.h"
#include "work/simple_work.h"
#include "work/standard_workflow.h"
#include "work/work_complete_callback.h"
#include "work/work_status.h"

namespace {

// Bytes in use on the heap, allocator overhead included: what constructing works really
// costs. Measured while no other thread allocates.
std::size_t HeapInUse() { return mallinfo2().uordblks; }

}  // namespace

namespace zarn {
namespace {

constexpr int kLeaves = 100000;

class DoneLatch : public WorkCompleteCallback {
 public:
  void OnWorkComplete(const std::shared_ptr<const Work>&, const WorkStatus&) override {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
    changed_.notify_all();
  }
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return done_; });
    done_ = false;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool done_ = false;
};

// A leaf that does nothing but report: what is measured is the machinery around it.
class EmptyLeaf : public SimpleWork {
 public:
  WorkStatus ExecuteTask() override { return WorkStatus(WorkResult::Success); }
  void OnCancel() override {}
};

std::shared_ptr<Work> ParallelOfLeaves(WorkCompleteCallback* observer) {
  auto root = std::make_shared<ParallelWork>(observer);
  for (int i = 0; i < kLeaves; ++i) root->AddChild(std::make_shared<EmptyLeaf>());
  return root;
}

// 1000 parallel sequences of 100 leaves: a chunk-like shape, where every completion also
// queues the next leaf of its sequence.
std::shared_ptr<Work> ParallelOfSequences(WorkCompleteCallback* observer) {
  auto root = std::make_shared<ParallelWork>(observer);
  for (int s = 0; s < kLeaves / 100; ++s) {
    auto sequence = std::make_shared<SequentialWork>();
    for (int i = 0; i < 100; ++i) sequence->AddChild(std::make_shared<EmptyLeaf>());
    root->AddChild(sequence);
  }
  return root;
}

template <std::shared_ptr<Work> (*kMakeTree)(WorkCompleteCallback*)>
void BM_LeafThroughWorkflow(benchmark::State& state) {
  const auto threads = static_cast<std::uint32_t>(state.range(0));
  const auto max_running = static_cast<std::uint32_t>(state.range(1));
  AsioWorkManager pool(threads);
  DoneLatch done;
  for (auto _ : state) {
    state.PauseTiming();
    auto workflow = MakeStandardWorkflow(&pool, kMakeTree(&done), max_running);
    state.ResumeTiming();
    workflow->Start();
    done.Wait();
    state.PauseTiming();
    workflow.reset();  // the tree's destruction is not measured
    state.ResumeTiming();
  }
  state.counters["per_leaf"] = benchmark::Counter(
      kLeaves, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK_TEMPLATE(BM_LeafThroughWorkflow, ParallelOfLeaves)
    ->ArgNames({"threads", "maxRunning"})
    ->Args({1, 1})
    ->Args({4, 8})
    ->Args({20, 16})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_TEMPLATE(BM_LeafThroughWorkflow, ParallelOfSequences)
    ->ArgNames({"threads", "maxRunning"})
    ->Args({1, 1})
    ->Args({4, 8})
    ->Args({20, 16})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Bytes allocated per object made by make(i), averaged over a batch.
template <typename Make>
void MeasureBytes(benchmark::State& state, Make make) {
  constexpr int kBatch = 1000;
  std::size_t bytes = 0;
  std::size_t objects = 0;
  for (auto _ : state) {
    std::vector<std::shared_ptr<Work>> made;
    made.reserve(kBatch);
    const std::size_t before = HeapInUse();
    for (int i = 0; i < kBatch; ++i) made.push_back(make());
    bytes += HeapInUse() - before;
    objects += kBatch;
    benchmark::DoNotOptimize(made.data());
  }
  state.counters["bytes_per_work"] = static_cast<double>(bytes) / static_cast<double>(objects);
}

void BM_BytesPerLeaf(benchmark::State& state) {
  MeasureBytes(state, [] { return std::static_pointer_cast<Work>(NoOpWork::Create()); });
}
BENCHMARK(BM_BytesPerLeaf);

// A leaf adopted by a parent and attached to a workflow also holds its two observers; the
// parent's share (its child lists) is counted here too, per leaf.
void BM_BytesPerLeafInATree(benchmark::State& state) {
  constexpr int kBatch = 1000;
  std::size_t bytes = 0;
  std::size_t leaves = 0;
  for (auto _ : state) {
    auto parent = std::make_shared<ParallelWork>();
    auto workflow = MakeStandardWorkflow(nullptr, parent, 1);
    const std::size_t before = HeapInUse();
    for (int i = 0; i < kBatch; ++i) parent->AddChild(NoOpWork::Create());
    bytes += HeapInUse() - before;
    leaves += kBatch;
  }
  state.counters["bytes_per_work"] = static_cast<double>(bytes) / static_cast<double>(leaves);
}
BENCHMARK(BM_BytesPerLeafInATree);

void BM_BytesPerSequentialWork(benchmark::State& state) {
  MeasureBytes(state,
               [] { return std::static_pointer_cast<Work>(std::make_shared<SequentialWork>()); });
}
BENCHMARK(BM_BytesPerSequentialWork);

void BM_BytesPerParallelWork(benchmark::State& state) {
  MeasureBytes(state,
               [] { return std::static_pointer_cast<Work>(std::make_shared<ParallelWork>()); });
}
BENCHMARK(BM_BytesPerParallelWork);

void BM_BytesPerConditionalWork(benchmark::State& state) {
  MeasureBytes(state,
               [] { return std::static_pointer_cast<Work>(std::make_shared<ConditionalWork>()); });
}
BENCHMARK(BM_BytesPerConditionalWork);

void BM_BytesPerDeferredWork(benchmark::State& state) {
  MeasureBytes(state, [] { return std::static_pointer_cast<Work>(DeferredWork::Create()); });
}
BENCHMARK(BM_BytesPerDeferredWork);

}  // namespace
}  // namespace zarn

BENCHMARK_MAIN();
