#ifndef ZARN_HTTP_ROUND_ROBIN_HTTP_REQUEST_POOL_H_
#define ZARN_HTTP_ROUND_ROBIN_HTTP_REQUEST_POOL_H_

#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "http/http_request_pool.h"

namespace zarn {

// Hands idle requests out in the order in which they were given back. Never limits its
// size; a member leaves only when its Reset refuses (it is still running) or with the pool.
// Lock order: this pool, then a member request (Acquire resets under the pool's lock).
class RoundRobinHttpRequestPool : public HttpRequestPool {
 public:
  RoundRobinHttpRequestPool();

  void Add(const std::shared_ptr<HttpRequest>& request, bool available) override;
  std::shared_ptr<HttpRequest> Acquire(HttpRequestParams&& params,
                                       const std::string& proxy) override;
  void Release(const std::shared_ptr<HttpRequest>& request) noexcept override;

 private:
  // Every member has one node in one of the two lists, made when it joins the pool. Lending
  // and giving back move that node from list to list, so that giving back needs no memory.
  using RequestList = std::list<std::shared_ptr<HttpRequest>>;
  struct Member {
    RequestList::iterator node;
    bool idle;
  };
  using MemberTable = std::unordered_map<const HttpRequest*, Member>;

  void Lend(MemberTable::iterator member) noexcept;
  void Forget(MemberTable::iterator member) noexcept;

  std::recursive_mutex mutex_;
  MemberTable members_;  // every request of the pool, keyed by address
  RequestList idle_;     // the free members, in the order in which they became free
  RequestList onLoan_;   // the members lent out, in no particular order
};

}  // namespace zarn

#endif  // ZARN_HTTP_ROUND_ROBIN_HTTP_REQUEST_POOL_H_
