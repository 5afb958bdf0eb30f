#ifndef ZARN_TRANSFER_TRANSFER_H_
#define ZARN_TRANSFER_TRANSFER_H_

#include <memory>
#include <string>

namespace zarn {

struct TransferStatus;
class TransferWorkInterface;

// The engine's handle on one package transfer. Every operation takes the transfer's own lock
// and answers with a snapshot of its status; a refused operation changes nothing and returns
// the current snapshot. No operation throws.
class Transfer {
 public:
  virtual ~Transfer() = default;

  // Starts the work tree: the package manifest and the node list are fetched.
  virtual TransferStatus Initialize() = 0;
  // Starts the file transfers of an initialized transfer into `folder` (UTF-8).
  virtual TransferStatus Start(const std::string& folder) = 0;
  // True when `folder` has room for the package (bytes its files already occupy count).
  virtual bool HasEnoughDiskSpace(const std::string& folder) = 0;
  virtual TransferStatus GetStatus() = 0;
  virtual TransferStatus Cancel(bool deleteFiles) = 0;
  virtual TransferStatus Pause() = 0;
  virtual TransferStatus Resume() = 0;
  virtual TransferStatus Retry() = 0;
  virtual TransferStatus Suspend() = 0;
  virtual TransferStatus Restore() = 0;
  // The work interface that the works of the current run use.
  virtual std::shared_ptr<TransferWorkInterface> GetData() = 0;
  // The nodes of the node list with their statistics, as compact JSON ("[]" without nodes).
  virtual std::string DescribeNodes() = 0;

 protected:
  Transfer() = default;
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_TRANSFER_H_
