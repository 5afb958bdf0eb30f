#ifndef ZARN_TRANSFER_OPTIMIZER_NODE_STATISTICS_TABLE_H_
#define ZARN_TRANSFER_OPTIMIZER_NODE_STATISTICS_TABLE_H_

#include <memory>
#include <string>
#include <unordered_map>

#include "transfer/optimizer/exponential_normal_node_statistics.h"

namespace zarn {

class NodeManifest;

// The optimizer's speed estimates, one per node host for the life of the process: nodes of
// every transfer with the same host share one entry. Entries are never removed. Not
// locked: the optimizer's lock guards every call.
class NodeStatisticsTable {
 public:
  // smoothing is the weight of each new sample in the estimates.
  explicit NodeStatisticsTable(double smoothing);
  NodeStatisticsTable(const NodeStatisticsTable&) = delete;
  NodeStatisticsTable& operator=(const NodeStatisticsTable&) = delete;

  // The entry of the node's host, made from the prototype when absent.
  std::shared_ptr<ExponentialNormalNodeStatistics> FindOrCreate(
      const std::shared_ptr<NodeManifest>& node);

  std::size_t GetSize() const { return table_.size(); }

 private:
  const ExponentialNormalNodeStatistics prototype_;
  std::unordered_map<std::string, std::shared_ptr<ExponentialNormalNodeStatistics>> table_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_OPTIMIZER_NODE_STATISTICS_TABLE_H_
