#ifndef ZARN_HTTP_HTTP_SESSION_H_
#define ZARN_HTTP_HTTP_SESSION_H_

#include <memory>
#include <mutex>

namespace zarn {

class HttpProxy;
class HttpRequestPool;

// The HTTP context of one user of the network (a package transfer, the analytics sink):
// its pool of reusable requests and its proxy, made at the first pooled request.
class HttpSession {
 public:
  explicit HttpSession(std::shared_ptr<HttpRequestPool> pool);
  HttpSession(const HttpSession&) = delete;
  HttpSession& operator=(const HttpSession&) = delete;

  // The pool never changes, so it is read without the lock.
  std::shared_ptr<HttpRequestPool> GetPool() const { return pool_; }

  std::shared_ptr<HttpProxy> GetProxy() const;
  void SetProxy(std::shared_ptr<HttpProxy> proxy);

 private:
  mutable std::mutex mutex_;
  const std::shared_ptr<HttpRequestPool> pool_;
  std::shared_ptr<HttpProxy> proxy_;  // guarded by mutex_
};

}  // namespace zarn

#endif  // ZARN_HTTP_HTTP_SESSION_H_
