#ifndef ZARN_HTTP_HTTP_REQUEST_STATUS_H_
#define ZARN_HTTP_HTTP_REQUEST_STATUS_H_

#include <cstdint>
#include <string>

#include "http/http_request_result.h"

namespace zarn {

// The outcome of a request, or a sink's answer to one piece of a body. HTTP failures are
// always values of this record, never exceptions.
struct HttpRequestStatus {
  HttpRequestStatus(HttpRequestResult result, const std::uint64_t& bytes);

  HttpRequestResult result;
  // Body bytes accepted by the sink so far (in a sink's answer: accepted from this piece).
  std::uint64_t bytes;
  // The last HTTP response code; 0 when none was received.
  std::uint32_t httpCode = 0;
  // The numeric address of the server last connected to; empty when none.
  std::string serverIp;
  // Failure text; empty on success.
  std::string message;
};

}  // namespace zarn

#endif  // ZARN_HTTP_HTTP_REQUEST_STATUS_H_
