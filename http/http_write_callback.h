#ifndef ZARN_HTTP_HTTP_WRITE_CALLBACK_H_
#define ZARN_HTTP_HTTP_WRITE_CALLBACK_H_

#include <cstdint>

#include "http/http_request_status.h"

namespace zarn {

// Receives a response body, piece by piece, in order, on the performing thread.
class HttpWriteCallback {
 public:
  virtual ~HttpWriteCallback() = default;

  // Answers Succeeded when the whole piece was accepted, a failure value otherwise
  // (RangeError for a body that runs past what was asked, OutOfMemory, WriteFailed...).
  // `bytes` is the number of bytes taken from this piece; `message` may explain a failure.
  virtual HttpRequestStatus Write(const std::uint8_t* data, std::uint32_t length) = 0;
};

}  // namespace zarn

#endif  // ZARN_HTTP_HTTP_WRITE_CALLBACK_H_
