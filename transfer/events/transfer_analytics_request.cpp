#include "transfer/events/transfer_analytics_request.h"

#include <boost/property_tree/ptree.hpp>

#include "transfer/events/event_analytics_request.h"
#include "transfer/transfer_params.h"

namespace zarn {

TransferAnalyticsRequest::TransferAnalyticsRequest(const TransferParams& params,
                                                   TransferState state, uint64_t bytes,
                                                   uint64_t durationMs)
    : partnerId_(params.partnerId),
      packageId_(params.packageId),
      versionId_(params.versionId),
      transferId_(params.transferId),
      state_(state),
      bytes_(bytes),
      durationMs_(durationMs) {}

void TransferAnalyticsRequest::Write(boost::property_tree::ptree& tree) const {
  tree.put("pid", partnerId_);
  tree.put("pkgid", packageId_);
  tree.put("vid", versionId_);
  tree.put("tid", transferId_);
  tree.put("status", GetStatusText(state_));
  tree.put("transferBytes", std::to_string(bytes_));
  tree.put("duration", FormatAnalyticsSeconds(durationMs_));
}

const char* TransferAnalyticsRequest::GetStatusText(TransferState state) {
  switch (state) {
    case TransferState::Suspended:
      return "suspended";
    case TransferState::Completed:
      return "completed";
    case TransferState::Canceled:
      return "canceled";
    default:
      return "active";
  }
}

}  // namespace zarn
