#include "http/round_robin_http_request_pool.h"

#include <iterator>
#include <utility>

#include "http/http_request.h"

namespace zarn {

RoundRobinHttpRequestPool::RoundRobinHttpRequestPool() : members_(11) {
  members_.max_load_factor(1.0f);
}

void RoundRobinHttpRequestPool::Add(const std::shared_ptr<HttpRequest>& request, bool available) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (members_.count(request.get()) != 0) return;
  RequestList& list = available ? idle_ : onLoan_;
  list.push_back(request);
  try {
    members_.emplace(request.get(), Member{std::prev(list.end()), available});
  } catch (...) {
    list.pop_back();
    throw;
  }
}

std::shared_ptr<HttpRequest> RoundRobinHttpRequestPool::Acquire(HttpRequestParams&& params,
                                                                const std::string& proxy) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  // A request that refuses its Reset is still inside an exchange: forget it (it dies with
  // its last holder) and try the next idle one. One whose Reset throws is forgotten too:
  // nobody would ever give it back.
  while (!idle_.empty()) {
    const std::shared_ptr<HttpRequest> request = idle_.front();
    const auto member = members_.find(request.get());
    Lend(member);
    bool reset = false;
    try {
      reset = request->Reset(std::move(params), proxy);
    } catch (...) {
      Forget(member);
      throw;
    }
    if (reset) return request;
    Forget(member);
  }
  return nullptr;
}

void RoundRobinHttpRequestPool::Release(const std::shared_ptr<HttpRequest>& request) noexcept {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const auto member = members_.find(request.get());
  if (member == members_.end() || member->second.idle) return;
  idle_.splice(idle_.end(), onLoan_, member->second.node);
  member->second.idle = true;
}

void RoundRobinHttpRequestPool::Lend(MemberTable::iterator member) noexcept {
  onLoan_.splice(onLoan_.end(), idle_, member->second.node);
  member->second.idle = false;
}

void RoundRobinHttpRequestPool::Forget(MemberTable::iterator member) noexcept {
  (member->second.idle ? idle_ : onLoan_).erase(member->second.node);
  members_.erase(member);
}

}  // namespace zarn
