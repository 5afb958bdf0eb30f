#include "transfer/works/checksum_status_data.h"

#include <boost/property_tree/ptree.hpp>
#include <sstream>

namespace zarn {

std::shared_ptr<ChecksumStatusData> ChecksumStatusData::Create(uint32_t actualChecksum) {
  return std::make_shared<ChecksumStatusData>(Token(), actualChecksum);
}

TransferError ChecksumStatusData::ToTransferError() const { return TransferError::Checksum; }

void ChecksumStatusData::Describe(boost::property_tree::ptree& tree) const {
  std::ostringstream hex;
  hex << std::hex << actualChecksum;
  tree.put("actualChecksum", hex.str());
}

std::string ChecksumStatusData::ToString() const {
  return "error|" + std::to_string(static_cast<unsigned>(TransferError::Checksum));
}

}  // namespace zarn
