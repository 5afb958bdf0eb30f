#ifndef ZARN_TRANSFER_TRANSFER_CONFIG_H_
#define ZARN_TRANSFER_TRANSFER_CONFIG_H_

#include <cstdint>
#include <string>

namespace zarn {

// The settings record of the transfer engine, built once from the defaults below. The
// two folders are relative paths, resolved by their users against the system temporary
// folder. Copies are never changed after they are made, so the record needs no lock.
struct TransferConfig {
  // Asks the machine's processor count once, for engineThreads and workflowMaxRunning.
  TransferConfig();
  // The same with a given processor count; 0 counts as 1.
  explicit TransferConfig(unsigned int processors);

  std::string manifestHost;  // the build's MANIFEST_HOST unless overridden at start-up
  std::string transfersFolder = "Corvane Technologies/Skelmir/transfers";
  std::string logsFolder = "Corvane Technologies/Skelmir/logs";
  std::int32_t logMask = -9;                  // every EventKind except WorkComplete (8)
  std::uint32_t manifestRetryLimit = 4;       // retries
  std::uint32_t manifestConnectTimeout = 5;   // seconds
  std::uint32_t manifestTimeout = 30;         // seconds
  std::uint32_t chunkRetryLimit = 4;          // retries of download-and-verify
  std::uint32_t chunkRequestRetryLimit = 4;   // lower bound of a chunk's request retries
  std::uint32_t requestConnectTimeout = 3;    // seconds, to a picked node
  std::uint32_t probeConnectTimeout = 2;      // seconds, to a node not yet tried
  std::uint32_t requestMinTimeout = 10;       // seconds
  std::uint32_t probeMinTimeout = 3;          // seconds
  std::uint32_t requestRate = 7168;           // bytes per second per engine thread
  std::uint32_t probeRate = 32768;            // bytes per second per engine thread
  std::uint32_t lowSpeedTimeBase = 5;         // seconds, doubled per error
  std::uint32_t lowSpeedTimeMax = 60;         // seconds
  std::uint32_t probeLowSpeedTime = 3;        // seconds
  std::uint32_t rateWindow = 10;              // seconds
  std::uint32_t estimateInterval = 500;       // milliseconds
  std::uint32_t engineThreads;                // max(processors, 1) + 2; doubled at start-up
  std::uint32_t workflowMaxRunning;           // max(processors, 1) + 2; never doubled
  std::uint32_t proxyResolveTimeout = 5000;   // milliseconds
  std::uint32_t proxyConnectTimeout = 5000;   // milliseconds
  std::uint32_t proxySendTimeout = 5000;      // milliseconds
  std::uint32_t proxyReceiveTimeout = 5000;   // milliseconds
  std::uint32_t analyticsConnectTimeout = 5;  // seconds
  std::uint32_t analyticsTimeout = 10;        // seconds
  std::uint32_t analyticsRetryLimit = 1;      // retries
  std::uint32_t periodicEventInterval = 300;  // seconds
  std::uint32_t optimizerRoundsPerNode = 50;  // rounds
  std::uint32_t optimizerMaxRounds = 10000;   // rounds
  double optimizerSmoothing = 0.3;            // weight of a new sample
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_TRANSFER_CONFIG_H_
