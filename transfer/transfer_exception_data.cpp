#include "transfer/transfer_exception_data.h"

#include <boost/property_tree/ptree.hpp>

namespace zarn {

TransferExceptionData::TransferExceptionData(TransferError code, std::exception_ptr exception)
    : WorkExceptionData(exception), code_(code) {}

void TransferExceptionData::Describe(boost::property_tree::ptree& tree) const {
  tree.put("transferError", ToNumber(code_));
  WorkExceptionData::Describe(tree);
}

std::string TransferExceptionData::ToString() const {
  return "error|" + std::to_string(ToNumber(code_)) + "|" + WorkExceptionData::ToString();
}

std::shared_ptr<TransferExceptionData> MakeTransferExceptionData(TransferError code,
                                                                 std::exception_ptr exception) {
  return std::make_shared<TransferExceptionData>(code, exception);
}

}  // namespace zarn
