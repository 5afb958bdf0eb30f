#ifndef ZARN_UPDATER_TRANSFER_SERVICE_H_
#define ZARN_UPDATER_TRANSFER_SERVICE_H_

#include <memory>
#include <string>

#include "transfer/transfer_status.h"

namespace zarn {

class TransferServiceApi;

// The application's handle on the transfer engine: owns its implementation and forwards
// to it. Strings are UTF-8.
class TransferService {
 public:
  explicit TransferService(std::unique_ptr<TransferServiceApi> impl);
  ~TransferService();

  TransferService(const TransferService&) = delete;
  TransferService& operator=(const TransferService&) = delete;

  TransferStatus CreateTransfer(const std::string& partnerId, const std::string& packageId,
                                const std::string& versionId);
  // With the version "?".
  TransferStatus CreateTransfer(const std::string& partnerId, const std::string& packageId);
  TransferStatus StartTransfer(const std::string& transferId, const std::string& folder);
  TransferStatus GetStatus(const std::string& transferId);

 private:
  std::unique_ptr<TransferServiceApi> px_;
};

}  // namespace zarn

#endif  // ZARN_UPDATER_TRANSFER_SERVICE_H_
