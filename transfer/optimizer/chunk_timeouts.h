#ifndef ZARN_TRANSFER_OPTIMIZER_CHUNK_TIMEOUTS_H_
#define ZARN_TRANSFER_OPTIMIZER_CHUNK_TIMEOUTS_H_

#include <cstdint>

namespace zarn {

struct TransferConfig;

// The four limits of one chunk request.
struct ChunkTimeouts {
  uint32_t connectTimeout = 0;  // seconds
  uint32_t totalTimeout = 0;    // seconds
  int32_t lowSpeedLimit = 0;    // bytes per second
  int32_t lowSpeedTime = 0;     // seconds
};

// The longest total time-out handed to the request layer, in seconds: libcurl keeps time
// in milliseconds in a long, so on targets with a 32-bit long anything above this wraps.
constexpr uint32_t kMaxChunkTimeoutSeconds = 2147483;

// Limits of a request to a node the optimizer picked: the time the chunk takes at the
// configured per-thread rate (never below the minimum), that rate as the low-speed limit,
// and a low-speed time that doubles with the errors of the transfer's least-failing node.
// Computed in 64 bits and clamped, so chunks of any size get a usable time-out.
ChunkTimeouts ComputeRequestTimeouts(const TransferConfig& config, uint64_t chunkLength,
                                     uint32_t minNodeErrors);

// Limits of a probe of a node with too few samples: the probe rate and its fixed
// low-speed time.
ChunkTimeouts ComputeProbeTimeouts(const TransferConfig& config, uint64_t chunkLength);

}  // namespace zarn

#endif  // ZARN_TRANSFER_OPTIMIZER_CHUNK_TIMEOUTS_H_
