#ifndef ZARN_TRANSFER_WORKS_CHECKSUM_STATUS_DATA_H_
#define ZARN_TRANSFER_WORKS_CHECKSUM_STATUS_DATA_H_

#include <cstdint>
#include <memory>
#include <string>

#include "transfer/transfer_status_data.h"

namespace zarn {

// The payload of a chunk whose bytes do not match their CRC-32: the value computed.
class ChecksumStatusData : public TransferStatusData {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  static std::shared_ptr<ChecksumStatusData> Create(uint32_t actualChecksum);
  ChecksumStatusData(Token, uint32_t actualChecksum) : actualChecksum(actualChecksum) {}

  TransferError ToTransferError() const override;                   // always Checksum
  void Describe(boost::property_tree::ptree& tree) const override;  // "actualChecksum", hex
  std::string ToString() const override;                            // "error|6"

  const uint32_t actualChecksum;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_CHECKSUM_STATUS_DATA_H_
