#ifndef ZARN_TRANSFER_TRANSFER_FILE_EXCEPTION_DATA_H_
#define ZARN_TRANSFER_TRANSFER_FILE_EXCEPTION_DATA_H_

#include <exception>
#include <memory>
#include <utility>

#include "transfer/transfer_exception_data.h"

namespace zarn {

// The payload of a work that touches files or mapped views: the code and whether a retry
// may help follow from the class of the captured exception (a file in use may be free
// later, a bad path never becomes good).
class TransferFileExceptionData : public TransferExceptionData {
 public:
  explicit TransferFileExceptionData(std::exception_ptr exception);

  bool IsRetryable() const { return retryable_; }

 private:
  TransferFileExceptionData(std::exception_ptr exception,
                            const std::pair<TransferError, bool>& classified);

  bool retryable_;
};

std::shared_ptr<TransferFileExceptionData> MakeTransferFileExceptionData(
    std::exception_ptr exception);

}  // namespace zarn

#endif  // ZARN_TRANSFER_TRANSFER_FILE_EXCEPTION_DATA_H_
