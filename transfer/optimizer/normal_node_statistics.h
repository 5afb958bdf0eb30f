#ifndef ZARN_TRANSFER_OPTIMIZER_NORMAL_NODE_STATISTICS_H_
#define ZARN_TRANSFER_OPTIMIZER_NORMAL_NODE_STATISTICS_H_

#include <cstdint>
#include <mutex>

#include "transfer/optimizer/node_statistics.h"

namespace zarn {

// Node statistics that also estimate the node's speed from every recorded request, with
// Welford's running mean and variance. A failure weighs more the longer the node has been
// observed: it adds count / 10 + 1 samples of 0. A copy keeps the estimate (with fresh
// counters and a fresh lock).
class NormalNodeStatistics : public NodeStatistics {
 public:
  NormalNodeStatistics() = default;
  NormalNodeStatistics(const NormalNodeStatistics& other);
  NormalNodeStatistics& operator=(const NormalNodeStatistics&) = delete;
  ~NormalNodeStatistics() override = default;

  void Record(const uint64_t& bytes, uint32_t ms, bool failed) override;
  // The mean, and the sample variance (1.0 while fewer than two samples exist).
  virtual NodeEstimate GetEstimate() const;
  // Number of samples taken.
  uint32_t GetCount() const;

 protected:
  mutable std::mutex mutex_;
  uint32_t count_ = 0;
  double mean_ = 0.0;
  double m2_ = 0.0;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_OPTIMIZER_NORMAL_NODE_STATISTICS_H_
