#include "transfer/optimizer/node_statistics.h"

#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <memory>
#include <thread>
#include <vector>

#include "transfer/manifest/standard_node_manifest.h"
#include "transfer/optimizer/exponential_normal_node_statistics.h"
#include "transfer/optimizer/node_statistics_table.h"
#include "transfer/optimizer/normal_node_statistics.h"

namespace zarn {
namespace {

boost::property_tree::ptree Written(const NodeStatistics& statistics) {
  boost::property_tree::ptree tree;
  statistics.Write(tree);
  return tree;
}

TEST(NodeStatisticsTest, CountsRequests) {
  NodeStatistics statistics;
  EXPECT_EQ(Written(statistics).get<std::string>("Average Request Speed"), "0");

  statistics.Record(10, 500, false);
  auto tree = Written(statistics);
  EXPECT_EQ(tree.get<std::string>("Requests"), "1");
  EXPECT_EQ(tree.get<std::string>("Errors"), "0");
  EXPECT_EQ(tree.get<std::string>("Bytes"), "10");
  EXPECT_EQ(tree.get<std::string>("Average Request Speed"), "20");

  // A failure's bytes count in "Bytes" but not in the speed; its time does.
  statistics.Record(5000, 500, true);
  // A request of 0 ms counts as 1 ms.
  statistics.Record(0, 0, false);
  tree = Written(statistics);
  EXPECT_EQ(tree.get<std::string>("Requests"), "3");
  EXPECT_EQ(tree.get<std::string>("Errors"), "1");
  EXPECT_EQ(tree.get<std::string>("Bytes"), "5010");
  EXPECT_EQ(tree.get<std::string>("Average Request Speed"), "9");  // 10 B / 1.001 s
  EXPECT_EQ(statistics.GetGoodBytes(), 10u);
  EXPECT_EQ(statistics.GetTotalMs(), 1001u);

  EXPECT_EQ(statistics.TakeAllBytesDelta(), 5010u);
  EXPECT_EQ(statistics.TakeTotalMsDelta(), 1001u);
  statistics.Record(7, 3, false);
  EXPECT_EQ(statistics.TakeAllBytesDelta(), 7u);
  EXPECT_EQ(statistics.TakeTotalMsDelta(), 3u);

  const NodeStatistics copy(statistics);  // a copy starts from zero
  EXPECT_EQ(copy.GetSuccesses() + copy.GetErrors() + copy.GetAllBytes(), 0u);
}

TEST(NodeStatisticsTest, ExponentialEstimate) {
  ExponentialNormalNodeStatistics statistics(0.3);
  NodeEstimate estimate = statistics.GetEstimate();
  EXPECT_EQ(estimate.mean, 0.0);
  EXPECT_EQ(estimate.variance, 0.0);

  statistics.Record(10, 500, false);  // a sample of 20 B/s
  estimate = statistics.GetEstimate();
  EXPECT_DOUBLE_EQ(estimate.mean, 6.0);
  EXPECT_DOUBLE_EQ(estimate.variance, 84.0);  // 0.3 * 20 * 14

  statistics.Record(100, 10, true);  // a failure is one sample of 0
  estimate = statistics.GetEstimate();
  EXPECT_DOUBLE_EQ(estimate.mean, 4.2);
  EXPECT_DOUBLE_EQ(estimate.variance, 0.7 * 84.0 + 0.3 * 6.0 * 4.2);
  EXPECT_EQ(statistics.GetCount(), 2u);
  EXPECT_EQ(Written(statistics).get<std::string>("Requests"), "2");

  // A copy keeps the estimate and the weight but not the counters.
  const ExponentialNormalNodeStatistics copy(statistics);
  EXPECT_DOUBLE_EQ(copy.GetEstimate().mean, 4.2);
  EXPECT_EQ(copy.GetWeight(), 0.3);
  EXPECT_EQ(copy.GetSuccesses(), 0u);
}

TEST(NodeStatisticsTest, NormalEstimateWeighsFailuresByHistory) {
  NormalNodeStatistics statistics;
  statistics.Record(1000, 1000, false);
  EXPECT_DOUBLE_EQ(statistics.GetEstimate().mean, 1000.0);
  EXPECT_DOUBLE_EQ(statistics.GetEstimate().variance, 1.0);  // fewer than two samples
  statistics.Record(2000, 1000, false);
  statistics.Record(3000, 1000, false);
  EXPECT_DOUBLE_EQ(statistics.GetEstimate().mean, 2000.0);
  EXPECT_DOUBLE_EQ(statistics.GetEstimate().variance, 1e6);

  NormalNodeStatistics observed;
  for (int i = 0; i < 25; ++i) observed.Record(100, 1000, false);
  observed.Record(100, 1000, true);  // 25 / 10 + 1 = 3 samples of 0
  EXPECT_EQ(observed.GetCount(), 28u);
  const double mean = 2500.0 / 28.0;
  EXPECT_DOUBLE_EQ(observed.GetEstimate().mean, mean);
  const double m2 = 25 * (100 - mean) * (100 - mean) + 3 * mean * mean;
  EXPECT_NEAR(observed.GetEstimate().variance, m2 / 27.0, 1e-9);
}

TEST(NodeStatisticsTest, ConcurrentRecordsAreAllCounted) {
  ExponentialNormalNodeStatistics statistics(0.3);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&statistics, t] {
      for (int i = 0; i < 1000; ++i) statistics.Record(10, 5, (i + t) % 4 == 0);
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(statistics.GetCount(), 4000u);
  EXPECT_EQ(statistics.GetErrors(), 1000u);
  EXPECT_EQ(statistics.GetSuccesses(), 3000u);
  EXPECT_EQ(statistics.GetAllBytes(), 40000u);
  EXPECT_EQ(statistics.GetGoodBytes(), 30000u);
  EXPECT_EQ(statistics.GetTotalMs(), 20000u);
}

TEST(NodeStatisticsTableTest, OneEntryPerHost) {
  auto node = [](const char* id, const char* host) {
    boost::property_tree::ptree tree;
    tree.put("NodeId", id);
    tree.put("Host", host);
    return std::make_shared<StandardNodeManifest>(tree);
  };
  const auto first = node("a", "h1:80");
  const auto second = node("b", "h1:80");  // another transfer's node on the same host
  const auto other = node("c", "h2");
  NodeStatisticsTable table(0.5);
  const auto shared = table.FindOrCreate(first);
  EXPECT_EQ(table.FindOrCreate(second), shared);
  EXPECT_NE(table.FindOrCreate(other), shared);
  EXPECT_EQ(table.GetSize(), 2u);
  EXPECT_EQ(shared->GetWeight(), 0.5);

  shared->Record(10, 10, false);
  first->GetStatistics().Record(10, 10, false);
  EXPECT_EQ(first->GetStatistics().GetSuccesses(), 1u);
  EXPECT_EQ(second->GetStatistics().GetSuccesses(), 0u);  // manifests keep their own
  EXPECT_EQ(table.FindOrCreate(second)->GetCount(), 1u);
}

}  // namespace
}  // namespace zarn
