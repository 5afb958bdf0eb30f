#include "transfer/optimizer/exponential_normal_node_statistics.h"

namespace zarn {

ExponentialNormalNodeStatistics::ExponentialNormalNodeStatistics(double weight) : weight_(weight) {}

void ExponentialNormalNodeStatistics::Record(const uint64_t& bytes, uint32_t ms, bool failed) {
  std::lock_guard<std::mutex> lock(mutex_);
  NodeStatistics::Record(bytes, ms, failed);
  const double x = GetSpeedSample(bytes, ms, failed);
  ++count_;
  const double mean = (1.0 - weight_) * mean_ + weight_ * x;
  const double variance = (1.0 - weight_) * m2_ + weight_ * (x - mean_) * (x - mean);
  mean_ = mean;
  m2_ = variance;
}

NodeEstimate ExponentialNormalNodeStatistics::GetEstimate() const {
  std::lock_guard<std::mutex> lock(mutex_);
  NodeEstimate estimate;
  estimate.mean = mean_;
  estimate.variance = m2_;
  return estimate;
}

}  // namespace zarn
