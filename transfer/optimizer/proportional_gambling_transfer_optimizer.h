#ifndef ZARN_TRANSFER_OPTIMIZER_PROPORTIONAL_GAMBLING_TRANSFER_OPTIMIZER_H_
#define ZARN_TRANSFER_OPTIMIZER_PROPORTIONAL_GAMBLING_TRANSFER_OPTIMIZER_H_

#include <boost/random/mersenne_twister.hpp>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "transfer/optimizer/node_statistics_table.h"
#include "transfer/optimizer/transfer_optimizer.h"
#include "transfer/transfer_config.h"

namespace zarn {

class ExponentialNormalNodeStatistics;
class NodeManifest;

// Picks nodes by simulated gambling over per-host speed estimates that live for the whole
// process: a node with fewer than two samples is probed first; otherwise every node draws
// speeds from a normal distribution of its estimate for a number of rounds, and the node
// is drawn with a probability proportional to how often it would have been fastest.
class ProportionalGamblingTransferOptimizer : public TransferOptimizer {
 public:
  using NodeList = std::vector<std::shared_ptr<NodeManifest>>;
  using StatisticsList = std::vector<std::shared_ptr<ExponentialNormalNodeStatistics>>;

  // Seeds the generator with the calendar time in seconds.
  explicit ProportionalGamblingTransferOptimizer(const TransferConfig& config);
  ProportionalGamblingTransferOptimizer(const TransferConfig& config, uint32_t seed);

  void GetNode(OptimizedRequestParams& params) override;
  void Record(const OptimizedRequestParams& params,
              const std::shared_ptr<const HttpTransferStatusData>& status) override;

  // The steps of GetNode; each expects the selection lock to be held.
  void GatherStatistics(const NodeList& candidates, StatisticsList& statistics);
  std::shared_ptr<NodeManifest> PickUntriedNode(const NodeList& candidates,
                                                const StatisticsList& statistics);
  void SimulateWins(const StatisticsList& statistics, std::vector<double>& weights);
  void SetSelectedNode(OptimizedRequestParams& params,
                       const std::shared_ptr<NodeManifest>& node) const;
  void SelectUntriedNode(OptimizedRequestParams& params,
                         const std::shared_ptr<NodeManifest>& node) const;

 private:
  const TransferConfig config_;
  std::mutex mutex_;  // the selection lock: guards generator_ and table_
  boost::random::mt19937 generator_;
  NodeStatisticsTable table_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_OPTIMIZER_PROPORTIONAL_GAMBLING_TRANSFER_OPTIMIZER_H_
