#ifndef ZARN_HTTP_ROUND_ROBIN_HTTP_SESSION_FACTORY_H_
#define ZARN_HTTP_ROUND_ROBIN_HTTP_SESSION_FACTORY_H_

#include <memory>

#include "http/http_session_factory.h"

namespace zarn {

class HttpRequestPool;

// Sessions over round-robin request pools. Stateless.
class RoundRobinHttpSessionFactory : public HttpSessionFactory {
 public:
  std::shared_ptr<HttpSession> Create() override;

 private:
  static std::shared_ptr<HttpRequestPool> MakePool();
  static std::shared_ptr<HttpSession> MakeSession(std::shared_ptr<HttpRequestPool> pool);
};

}  // namespace zarn

#endif  // ZARN_HTTP_ROUND_ROBIN_HTTP_SESSION_FACTORY_H_
