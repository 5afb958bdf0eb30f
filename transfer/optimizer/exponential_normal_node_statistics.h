#ifndef ZARN_TRANSFER_OPTIMIZER_EXPONENTIAL_NORMAL_NODE_STATISTICS_H_
#define ZARN_TRANSFER_OPTIMIZER_EXPONENTIAL_NORMAL_NODE_STATISTICS_H_

#include "transfer/optimizer/normal_node_statistics.h"

namespace zarn {

// Node statistics whose speed estimate is an exponentially weighted mean and variance
// with smoothing weight w: each request (a failure as one sample of 0) moves the mean by
// w of its distance. The variance is kept itself, not as a sum of squares.
class ExponentialNormalNodeStatistics : public NormalNodeStatistics {
 public:
  explicit ExponentialNormalNodeStatistics(double weight);
  ExponentialNormalNodeStatistics(const ExponentialNormalNodeStatistics& other) = default;
  ~ExponentialNormalNodeStatistics() override = default;

  void Record(const uint64_t& bytes, uint32_t ms, bool failed) override;
  // The mean and variance as stored (0 and 0 before the first sample).
  NodeEstimate GetEstimate() const override;

  double GetWeight() const { return weight_; }

 private:
  double weight_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_OPTIMIZER_EXPONENTIAL_NORMAL_NODE_STATISTICS_H_
