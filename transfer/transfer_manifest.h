#ifndef ZARN_TRANSFER_TRANSFER_MANIFEST_H_
#define ZARN_TRANSFER_TRANSFER_MANIFEST_H_

#include "transfer/manifest/input_manifest.h"
#include "transfer/manifest/output_manifest.h"
#include "transfer/transfer_params.h"

namespace zarn {

// The stored form of a transfer's identity: its TransferParams read from and written to a
// property tree. Built on the stack around a copy (to save) or a default record (to load).
class TransferManifest : public InputManifest, public OutputManifest {
 public:
  TransferManifest() = default;
  explicit TransferManifest(const TransferParams& params) : params_(params) {}

  // Resets the record, then reads the five keys in order; a missing key throws
  // ManifestParseException and leaves "?" in it and the keys after it. The suspended flag
  // always reads back false.
  void Read(const boost::property_tree::ptree& tree) override;
  // Describes the record into tree; any failure throws ManifestParseException.
  void Write(boost::property_tree::ptree& tree) const override;

  const TransferParams& GetParams() const { return params_; }
  TransferParams& GetParams() { return params_; }

 private:
  TransferParams params_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_TRANSFER_MANIFEST_H_
