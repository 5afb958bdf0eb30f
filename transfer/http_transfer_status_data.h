#ifndef ZARN_TRANSFER_HTTP_TRANSFER_STATUS_DATA_H_
#define ZARN_TRANSFER_HTTP_TRANSFER_STATUS_DATA_H_

#include <cstdint>
#include <memory>
#include <string>

#include "http/http_request_status.h"
#include "transfer/transfer_status_data.h"

namespace zarn {

// The payload of one chunk request attempt: the node's host, the request's status and the
// attempt's duration. Its TransferError follows from the request's result.
class HttpTransferStatusData : public TransferStatusData {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  HttpTransferStatusData(Token, const std::string& hostname, const HttpRequestStatus& status,
                         uint32_t requestTimeMs);
  HttpTransferStatusData(const HttpTransferStatusData&) = delete;
  HttpTransferStatusData& operator=(const HttpTransferStatusData&) = delete;

  static std::shared_ptr<HttpTransferStatusData> Create(const std::string& hostname,
                                                        const HttpRequestStatus& status,
                                                        uint32_t requestTimeMs);

  TransferError ToTransferError() const override;
  // "hostname", "ip", "httpResult", "httpResponseCode", "bytesWritten", "errorDetails",
  // "requestTimeMs".
  void Describe(boost::property_tree::ptree& tree) const override;
  // Empty when the request did not fail; else "error|<code>|<result>|<message>".
  std::string ToString() const override;

  HttpRequestStatus GetRequestStatus() const { return status_; }
  uint32_t GetRequestTimeMs() const { return requestTimeMs_; }

 private:
  const std::string hostname_;
  const HttpRequestStatus status_;
  const uint32_t requestTimeMs_;
};

// The TransferError of a request that ended with result.
TransferError ToTransferError(HttpRequestResult result);

}  // namespace zarn

#endif  // ZARN_TRANSFER_HTTP_TRANSFER_STATUS_DATA_H_
