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
  const struct {
    const char* name;
    std::uint32_t value;
    std::uint32_t expected;
  } integers[] = {
      {"manifestRetryLimit", config.manifestRetryLimit, 4},
      {"manifestConnectTimeout", config.manifestConnectTimeout, 5},
      {"manifestTimeout", config.manifestTimeout, 30},
      {"chunkRetryLimit", config.chunkRetryLimit, 4},
      {"chunkRequestRetryLimit", config.chunkRequestRetryLimit, 4},
      {"requestConnectTimeout", config.requestConnectTimeout, 3},
      {"probeConnectTimeout", config.probeConnectTimeout, 2},
      {"requestMinTimeout", config.requestMinTimeout, 10},
      {"probeMinTimeout", config.probeMinTimeout, 3},
      {"requestRate", config.requestRate, 7168},
      {"probeRate", config.probeRate, 32768},
      {"lowSpeedTimeBase", config.lowSpeedTimeBase, 5},
      {"lowSpeedTimeMax", config.lowSpeedTimeMax, 60},
      {"probeLowSpeedTime", config.probeLowSpeedTime, 3},
      {"rateWindow", config.rateWindow, 10},
      {"estimateInterval", config.estimateInterval, 500},
      {"proxyResolveTimeout", config.proxyResolveTimeout, 5000},
      {"proxyConnectTimeout", config.proxyConnectTimeout, 5000},
      {"proxySendTimeout", config.proxySendTimeout, 5000},
      {"proxyReceiveTimeout", config.proxyReceiveTimeout, 5000},
      {"analyticsConnectTimeout", config.analyticsConnectTimeout, 5},
      {"analyticsTimeout", config.analyticsTimeout, 10},
      {"analyticsRetryLimit", config.analyticsRetryLimit, 1},
      {"periodicEventInterval", config.periodicEventInterval, 300},
      {"optimizerRoundsPerNode", config.optimizerRoundsPerNode, 50},
      {"optimizerMaxRounds", config.optimizerMaxRounds, 10000},
  };
  for (const auto& field : integers) EXPECT_EQ(field.expected, field.value) << field.name;
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
