#ifndef ZARN_HTTP_POOLED_HTTP_REQUEST_WRAPPER_H_
#define ZARN_HTTP_POOLED_HTTP_REQUEST_WRAPPER_H_

#include <memory>

#include "http/http_request.h"

namespace zarn {

class HttpRequestPool;

// A request borrowed from a pool: passes every call through and gives the request back to
// the pool when the last holder of the wrapper lets go.
class PooledHttpRequestWrapper : public HttpRequest {
 public:
  PooledHttpRequestWrapper(std::shared_ptr<HttpRequest> request,
                           std::shared_ptr<HttpRequestPool> pool);
  ~PooledHttpRequestWrapper() override;

  HttpRequestStatus Perform() override;
  HttpRequestStatus GetStatus() override;
  void Cancel() override;
  bool Reset(HttpRequestParams&& params, const std::string& proxy) override;

 private:
  std::shared_ptr<HttpRequest> request_;
  std::shared_ptr<HttpRequestPool> pool_;
};

}  // namespace zarn

#endif  // ZARN_HTTP_POOLED_HTTP_REQUEST_WRAPPER_H_
