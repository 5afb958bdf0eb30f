#include "transfer/http_transfer_status_data.h"

#include <boost/property_tree/ptree.hpp>

namespace zarn {

TransferError ToTransferError(HttpRequestResult result) {
  switch (result) {
    case HttpRequestResult::Succeeded:
    case HttpRequestResult::Cancelled:
      return TransferError::None;
    case HttpRequestResult::BadUrl:
    case HttpRequestResult::OtherError:
      return TransferError::Request;
    case HttpRequestResult::ResolveFailed:
    case HttpRequestResult::ConnectFailed:
    case HttpRequestResult::ClientError:
    case HttpRequestResult::ServerError:
    case HttpRequestResult::NetworkError:
    case HttpRequestResult::RangeError:
    case HttpRequestResult::TimedOut:
      return TransferError::Network;
    case HttpRequestResult::WriteFailed:
      return TransferError::File;
    case HttpRequestResult::OutOfMemory:
      return TransferError::OutOfMemory;
    case HttpRequestResult::Idle:
    case HttpRequestResult::Running:
      break;
  }
  return TransferError::Internal;
}

HttpTransferStatusData::HttpTransferStatusData(Token, const std::string& hostname,
                                               const HttpRequestStatus& status,
                                               uint32_t requestTimeMs)
    : hostname_(hostname), status_(status), requestTimeMs_(requestTimeMs) {}

std::shared_ptr<HttpTransferStatusData> HttpTransferStatusData::Create(
    const std::string& hostname, const HttpRequestStatus& status, uint32_t requestTimeMs) {
  return std::make_shared<HttpTransferStatusData>(Token(), hostname, status, requestTimeMs);
}

TransferError HttpTransferStatusData::ToTransferError() const {
  return zarn::ToTransferError(status_.result);
}

void HttpTransferStatusData::Describe(boost::property_tree::ptree& tree) const {
  tree.put("hostname", hostname_);
  tree.put("ip", status_.serverIp);
  tree.put("httpResult", static_cast<unsigned>(status_.result));
  tree.put("httpResponseCode", status_.httpCode);
  tree.put("bytesWritten", status_.bytes);
  tree.put("errorDetails", status_.message);
  tree.put("requestTimeMs", requestTimeMs_);
}

std::string HttpTransferStatusData::ToString() const {
  const TransferError error = ToTransferError();
  if (error == TransferError::None) return std::string();
  return "error|" + std::to_string(ToNumber(error)) + "|" +
         std::to_string(static_cast<unsigned>(status_.result)) + "|" + status_.message;
}

}  // namespace zarn
