#ifndef ZARN_TRANSFER_TRANSFER_ERROR_DATA_H_
#define ZARN_TRANSFER_TRANSFER_ERROR_DATA_H_

#include <memory>
#include <string>

#include "transfer/transfer_status_data.h"
#include "work/work_error_data.h"

namespace zarn {

// A transfer failure with a code and a message, such as a work's missing prerequisite.
class TransferErrorData : public TransferStatusData, public WorkErrorData {
 public:
  TransferErrorData(TransferError code, const std::string& message);

  TransferError ToTransferError() const override { return code_; }
  // "transferError" (the code in decimal), then "errorMessage".
  void Describe(boost::property_tree::ptree& tree) const override;
  // "error|<code>|<message>".
  std::string ToString() const override;

 private:
  TransferError code_;
};

std::shared_ptr<TransferErrorData> MakeTransferErrorData(TransferError code,
                                                         const std::string& message);

}  // namespace zarn

#endif  // ZARN_TRANSFER_TRANSFER_ERROR_DATA_H_
