#ifndef ZARN_TRANSFER_TRANSFER_EXCEPTION_DATA_H_
#define ZARN_TRANSFER_TRANSFER_EXCEPTION_DATA_H_

#include <exception>
#include <memory>
#include <string>

#include "transfer/transfer_status_data.h"
#include "work/work_exception_data.h"

namespace zarn {

// A transfer failure that keeps the exception that caused it, with the code its catch
// site chose.
class TransferExceptionData : public TransferStatusData, public WorkExceptionData {
 public:
  TransferExceptionData(TransferError code, std::exception_ptr exception);

  TransferError ToTransferError() const override { return code_; }
  // "transferError" (the code in decimal), then the exception's "exception" and "what".
  void Describe(boost::property_tree::ptree& tree) const override;
  // "error|<code>|" and the exception's own text.
  std::string ToString() const override;

 private:
  TransferError code_;
};

std::shared_ptr<TransferExceptionData> MakeTransferExceptionData(TransferError code,
                                                                 std::exception_ptr exception);

}  // namespace zarn

#endif  // ZARN_TRANSFER_TRANSFER_EXCEPTION_DATA_H_
