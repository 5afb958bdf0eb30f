#include "transfer/transfer_error_data.h"

#include <boost/property_tree/ptree.hpp>

namespace zarn {

TransferErrorData::TransferErrorData(TransferError code, const std::string& message)
    : WorkErrorData(message), code_(code) {}

void TransferErrorData::Describe(boost::property_tree::ptree& tree) const {
  tree.put("transferError", ToNumber(code_));
  WorkErrorData::Describe(tree);
}

std::string TransferErrorData::ToString() const {
  return "error|" + std::to_string(ToNumber(code_)) + "|" + WorkErrorData::ToString();
}

std::shared_ptr<TransferErrorData> MakeTransferErrorData(TransferError code,
                                                         const std::string& message) {
  return std::make_shared<TransferErrorData>(code, message);
}

}  // namespace zarn
