#ifndef ZARN_TRANSFER_EVENTS_EVENT_ANALYTICS_REQUEST_H_
#define ZARN_TRANSFER_EVENTS_EVENT_ANALYTICS_REQUEST_H_

#include <cstdint>
#include <string>

#include "transfer/manifest/output_manifest.h"

namespace zarn {

struct TransferParams;

// An analytics record that counts an occurrence or reports per-node totals: the three ids
// ("pid", "pkgid", "vid"), then "metrics" and "dimensions" objects. Every value is text.
class EventAnalyticsRequest : public OutputManifest {
 public:
  explicit EventAnalyticsRequest(const TransferParams& params);
  void Write(boost::property_tree::ptree& tree) const override;

 protected:
  virtual void WriteMetrics(boost::property_tree::ptree& metrics) const = 0;
  virtual void WriteDimensions(boost::property_tree::ptree& dimensions) const = 0;

 private:
  std::string partnerId_;
  std::string packageId_;
  std::string versionId_;
};

// Counts one occurrence under `counterKey` ("numStarts" and the like); no dimensions.
class SimpleEventAnalyticsRequest : public EventAnalyticsRequest {
 public:
  SimpleEventAnalyticsRequest(const TransferParams& params, const std::string& counterKey);

 protected:
  void WriteMetrics(boost::property_tree::ptree& metrics) const override;
  void WriteDimensions(boost::property_tree::ptree& dimensions) const override;

 private:
  std::string counterKey_;
};

// Counts one error occurrence; the error text, when there is one, is its "error" dimension.
class ErrorAnalyticsRequest : public SimpleEventAnalyticsRequest {
 public:
  ErrorAnalyticsRequest(const TransferParams& params, const std::string& counterKey,
                        const std::string& errorText);

 protected:
  void WriteDimensions(boost::property_tree::ptree& dimensions) const override;

 private:
  std::string errorText_;
};

// One node's request totals since the previous report: "bytes" and "requestTime" (seconds)
// under the node's host as "cdn".
class OptimizerAnalyticsRequest : public EventAnalyticsRequest {
 public:
  OptimizerAnalyticsRequest(const TransferParams& params, uint64_t bytes, uint64_t requestTimeMs,
                            const std::string& cdn);

 protected:
  void WriteMetrics(boost::property_tree::ptree& metrics) const override;
  void WriteDimensions(boost::property_tree::ptree& dimensions) const override;

 private:
  uint64_t bytes_;
  uint64_t requestTimeMs_;
  std::string cdn_;
};

// A millisecond count as seconds: "C" locale, 16 significant digits, shortest of fixed and
// exponent form without trailing zeros (0 -> "0", 1500 -> "1.5", 1 -> "0.001").
std::string FormatAnalyticsSeconds(uint64_t milliseconds);

}  // namespace zarn

#endif  // ZARN_TRANSFER_EVENTS_EVENT_ANALYTICS_REQUEST_H_
