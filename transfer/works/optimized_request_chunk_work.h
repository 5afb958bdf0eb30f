#ifndef ZARN_TRANSFER_WORKS_OPTIMIZED_REQUEST_CHUNK_WORK_H_
#define ZARN_TRANSFER_WORKS_OPTIMIZED_REQUEST_CHUNK_WORK_H_

#include <cstdint>
#include <memory>
#include <mutex>

#include "transfer/optimizer/optimized_request_params.h"
#include "transfer/works/transfer_work.h"
#include "work/limited_retry_simple_work.h"

namespace zarn {

class HttpRequest;
class HttpSession;
class TransferSharedMapData;

// Fetches a chunk with one ranged GET from a node the optimizer picks, writing the body
// straight into the chunk's view. Each attempt is measured and recorded in the node's own
// statistics and in the optimizer; a failing node leaves the chunk's candidates and the
// next attempt goes elsewhere at once, within the retry limit (probes and time-outs that
// still received bytes are free retries). The candidates are the chunk's own copy of the
// node list: it is made when an attempt needs it and let go when the work ends, so that a
// package's many waiting or finished chunks hold none.
class OptimizedRequestChunkWork : public TransferWork, public LimitedRetrySimpleWork {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  static std::shared_ptr<OptimizedRequestChunkWork> Create(
      std::shared_ptr<TransferWorkInterface> workInterface, std::shared_ptr<HttpSession> session,
      std::shared_ptr<TransferSharedMapData> map, uint32_t maxRetries);
  OptimizedRequestChunkWork(Token, std::shared_ptr<TransferWorkInterface> workInterface,
                            std::shared_ptr<HttpSession> session,
                            std::shared_ptr<TransferSharedMapData> map, uint32_t maxRetries);

  void Describe(boost::property_tree::ptree& tree) const override;
  bool ShouldRetry() override;
  void Reset() override;
  WorkStatus ExecuteTask() override;
  void OnCancel() override;

  void SetCurrentRequest(std::shared_ptr<HttpRequest> request);
  std::shared_ptr<HttpRequest> GetCurrentRequest();
  void ClearCurrentRequest();

  // The attempt's time as recorded: the measured time, or the request's limit when the
  // measurement passed it by whole seconds.
  static uint32_t ClampRequestTime(uint64_t elapsedMs, uint32_t connectTimeout, uint32_t timeout);

  const OptimizedRequestParams& GetParams() const { return params_; }

 private:
  WorkStatus ExecuteAttempt();
  WorkStatus PerformRequest();
  // The params of a work not yet run in this queueing: no node list, no candidates.
  OptimizedRequestParams IdleParams() const;
  // Before the first attempt of a queueing: every node of the list, less the mismatched.
  void PrepareCandidates();
  void ReleaseCandidates();
  // Leaves out the nodes whose bodies of this chunk failed the checksum, unless no other
  // node is left.
  void AvoidMismatchedNodes();

  const std::shared_ptr<HttpSession> session_;
  const std::shared_ptr<TransferSharedMapData> map_;
  OptimizedRequestParams params_;
  std::mutex requestMutex_;
  std::shared_ptr<HttpRequest> currentRequest_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_OPTIMIZED_REQUEST_CHUNK_WORK_H_
