#ifndef ZARN_TRANSFER_OPTIMIZER_TRANSFER_OPTIMIZER_H_
#define ZARN_TRANSFER_OPTIMIZER_TRANSFER_OPTIMIZER_H_

#include <memory>

namespace zarn {

class HttpTransferStatusData;
class OptimizedRequestParams;

// Chooses the content node of every chunk request and learns from each outcome. One
// optimizer serves every transfer of the process; both operations may be called from any
// engine thread.
class TransferOptimizer {
 public:
  virtual ~TransferOptimizer() = default;

  // Sets params' selected node, its four limits and its free-retry flag. Throws
  // std::invalid_argument when params has no candidates.
  virtual void GetNode(OptimizedRequestParams& params) = 0;

  // Adds the outcome of an attempt on params' selected node to that node's estimate.
  virtual void Record(const OptimizedRequestParams& params,
                      const std::shared_ptr<const HttpTransferStatusData>& status) = 0;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_OPTIMIZER_TRANSFER_OPTIMIZER_H_
