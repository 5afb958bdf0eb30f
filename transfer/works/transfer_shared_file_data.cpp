#include "transfer/works/transfer_shared_file_data.h"

#include <boost/property_tree/ptree.hpp>

#include "storage/shared_file.h"

namespace zarn {

std::shared_ptr<TransferSharedFileData> TransferSharedFileData::Create(const std::string& filePath,
                                                                       const uint64_t& fileSize) {
  return std::make_shared<TransferSharedFileData>(Token(), filePath, fileSize);
}

TransferSharedFileData::TransferSharedFileData(Token, const std::string& filePath_,
                                               uint64_t fileSize_)
    : filePath(filePath_), fileSize(fileSize_) {}

TransferSharedFileData::~TransferSharedFileData() = default;

void TransferSharedFileData::Describe(boost::property_tree::ptree& tree) const {
  tree.put("filePath", filePath);
  tree.put("fileSize", fileSize);
}

}  // namespace zarn
