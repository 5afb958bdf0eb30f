#include "http/round_robin_http_request_pool.h"

#include "http/http_request.h"

namespace zarn {

RoundRobinHttpRequestPool::RoundRobinHttpRequestPool() : members_(11), idle_(11) {
  members_.max_load_factor(1.0f);
  idle_.max_load_factor(1.0f);
}

void RoundRobinHttpRequestPool::Add(const std::shared_ptr<HttpRequest>& request, bool available) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const bool inserted = members_.insert(request).second;
  if (inserted && available) MarkIdle(request);
}

std::shared_ptr<HttpRequest> RoundRobinHttpRequestPool::Acquire(const HttpRequestParams& params,
                                                                const std::string& proxy) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  // A request that refuses its Reset is still inside an exchange: forget it (it dies with
  // its last holder) and try the next idle one.
  while (!idleQueue_.empty()) {
    std::shared_ptr<HttpRequest> request = TakeNextIdle();
    if (request->Reset(params, proxy)) return request;
    members_.erase(request);
  }
  return nullptr;
}

void RoundRobinHttpRequestPool::Release(const std::shared_ptr<HttpRequest>& request) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (members_.count(request) != 0) MarkIdle(request);
}

std::shared_ptr<HttpRequest> RoundRobinHttpRequestPool::TakeNextIdle() {
  std::shared_ptr<HttpRequest> request = idleQueue_.front();
  idleQueue_.pop_front();
  idle_.erase(request);
  return request;
}

void RoundRobinHttpRequestPool::MarkIdle(const std::shared_ptr<HttpRequest>& request) {
  if (idle_.insert(request).second) idleQueue_.push_back(request);
}

}  // namespace zarn
