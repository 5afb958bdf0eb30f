#include "transfer/transfer_config.h"

#include <gtest/gtest.h>

namespace zarn {
namespace {

TEST(TransferConfigTest, ThreadCountsFollowTheProcessorCount) {
  struct Case {
    unsigned int processors;
    std::uint32_t threads;
  };
  for (const Case& c : {Case{0, 3}, Case{1, 3}, Case{4, 6}, Case{16, 18}}) {
    const TransferConfig config(c.processors);
    EXPECT_EQ(c.threads, config.engineThreads) << c.processors;
    EXPECT_EQ(c.threads, config.workflowMaxRunning) << c.processors;
  }
}

TEST(TransferConfigTest, DefaultsOfTheBuild) {
  const TransferConfig config;
  EXPECT_EQ(ZARN_MANIFEST_HOST, config.manifestHost);
  EXPECT_FALSE(config.manifestHost.empty());
  EXPECT_EQ("Corvane Technologies/Skelmir/transfers", config.transfersFolder);
  EXPECT_EQ("Corvane Technologies/Skelmir/logs", config.logsFolder);
  EXPECT_EQ(-9, config.logMask);
  EXPECT_EQ(30u, config.manifestTimeout);
  EXPECT_EQ(7168u, config.requestRate);
  EXPECT_EQ(32768u, config.probeRate);
  EXPECT_EQ(500u, config.estimateInterval);
  EXPECT_EQ(5000u, config.proxyReceiveTimeout);
  EXPECT_EQ(10000u, config.optimizerMaxRounds);
  EXPECT_DOUBLE_EQ(0.3, config.optimizerSmoothing);
  EXPECT_GE(config.engineThreads, 3u);
  EXPECT_EQ(config.engineThreads, config.workflowMaxRunning);
}

TEST(TransferConfigTest, CopyKeepsOverridesAndIsIndependent) {
  TransferConfig original(0);
  original.manifestHost = "override.example";
  original.logMask = 255;
  original.engineThreads *= 2;
  const TransferConfig copy = original;
  original.manifestHost = "later";
  original.engineThreads = 1;
  EXPECT_EQ("override.example", copy.manifestHost);
  EXPECT_EQ(255, copy.logMask);
  EXPECT_EQ(6u, copy.engineThreads);
  EXPECT_EQ(3u, copy.workflowMaxRunning);
}

}  // namespace
}  // namespace zarn
