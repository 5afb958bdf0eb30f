#ifndef ZARN_HTTP_HTTP_REQUEST_RESULT_H_
#define ZARN_HTTP_HTTP_REQUEST_RESULT_H_

#include <cstdint>

namespace zarn {

// The outcome of one HTTP exchange. Idle and Running are states of a request; every other
// value is final.
enum class HttpRequestResult : std::uint8_t {
  Idle = 0,           // set up, not yet performed
  Running = 1,        // the transfer is in progress
  Succeeded = 2,      // finished without error
  Cancelled = 3,      // cancelled before or during the transfer
  BadUrl = 4,         // malformed URL or unsupported protocol
  ResolveFailed = 5,  // the proxy or host name could not be resolved
  ConnectFailed = 6,  // no connection could be made
  ClientError = 7,    // the server refused the request (HTTP status below 500)
  ServerError = 8,    // the server failed (HTTP status 500 or more)
  NetworkError = 9,   // sending or receiving failed, or the answer was unusable
  WriteFailed = 10,   // the sink did not accept the body
  RangeError = 11,    // range not served, body ended early, or body longer than the range
  TimedOut = 12,      // a time-out or the low-speed limit ended the transfer
  OutOfMemory = 13,   // memory ran out, in the library or in the sink
  OtherError = 14,    // any other failure
};

}  // namespace zarn

#endif  // ZARN_HTTP_HTTP_REQUEST_RESULT_H_
