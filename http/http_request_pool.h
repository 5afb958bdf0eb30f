#ifndef ZARN_HTTP_HTTP_REQUEST_POOL_H_
#define ZARN_HTTP_HTTP_REQUEST_POOL_H_

#include <memory>
#include <string>

namespace zarn {

class HttpRequest;
struct HttpRequestParams;

// The reusable requests of one session. A member is either idle or on loan to a caller.
class HttpRequestPool {
 public:
  HttpRequestPool() = default;
  HttpRequestPool(const HttpRequestPool&) = delete;
  HttpRequestPool& operator=(const HttpRequestPool&) = delete;
  virtual ~HttpRequestPool() = default;

  // Makes request a member; idle at once when available, else on loan.
  virtual void Add(const std::shared_ptr<HttpRequest>& request, bool available) = 0;

  // An idle member, reset to params and proxy and now on loan; empty when none is idle,
  // and then params is left as it was.
  virtual std::shared_ptr<HttpRequest> Acquire(HttpRequestParams&& params,
                                               const std::string& proxy) = 0;

  // A member on loan becomes idle again; a request that is not a member is ignored. Never
  // throws: it runs in the destructors of borrowed requests.
  virtual void Release(const std::shared_ptr<HttpRequest>& request) noexcept = 0;
};

}  // namespace zarn

#endif  // ZARN_HTTP_HTTP_REQUEST_POOL_H_
