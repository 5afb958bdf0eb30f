#ifndef ZARN_UPDATER_TRANSFER_SERVICE_API_H_
#define ZARN_UPDATER_TRANSFER_SERVICE_API_H_

#include <string>

#include "transfer/transfer_status.h"

namespace zarn {

// The three operations the application has on transfers. The composition root implements
// them over the engine; tests implement them with scripted statuses.
class TransferServiceApi {
 public:
  virtual ~TransferServiceApi() = default;
  virtual TransferStatus CreateTransfer(const std::string& partnerId, const std::string& packageId,
                                        const std::string& versionId) = 0;
  virtual TransferStatus StartTransfer(const std::string& transferId,
                                       const std::string& folder) = 0;
  virtual TransferStatus GetStatus(const std::string& transferId) = 0;
};

}  // namespace zarn

#endif  // ZARN_UPDATER_TRANSFER_SERVICE_API_H_
