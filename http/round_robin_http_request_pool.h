#ifndef ZARN_HTTP_ROUND_ROBIN_HTTP_REQUEST_POOL_H_
#define ZARN_HTTP_ROUND_ROBIN_HTTP_REQUEST_POOL_H_

#include <deque>
#include <memory>
#include <mutex>
#include <unordered_set>

#include "http/http_request_pool.h"

namespace zarn {

// Hands idle requests out in the order in which they were given back. Never limits its
// size; a member leaves only when its Reset refuses (it is still running) or with the pool.
// Lock order: this pool, then a member request (Acquire resets under the pool's lock).
class RoundRobinHttpRequestPool : public HttpRequestPool {
 public:
  RoundRobinHttpRequestPool();

  void Add(const std::shared_ptr<HttpRequest>& request, bool available) override;
  std::shared_ptr<HttpRequest> Acquire(const HttpRequestParams& params,
                                       const std::string& proxy) override;
  void Release(const std::shared_ptr<HttpRequest>& request) override;

 private:
  using RequestSet = std::unordered_set<std::shared_ptr<HttpRequest>>;

  std::shared_ptr<HttpRequest> TakeNextIdle();
  void MarkIdle(const std::shared_ptr<HttpRequest>& request);

  std::recursive_mutex mutex_;
  RequestSet members_;  // every request of the pool, keyed by address
  RequestSet idle_;     // the members that are free; exactly those in idleQueue_
  std::deque<std::shared_ptr<HttpRequest>> idleQueue_;  // in the order they became free
};

}  // namespace zarn

#endif  // ZARN_HTTP_ROUND_ROBIN_HTTP_REQUEST_POOL_H_
