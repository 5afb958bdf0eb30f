#include "transfer/optimizer/normal_node_statistics.h"

namespace zarn {

NormalNodeStatistics::NormalNodeStatistics(const NormalNodeStatistics& other)
    : NodeStatistics(other) {
  std::lock_guard<std::mutex> lock(other.mutex_);
  count_ = other.count_;
  mean_ = other.mean_;
  m2_ = other.m2_;
}

void NormalNodeStatistics::Record(const uint64_t& bytes, uint32_t ms, bool failed) {
  std::lock_guard<std::mutex> lock(mutex_);
  NodeStatistics::Record(bytes, ms, failed);
  const double x = GetSpeedSample(bytes, ms, failed);
  const uint32_t repeats = failed ? count_ / 10 + 1 : 1;
  for (uint32_t i = 0; i < repeats; ++i) {
    ++count_;
    const double d = x - mean_;
    mean_ += d / count_;
    m2_ += (x - mean_) * d;
  }
}

NodeEstimate NormalNodeStatistics::GetEstimate() const {
  std::lock_guard<std::mutex> lock(mutex_);
  NodeEstimate estimate;
  estimate.mean = mean_;
  estimate.variance = count_ > 1 ? m2_ / (count_ - 1) : 1.0;
  return estimate;
}

uint32_t NormalNodeStatistics::GetCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return count_;
}

}  // namespace zarn
