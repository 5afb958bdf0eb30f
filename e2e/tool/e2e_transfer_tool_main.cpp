// Runs one transfer through the whole engine into a folder and prints its last status:
//
//   e2e_transfer_tool MANIFEST_HOST WORK_FOLDER PARTNER PACKAGE VERSION DEST TIMEOUT_S
//
// WORK_FOLDER holds the engine's transfers and logs folders (relative to the temporary
// folder). The last line printed is "end <state> <error> <retryable> <completed>
// <verified> <total>"; the exit code is 0 when the transfer completed, 1 otherwise, 2 for
// bad arguments. Tests kill it mid-transfer and run it again over the same folder.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "e2e/test_engine.h"
#include "transfer/transfer.h"
#include "transfer/transfer_status.h"

int main(int argc, char** argv) {
  if (argc != 8) {
    std::fprintf(stderr,
                 "usage: %s MANIFEST_HOST WORK_FOLDER PARTNER PACKAGE VERSION DEST "
                 "TIMEOUT_S\n",
                 argv[0]);
    return 2;
  }
  const std::chrono::seconds timeout(std::strtol(argv[7], nullptr, 10));
  zarn::TransferStatus end;
  {
    zarn::TestEngine engine(zarn::TestEngine::FastConfig(argv[1], argv[2]));
    std::shared_ptr<zarn::Transfer> transfer = engine.Create(argv[3], argv[4], argv[5]);
    if (!transfer) return 1;
    std::printf("started\n");
    std::fflush(stdout);
    end = zarn::TestEngine::RunToEnd(*transfer, argv[6], timeout);
  }
  std::printf("end %u %u %u %llu %llu %llu\n", zarn::ToNumber(end.state), zarn::ToNumber(end.error),
              unsigned(end.retryable), static_cast<unsigned long long>(end.completedBytes),
              static_cast<unsigned long long>(end.verifiedBytes),
              static_cast<unsigned long long>(end.totalBytes));
  return end.state == zarn::TransferState::Completed ? 0 : 1;
}
