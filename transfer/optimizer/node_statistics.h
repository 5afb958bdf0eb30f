#ifndef ZARN_TRANSFER_OPTIMIZER_NODE_STATISTICS_H_
#define ZARN_TRANSFER_OPTIMIZER_NODE_STATISTICS_H_

#include <cstdint>

#include "transfer/delta_counter.h"
#include "transfer/manifest/output_manifest.h"

namespace zarn {

// Counters of the chunk requests made to one node. Record is lock-free; reporters take
// the growth of a counter with its TakeDelta. A copy starts with every counter at 0.
class NodeStatistics : public OutputManifest {
 public:
  NodeStatistics() = default;
  NodeStatistics(const NodeStatistics&) : NodeStatistics() {}
  NodeStatistics& operator=(const NodeStatistics&) = delete;
  ~NodeStatistics() override = default;

  // Writes "Requests", "Errors", "Bytes" and "Average Request Speed" (bytes per second of
  // the requests that did not fail, over the time of all of them).
  void Write(boost::property_tree::ptree& tree) const override;

  // Counts one finished request of bytes body bytes that took ms milliseconds (counted as
  // at least 1).
  virtual void Record(const uint64_t& bytes, uint32_t ms, bool failed);

  uint32_t GetSuccesses() const { return successes_.GetValue(); }
  uint32_t GetErrors() const { return errors_.GetValue(); }
  uint64_t GetGoodBytes() const { return goodBytes_.GetValue(); }
  uint64_t GetAllBytes() const { return allBytes_.GetValue(); }
  uint32_t GetTotalMs() const { return totalMs_.GetValue(); }

  // The growth of the body bytes and of the request time since the previous report; only
  // these two report marks ever move.
  uint64_t TakeAllBytesDelta() { return allBytes_.TakeDelta(); }
  uint32_t TakeTotalMsDelta() { return totalMs_.TakeDelta(); }

 private:
  DeltaCounter32 successes_;
  DeltaCounter32 errors_;
  DeltaCounter goodBytes_;
  DeltaCounter allBytes_;
  DeltaCounter32 totalMs_;
};

// A node's estimated speed in bytes per second: the mean and its variance.
struct NodeEstimate {
  double mean = 0.0;
  double variance = 0.0;
};

// The speed sample of one recorded request: bytes per second, 0 for a failed request.
double GetSpeedSample(const uint64_t& bytes, uint32_t ms, bool failed);

}  // namespace zarn

#endif  // ZARN_TRANSFER_OPTIMIZER_NODE_STATISTICS_H_
