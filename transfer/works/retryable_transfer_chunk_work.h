#ifndef ZARN_TRANSFER_WORKS_RETRYABLE_TRANSFER_CHUNK_WORK_H_
#define ZARN_TRANSFER_WORKS_RETRYABLE_TRANSFER_CHUNK_WORK_H_

#include <cstdint>
#include <memory>

#include "transfer/works/transfer_work.h"
#include "work/limited_retry_sequential_work.h"

namespace zarn {

class HttpSession;
class TransferSharedMapData;

// Downloads a chunk and verifies it, downloading it again on a checksum mismatch while
// its retries last. The request's own limit is max(nodes - 1, the configured minimum), so
// that every node can be tried once.
class RetryableTransferChunkWork : public TransferWork, public LimitedRetrySequentialWork {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  static std::shared_ptr<RetryableTransferChunkWork> Create(
      std::shared_ptr<TransferWorkInterface> workInterface, std::shared_ptr<HttpSession> session,
      std::shared_ptr<TransferSharedMapData> map, uint32_t maxRetries);
  RetryableTransferChunkWork(Token, std::shared_ptr<TransferWorkInterface> workInterface,
                             std::shared_ptr<HttpSession> session,
                             std::shared_ptr<TransferSharedMapData> map, uint32_t maxRetries);

  void Describe(boost::property_tree::ptree& tree) const override;

  // The request work's limit: every other node once, and never below minimum.
  static uint32_t RequestLimitFor(uint32_t nodes, uint32_t minimum);

 private:
  const std::shared_ptr<TransferSharedMapData> map_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_RETRYABLE_TRANSFER_CHUNK_WORK_H_
