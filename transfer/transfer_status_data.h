#ifndef ZARN_TRANSFER_TRANSFER_STATUS_DATA_H_
#define ZARN_TRANSFER_TRANSFER_STATUS_DATA_H_

#include "transfer/transfer_status.h"
#include "work/work_status_data.h"

namespace zarn {

// Every payload that can end a transfer says which TransferError its failure is.
class TransferStatusData : public virtual WorkStatusData {
 public:
  virtual TransferError ToTransferError() const = 0;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_TRANSFER_STATUS_DATA_H_
