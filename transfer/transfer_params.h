#ifndef ZARN_TRANSFER_TRANSFER_PARAMS_H_
#define ZARN_TRANSFER_TRANSFER_PARAMS_H_

#include <cstdint>
#include <string>

#include "work/work_descriptor.h"

namespace zarn {

// The text "?" that marks an identity string (and a version setting) as not set. One
// process-wide string, built before main runs.
const std::string& UnsetText();

// The identity of one transfer. Travels by value; every string is "?" until set.
struct TransferParams : public WorkDescriptor {
  TransferParams();
  TransferParams(const TransferParams&) = default;
  TransferParams& operator=(const TransferParams&) = default;
  ~TransferParams() override = default;

  // Puts "transferId", "partnerId", "packageId", "versionId" and "destPath", replacing
  // keys of those names. The suspended flag is not written.
  void Describe(boost::property_tree::ptree& tree) const override;

  std::string transferId;
  std::string partnerId;
  std::string packageId;
  // "?" asks for the package's current version.
  std::string versionId;
  std::string destPath;
  // Set by Suspend on the transfer's fresh data; never stored.
  uint8_t suspended = 0;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_TRANSFER_PARAMS_H_
