#ifndef ZARN_TRANSFER_EVENTS_TRANSFER_ANALYTICS_REQUEST_H_
#define ZARN_TRANSFER_EVENTS_TRANSFER_ANALYTICS_REQUEST_H_

#include <cstdint>
#include <string>

#include "transfer/manifest/output_manifest.h"
#include "transfer/transfer_status.h"

namespace zarn {

struct TransferParams;

// A transfer's state and its progress since the previous report: "pid", "pkgid", "vid",
// "tid", "status", "transferBytes" and "duration" (seconds), every value as text.
class TransferAnalyticsRequest : public OutputManifest {
 public:
  TransferAnalyticsRequest(const TransferParams& params, TransferState state, uint64_t bytes,
                           uint64_t durationMs);
  void Write(boost::property_tree::ptree& tree) const override;

  uint64_t GetBytes() const { return bytes_; }
  uint64_t GetDurationMs() const { return durationMs_; }

  // "suspended", "completed" or "canceled"; "active" for every other state.
  static const char* GetStatusText(TransferState state);

 private:
  std::string partnerId_;
  std::string packageId_;
  std::string versionId_;
  std::string transferId_;
  TransferState state_;
  uint64_t bytes_;
  uint64_t durationMs_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_EVENTS_TRANSFER_ANALYTICS_REQUEST_H_
