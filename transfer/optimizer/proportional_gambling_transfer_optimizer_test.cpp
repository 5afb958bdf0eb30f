#include "transfer/optimizer/proportional_gambling_transfer_optimizer.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "http/http_request_status.h"
#include "transfer/http_transfer_status_data.h"
#include "transfer/manifest/node_list_manifest.h"
#include "transfer/optimizer/exponential_normal_node_statistics.h"
#include "transfer/optimizer/optimized_request_params.h"
#include "transfer/testing/transfer_tree_fixture.h"
#include "transfer/works/transfer_shared_file_data.h"
#include "transfer/works/transfer_shared_map_data.h"

namespace zarn {
namespace {

using Statistics = ProportionalGamblingTransferOptimizer::StatisticsList;

TransferConfig Config() {
  TransferConfig config(1);
  config.engineThreads = 16;
  return config;
}

OptimizedRequestParams Params(const std::vector<std::string>& hosts) {
  return OptimizedRequestParams(
      tree_test::MakeNodeList(hosts), TransferParams(),
      TransferSharedMapData::Create(TransferSharedFileData::Create("f", 1048576), 0, 1048575, 0,
                                    nullptr));
}

// An estimate of exactly (mean, 0): a weight of 1 takes one sample as it is.
std::shared_ptr<ExponentialNormalNodeStatistics> Exactly(uint64_t bytesPerSecond) {
  auto statistics = std::make_shared<ExponentialNormalNodeStatistics>(1.0);
  if (bytesPerSecond > 0) statistics->Record(bytesPerSecond, 1000, false);
  return statistics;
}

void RecordAttempt(ProportionalGamblingTransferOptimizer& optimizer, OptimizedRequestParams& params,
                   HttpRequestResult result, uint64_t bytes, uint32_t ms) {
  const HttpRequestStatus status(result, bytes);
  optimizer.Record(params, HttpTransferStatusData::Create("h", status, ms));
}

TEST(ProportionalGamblingTransferOptimizerTest, EmptyCandidatesAreRefused) {
  ProportionalGamblingTransferOptimizer optimizer(Config(), 1);
  OptimizedRequestParams params = Params({"a"});
  params.candidates.clear();
  try {
    optimizer.GetNode(params);
    FAIL() << "no exception";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "TransferOptimizer::GetNode received empty nodelist");
  }
}

TEST(ProportionalGamblingTransferOptimizerTest, SingleCandidateIsPickedWithRequestLimits) {
  ProportionalGamblingTransferOptimizer optimizer(Config(), 1);
  OptimizedRequestParams params = Params({"a", "b"});
  params.candidates.resize(1);
  params.FreeRetry = 1;
  optimizer.GetNode(params);
  EXPECT_EQ(params.SelectedNode, params.candidates.front());
  EXPECT_EQ(params.FreeRetry, 0);
  EXPECT_EQ(params.connectTimeout, 3u);
  EXPECT_EQ(params.totalTimeout, 2340u);
  EXPECT_EQ(params.lowSpeedLimit, 448);
  EXPECT_EQ(params.lowSpeedTime, 5);
}

TEST(ProportionalGamblingTransferOptimizerTest, NodesWithFewerThanTwoSamplesAreProbedFirst) {
  ProportionalGamblingTransferOptimizer optimizer(Config(), 7);
  OptimizedRequestParams params = Params({"fast", "new"});
  const auto nodes = params.candidates;
  params.SelectedNode = nodes[0];
  for (int i = 0; i < 3; ++i) {
    RecordAttempt(optimizer, params, HttpRequestResult::Succeeded, 1000000, 10);
  }
  params.SelectedNode = nodes[1];
  RecordAttempt(optimizer, params, HttpRequestResult::TimedOut, 0, 3000);  // one sample
  for (int i = 0; i < 50; ++i) {
    optimizer.GetNode(params);
    ASSERT_EQ(params.SelectedNode, nodes[1]);
    EXPECT_EQ(params.FreeRetry, 1);
    EXPECT_EQ(params.connectTimeout, 2u);
    EXPECT_EQ(params.totalTimeout, 512u);
    EXPECT_EQ(params.lowSpeedLimit, 2048);
    EXPECT_EQ(params.lowSpeedTime, 3);
  }
}

TEST(ProportionalGamblingTransferOptimizerTest, DegenerateEstimatesGiveExactWeights) {
  ProportionalGamblingTransferOptimizer optimizer(Config(), 1);
  std::vector<double> weights;
  // A node that is always faster wins all 100 rounds of two nodes.
  optimizer.SimulateWins({Exactly(1000000), Exactly(10)}, weights);
  ASSERT_EQ(weights.size(), 2u);
  EXPECT_DOUBLE_EQ(weights[0], 101.0 / 101.0);
  EXPECT_DOUBLE_EQ(weights[1], 1.0 / 101.0);
  // Nodes that only failed (mean 0): the first wins every round.
  optimizer.SimulateWins({Exactly(0), Exactly(0), Exactly(0)}, weights);
  EXPECT_DOUBLE_EQ(weights[0], 1.0);
  EXPECT_DOUBLE_EQ(weights[1], 1.0 / 151.0);
  EXPECT_DOUBLE_EQ(weights[2], 1.0 / 151.0);
}

TEST(ProportionalGamblingTransferOptimizerTest, RoundsGrowPerNodeUpToTheMaximum) {
  ProportionalGamblingTransferOptimizer optimizer(Config(), 1);
  const struct {
    std::size_t nodes;
    double rounds;
  } cases[] = {{2, 100}, {14, 700}, {15, 666}, {10001, 0}};
  for (const auto& c : cases) {
    Statistics statistics;
    for (std::size_t i = 0; i < c.nodes; ++i) statistics.push_back(Exactly(0));
    std::vector<double> weights;
    optimizer.SimulateWins(statistics, weights);
    // Every round goes to the first node, so the others keep their initial win.
    EXPECT_DOUBLE_EQ(weights[1], 1.0 / (c.rounds + 1.0)) << c.nodes << " nodes";
  }
}

TEST(ProportionalGamblingTransferOptimizerTest, PicksFollowTheChanceOfBeingFastest) {
  ProportionalGamblingTransferOptimizer optimizer(Config(), 20240101);
  OptimizedRequestParams params = Params({"fast", "slow"});
  const auto nodes = params.candidates;
  // With a smoothing weight of 0.3 these samples leave the estimates (552000, 545606^2)
  // and (348000, 348276^2): the fast node's draw is the largest positive one in 63.9% of
  // the rounds, so it is picked with probability (1 + 100 * 0.639) / 102 = 0.636.
  const std::pair<uint64_t, uint32_t> samples[][2] = {
      {{1200000, 1000}, {800000, 1000}},
      {{1000000, 1000}, {600000, 1000}},
  };
  for (const auto& round : samples) {
    params.SelectedNode = nodes[0];
    RecordAttempt(optimizer, params, HttpRequestResult::Succeeded, round[0].first, round[0].second);
    params.SelectedNode = nodes[1];
    RecordAttempt(optimizer, params, HttpRequestResult::Succeeded, round[1].first, round[1].second);
  }
  int fast = 0;
  const int picks = 20000;
  for (int i = 0; i < picks; ++i) {
    optimizer.GetNode(params);
    EXPECT_EQ(params.FreeRetry, 0);
    if (params.SelectedNode == nodes[0]) ++fast;
  }
  const double share = static_cast<double>(fast) / picks;
  EXPECT_NEAR(share, 0.636, 0.02);
}

TEST(ProportionalGamblingTransferOptimizerTest, HostsShareOneEstimateAcrossNodeLists) {
  ProportionalGamblingTransferOptimizer optimizer(Config(), 3);
  OptimizedRequestParams first = Params({"shared", "other"});
  OptimizedRequestParams second = Params({"shared", "other"});  // another transfer's nodes
  first.SelectedNode = first.candidates[0];
  RecordAttempt(optimizer, first, HttpRequestResult::Succeeded, 100, 1);
  second.SelectedNode = second.candidates[0];
  RecordAttempt(optimizer, second, HttpRequestResult::Succeeded, 100, 1);
  // Two samples for the shared host: it is no longer probed, while "other" still is.
  for (int i = 0; i < 20; ++i) {
    optimizer.GetNode(second);
    EXPECT_EQ(second.SelectedNode, second.candidates[1]);
  }
}

}  // namespace
}  // namespace zarn
