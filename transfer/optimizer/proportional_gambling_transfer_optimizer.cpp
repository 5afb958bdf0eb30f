#include "transfer/optimizer/proportional_gambling_transfer_optimizer.h"

#include <boost/random/discrete_distribution.hpp>
#include <boost/random/normal_distribution.hpp>
#include <boost/random/uniform_int_distribution.hpp>
#include <cmath>
#include <ctime>
#include <stdexcept>

#include "http/http_request_status.h"
#include "transfer/http_transfer_status_data.h"
#include "transfer/manifest/node_manifest.h"
#include "transfer/optimizer/chunk_timeouts.h"
#include "transfer/optimizer/exponential_normal_node_statistics.h"
#include "transfer/optimizer/optimized_request_params.h"

namespace zarn {
namespace {

bool IsFailed(HttpRequestResult result) {
  return result != HttpRequestResult::Idle && result != HttpRequestResult::Running &&
         result != HttpRequestResult::Succeeded && result != HttpRequestResult::Cancelled;
}

void ApplyTimeouts(const ChunkTimeouts& t, OptimizedRequestParams& params) {
  params.connectTimeout = t.connectTimeout;
  params.totalTimeout = t.totalTimeout;
  params.lowSpeedLimit = t.lowSpeedLimit;
  params.lowSpeedTime = t.lowSpeedTime;
}

}  // namespace

ProportionalGamblingTransferOptimizer::ProportionalGamblingTransferOptimizer(
    const TransferConfig& config)
    : ProportionalGamblingTransferOptimizer(config, static_cast<uint32_t>(std::time(nullptr))) {}

ProportionalGamblingTransferOptimizer::ProportionalGamblingTransferOptimizer(
    const TransferConfig& config, uint32_t seed)
    : config_(config), generator_(seed), table_(config.optimizerSmoothing) {}

void ProportionalGamblingTransferOptimizer::GetNode(OptimizedRequestParams& params) {
  std::lock_guard<std::mutex> lock(mutex_);
  const NodeList& candidates = params.candidates;
  if (candidates.empty()) {
    throw std::invalid_argument("TransferOptimizer::GetNode received empty nodelist");
  }
  if (candidates.size() == 1) {
    SetSelectedNode(params, candidates.front());
    return;
  }
  StatisticsList statistics;
  GatherStatistics(candidates, statistics);
  if (std::shared_ptr<NodeManifest> untried = PickUntriedNode(candidates, statistics)) {
    SelectUntriedNode(params, untried);
    return;
  }
  std::vector<double> weights;
  SimulateWins(statistics, weights);
  boost::random::discrete_distribution<std::size_t, double> draw(weights.begin(), weights.end());
  SetSelectedNode(params, candidates[draw(generator_)]);
}

void ProportionalGamblingTransferOptimizer::Record(
    const OptimizedRequestParams& params,
    const std::shared_ptr<const HttpTransferStatusData>& status) {
  if (!params.SelectedNode || !status) return;
  std::shared_ptr<ExponentialNormalNodeStatistics> statistics;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    statistics = table_.FindOrCreate(params.SelectedNode);
  }
  const HttpRequestStatus request = status->GetRequestStatus();
  statistics->Record(request.bytes, status->GetRequestTimeMs(), IsFailed(request.result));
}

void ProportionalGamblingTransferOptimizer::GatherStatistics(const NodeList& candidates,
                                                             StatisticsList& statistics) {
  statistics.clear();
  for (const auto& candidate : candidates) statistics.push_back(table_.FindOrCreate(candidate));
}

std::shared_ptr<NodeManifest> ProportionalGamblingTransferOptimizer::PickUntriedNode(
    const NodeList& candidates, const StatisticsList& statistics) {
  NodeList untried;
  for (std::size_t i = 0; i < candidates.size() && i < statistics.size(); ++i) {
    if (statistics[i]->GetCount() < 2) untried.push_back(candidates[i]);
  }
  if (untried.empty()) return nullptr;
  boost::random::uniform_int_distribution<std::size_t> draw(0, untried.size() - 1);
  return untried[draw(generator_)];
}

void ProportionalGamblingTransferOptimizer::SimulateWins(const StatisticsList& statistics,
                                                         std::vector<double>& weights) {
  const uint32_t n = static_cast<uint32_t>(statistics.size());
  weights.clear();
  if (n == 0) return;
  const uint32_t rounds =
      std::min(config_.optimizerRoundsPerNode * n, config_.optimizerMaxRounds / n);
  std::vector<boost::random::normal_distribution<double>> speeds;
  speeds.reserve(n);
  for (const auto& node : statistics) {
    const NodeEstimate estimate = node->GetEstimate();
    speeds.emplace_back(estimate.mean, std::sqrt(std::max(estimate.variance, 0.0)));
  }
  std::vector<uint32_t> wins(n, 1);
  for (uint32_t round = 0; round < rounds; ++round) {
    double best = 0.0;
    uint32_t winner = 0;
    for (uint32_t i = 0; i < n; ++i) {
      const double value = speeds[i](generator_);
      if (value > best) {
        best = value;
        winner = i;
      }
    }
    ++wins[winner];
  }
  for (uint32_t i = 0; i < n; ++i) weights.push_back(wins[i] / (rounds + 1.0));
}

void ProportionalGamblingTransferOptimizer::SetSelectedNode(
    OptimizedRequestParams& params, const std::shared_ptr<NodeManifest>& node) const {
  params.SelectedNode = node;
  params.FreeRetry = 0;
  ApplyTimeouts(
      ComputeRequestTimeouts(config_, params.ChunkLength(), params.GetMinNodeErrorCount()), params);
}

void ProportionalGamblingTransferOptimizer::SelectUntriedNode(
    OptimizedRequestParams& params, const std::shared_ptr<NodeManifest>& node) const {
  params.SelectedNode = node;
  params.FreeRetry = 1;
  ApplyTimeouts(ComputeProbeTimeouts(config_, params.ChunkLength()), params);
}

}  // namespace zarn
