#include "transfer/delta_counter.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace zarn {
namespace {

TEST(DeltaCounterTest, TakeAndPeek) {
  DeltaCounter counter;
  counter.Add(5);
  counter.Add(7);
  EXPECT_EQ(counter.PeekDelta(), 12u);
  EXPECT_EQ(counter.PeekDelta(), 12u);  // peeking moves nothing
  EXPECT_EQ(counter.TakeDelta(), 12u);
  EXPECT_EQ(counter.TakeDelta(), 0u);
  counter.Add(3);
  EXPECT_EQ(counter.TakeDelta(), 3u);
  EXPECT_EQ(counter.GetValue(), 15u);
}

TEST(DeltaCounterTest, ThirtyTwoBitDeltasWrap) {
  DeltaCounter32 counter;
  counter.Add(0xFFFFFFF0u);
  EXPECT_EQ(counter.TakeDelta(), 0xFFFFFFF0u);
  counter.Add(0x20);  // the value wraps past 2^32
  EXPECT_EQ(counter.GetValue(), 0x10u);
  EXPECT_EQ(counter.TakeDelta(), 0x20u);
}

TEST(DeltaCounterTest, ConcurrentAddsAndTakesLoseNothing) {
  DeltaCounter counter;
  constexpr int kThreads = 4;
  constexpr int kAdds = 20000;
  uint64_t taken = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&counter] {
      for (int i = 0; i < kAdds; ++i) counter.Add(1);
    });
  }
  for (int i = 0; i < 1000; ++i) taken += counter.TakeDelta();
  for (auto& thread : threads) thread.join();
  taken += counter.TakeDelta();
  EXPECT_EQ(taken, uint64_t{kThreads} * kAdds);
}

}  // namespace
}  // namespace zarn
