#include "transfer/works/optimized_request_chunk_work.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "transfer/works/retryable_transfer_chunk_work.h"

namespace zarn {
namespace {

TEST(OptimizedRequestChunkWorkTest, RecordedTimeIsClampedToTheRequestLimit) {
  const struct {
    uint64_t elapsedMs;
    uint32_t connect, timeout;
    uint32_t recorded;
  } cases[] = {
      {0, 3, 10, 0},
      {13000, 3, 10, 13000},
      {13999, 3, 10, 13999},  // up to 999 ms beyond the limit pass unchanged
      {14000, 3, 10, 13000},
      {1000000, 3, 10, 13000},
      {uint64_t{1} << 40, 2, 2147483, 2147485000u},  // 64-bit sum, no wrap
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OptimizedRequestChunkWork::ClampRequestTime(c.elapsedMs, c.connect, c.timeout),
              c.recorded)
        << c.elapsedMs;
  }
}

TEST(OptimizedRequestChunkWorkTest, RequestLimitLetsEveryOtherNodeBeTriedOnce) {
  EXPECT_EQ(RetryableTransferChunkWork::RequestLimitFor(1, 4), 4u);
  EXPECT_EQ(RetryableTransferChunkWork::RequestLimitFor(3, 4), 4u);
  EXPECT_EQ(RetryableTransferChunkWork::RequestLimitFor(8, 4), 7u);
  EXPECT_EQ(RetryableTransferChunkWork::RequestLimitFor(0, 4), 4u);
}

}  // namespace
}  // namespace zarn
