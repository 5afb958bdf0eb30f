#include "http/round_robin_http_session_factory.h"

#include <utility>

#include "http/http_session.h"
#include "http/round_robin_http_request_pool.h"

namespace zarn {

std::shared_ptr<HttpSession> RoundRobinHttpSessionFactory::Create() {
  return MakeSession(MakePool());
}

std::shared_ptr<HttpRequestPool> RoundRobinHttpSessionFactory::MakePool() {
  return std::make_shared<RoundRobinHttpRequestPool>();
}

std::shared_ptr<HttpSession> RoundRobinHttpSessionFactory::MakeSession(
    std::shared_ptr<HttpRequestPool> pool) {
  return std::make_shared<HttpSession>(std::move(pool));
}

}  // namespace zarn
