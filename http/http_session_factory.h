#ifndef ZARN_HTTP_HTTP_SESSION_FACTORY_H_
#define ZARN_HTTP_HTTP_SESSION_FACTORY_H_

#include <memory>

namespace zarn {

class HttpSession;

class HttpSessionFactory {
 public:
  virtual ~HttpSessionFactory() = default;

  // A new session with a new empty pool and no proxy yet.
  virtual std::shared_ptr<HttpSession> Create() = 0;
};

}  // namespace zarn

#endif  // ZARN_HTTP_HTTP_SESSION_FACTORY_H_
