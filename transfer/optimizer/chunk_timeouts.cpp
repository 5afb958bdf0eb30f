#include "transfer/optimizer/chunk_timeouts.h"

#include <algorithm>

#include "transfer/transfer_config.h"

namespace zarn {
namespace {

// A rate divided among the engine's threads; a thread count of 0 counts as 1.
int64_t Threads(const TransferConfig& config) { return std::max<int64_t>(config.engineThreads, 1); }

// max(L * T / rate, minimum), in 64 bits, clamped to what the request layer takes.
uint32_t TotalTimeout(uint64_t chunkLength, int64_t threads, uint32_t rate, uint32_t minimum) {
  const uint64_t length = std::min<uint64_t>(chunkLength, UINT32_MAX);
  const uint64_t seconds =
      rate == 0 ? kMaxChunkTimeoutSeconds : length * static_cast<uint64_t>(threads) / rate;
  return static_cast<uint32_t>(
      std::min<uint64_t>(std::max<uint64_t>(seconds, minimum), kMaxChunkTimeoutSeconds));
}

int32_t ClampToInt32(int64_t value) {
  return static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(value, 0), INT32_MAX));
}

}  // namespace

ChunkTimeouts ComputeRequestTimeouts(const TransferConfig& config, uint64_t chunkLength,
                                     uint32_t minNodeErrors) {
  const int64_t threads = Threads(config);
  ChunkTimeouts t;
  t.connectTimeout = config.requestConnectTimeout;
  t.totalTimeout = TotalTimeout(chunkLength, threads, config.requestRate, config.requestMinTimeout);
  t.lowSpeedLimit = ClampToInt32(config.requestRate / threads);
  const int64_t doubled = (int64_t{1} << std::min<uint32_t>(minNodeErrors, 24)) *
                          static_cast<int64_t>(config.lowSpeedTimeBase);
  t.lowSpeedTime =
      ClampToInt32(std::min<int64_t>(doubled, static_cast<int64_t>(config.lowSpeedTimeMax)));
  return t;
}

ChunkTimeouts ComputeProbeTimeouts(const TransferConfig& config, uint64_t chunkLength) {
  const int64_t threads = Threads(config);
  ChunkTimeouts t;
  t.connectTimeout = config.probeConnectTimeout;
  t.totalTimeout = TotalTimeout(chunkLength, threads, config.probeRate, config.probeMinTimeout);
  t.lowSpeedLimit = ClampToInt32(config.probeRate / threads);
  t.lowSpeedTime = ClampToInt32(config.probeLowSpeedTime);
  return t;
}

}  // namespace zarn
