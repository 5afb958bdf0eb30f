#ifndef ZARN_HTTP_HTTP_REQUEST_H_
#define ZARN_HTTP_HTTP_REQUEST_H_

#include <string>
#include <utility>

#include "http/http_request_params.h"
#include "http/http_request_status.h"

namespace zarn {

// One HTTP exchange at a time. Performing never throws: every failure is a status value.
class HttpRequest {
 public:
  virtual ~HttpRequest() = default;

  // Runs the exchange to its end on the calling thread and returns the final status. A
  // request that is not Idle is not run again; its current status is returned.
  virtual HttpRequestStatus Perform() = 0;

  // A copy of the current status; callable from any thread.
  virtual HttpRequestStatus GetStatus() = 0;

  // An Idle or Running request becomes Cancelled; any other status is kept. Callable from
  // any thread; a running transfer stops at the library's next callback.
  virtual void Cancel() = 0;

  // Readies the request for a new exchange with params, taken over, and proxy ("" =
  // direct). Answers false, changing nothing and leaving params as it was, while an
  // exchange is under way.
  virtual bool Reset(HttpRequestParams&& params, const std::string& proxy) = 0;

  HttpRequest(const HttpRequest&) = delete;
  HttpRequest& operator=(const HttpRequest&) = delete;

 protected:
  HttpRequest(HttpRequestParams params, std::string proxy)
      : params_(std::move(params)), proxy_(std::move(proxy)) {}

  HttpRequestParams params_;  // replaced as a whole by Reset
  std::string proxy_;         // "" = direct connection
};

}  // namespace zarn

#endif  // ZARN_HTTP_HTTP_REQUEST_H_
