#include "transfer/optimizer/chunk_timeouts.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "transfer/transfer_config.h"

namespace zarn {
namespace {

struct TimeoutCase {
  uint64_t chunkLength;
  uint32_t threads;
  uint32_t nodeErrors;
  ChunkTimeouts request;
  ChunkTimeouts probe;
};

void ExpectTimeouts(const ChunkTimeouts& actual, const ChunkTimeouts& expected) {
  EXPECT_EQ(actual.connectTimeout, expected.connectTimeout);
  EXPECT_EQ(actual.totalTimeout, expected.totalTimeout);
  EXPECT_EQ(actual.lowSpeedLimit, expected.lowSpeedLimit);
  EXPECT_EQ(actual.lowSpeedTime, expected.lowSpeedTime);
}

TEST(ChunkTimeoutsTest, TableOfChunkSizeThreadsAndNodeErrors) {
  const TimeoutCase cases[] = {
      // 1 MiB on 16 threads: 1048576 * 16 / 7168 and / 32768.
      {1048576, 16, 0, {3, 2340, 448, 5}, {2, 512, 2048, 3}},
      {1048576, 12, 0, {3, 1755, 597, 5}, {2, 384, 2730, 3}},
      // A one-byte chunk gets the minimum total time-outs.
      {1, 16, 0, {3, 10, 448, 5}, {2, 3, 2048, 3}},
      // The low-speed time doubles with the least-failing node's errors, up to 60 s.
      {1048576, 16, 1, {3, 2340, 448, 10}, {2, 512, 2048, 3}},
      {1048576, 16, 2, {3, 2340, 448, 20}, {2, 512, 2048, 3}},
      {1048576, 16, 3, {3, 2340, 448, 40}, {2, 512, 2048, 3}},
      {1048576, 16, 4, {3, 2340, 448, 60}, {2, 512, 2048, 3}},
      {1048576, 16, 30, {3, 2340, 448, 60}, {2, 512, 2048, 3}},
      // 256 MiB on 12 threads overflows 32 bits (L * T = 3 * 2^30); computed in 64 bits.
      {268435456, 12, 0, {3, 449389, 597, 5}, {2, 98304, 2730, 3}},
      // The largest chunk on a huge thread count is clamped to what libcurl takes.
      {4294967295u,
       100000,
       0,
       {3, kMaxChunkTimeoutSeconds, 0, 5},
       {2, kMaxChunkTimeoutSeconds, 0, 3}},
  };
  for (const TimeoutCase& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "L=" << c.chunkLength << " T=" << c.threads << " E=" << c.nodeErrors);
    TransferConfig config(1);
    config.engineThreads = c.threads;
    ExpectTimeouts(ComputeRequestTimeouts(config, c.chunkLength, c.nodeErrors), c.request);
    ExpectTimeouts(ComputeProbeTimeouts(config, c.chunkLength), c.probe);
  }
}

}  // namespace
}  // namespace zarn
