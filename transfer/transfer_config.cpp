#include "transfer/transfer_config.h"

#include <algorithm>
#include <thread>

namespace zarn {

TransferConfig::TransferConfig() : TransferConfig(std::thread::hardware_concurrency()) {}

TransferConfig::TransferConfig(unsigned int processors)
    : manifestHost(ZARN_MANIFEST_HOST),
      engineThreads(std::max(processors, 1u) + 2),
      workflowMaxRunning(std::max(processors, 1u) + 2) {}

}  // namespace zarn
