#include "transfer/events/event_analytics_request.h"

#include <boost/property_tree/ptree.hpp>
#include <locale>
#include <sstream>

#include "telemetry/compact_json_writer.h"
#include "transfer/transfer_params.h"

namespace zarn {

using boost::property_tree::ptree;

EventAnalyticsRequest::EventAnalyticsRequest(const TransferParams& params)
    : partnerId_(params.partnerId), packageId_(params.packageId), versionId_(params.versionId) {}

void EventAnalyticsRequest::Write(ptree& tree) const {
  tree.put("pid", partnerId_);
  tree.put("pkgid", packageId_);
  tree.put("vid", versionId_);
  ptree metrics;
  WriteMetrics(metrics);
  tree.put_child("metrics", metrics);
  ptree dimensions;
  WriteDimensions(dimensions);
  tree.put_child("dimensions", dimensions);
}

SimpleEventAnalyticsRequest::SimpleEventAnalyticsRequest(const TransferParams& params,
                                                         const std::string& counterKey)
    : EventAnalyticsRequest(params), counterKey_(counterKey) {}

void SimpleEventAnalyticsRequest::WriteMetrics(ptree& metrics) const {
  metrics.put(counterKey_, "1");
}

void SimpleEventAnalyticsRequest::WriteDimensions(ptree& dimensions) const {
  dimensions.put_value(std::string(EmptyObjectMarker));
}

ErrorAnalyticsRequest::ErrorAnalyticsRequest(const TransferParams& params,
                                             const std::string& counterKey,
                                             const std::string& errorText)
    : SimpleEventAnalyticsRequest(params, counterKey), errorText_(errorText) {}

void ErrorAnalyticsRequest::WriteDimensions(ptree& dimensions) const {
  if (errorText_.empty()) {
    SimpleEventAnalyticsRequest::WriteDimensions(dimensions);
  } else {
    dimensions.put("error", errorText_);
  }
}

OptimizerAnalyticsRequest::OptimizerAnalyticsRequest(const TransferParams& params, uint64_t bytes,
                                                     uint64_t requestTimeMs, const std::string& cdn)
    : EventAnalyticsRequest(params), bytes_(bytes), requestTimeMs_(requestTimeMs), cdn_(cdn) {}

void OptimizerAnalyticsRequest::WriteMetrics(ptree& metrics) const {
  metrics.put("bytes", std::to_string(bytes_));
  metrics.put("requestTime", FormatAnalyticsSeconds(requestTimeMs_));
}

void OptimizerAnalyticsRequest::WriteDimensions(ptree& dimensions) const {
  dimensions.put("cdn", cdn_);
}

std::string FormatAnalyticsSeconds(uint64_t milliseconds) {
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out.precision(16);
  out << static_cast<double>(milliseconds) / 1000.0;
  return out.str();
}

}  // namespace zarn
