#ifndef ZARN_HTTP_LIBPROXY_HTTP_PROXY_H_
#define ZARN_HTTP_LIBPROXY_HTTP_PROXY_H_

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "http/http_proxy.h"

namespace zarn {

// Automatic proxy configuration (a configuration script or auto-detection) answered by
// libproxy. A failed query makes every later answer "" without asking again.
class LibproxyHttpProxy : public HttpProxy {
 public:
  LibproxyHttpProxy();
  ~LibproxyHttpProxy() override;
  LibproxyHttpProxy(const LibproxyHttpProxy&) = delete;
  LibproxyHttpProxy& operator=(const LibproxyHttpProxy&) = delete;

  std::string GetProxy(const std::string& url) override;

 protected:
  // Fills proxies with libproxy's answer for url, in order ("direct://",
  // "http://host:port", ...); false when the query failed. Replaceable in tests.
  virtual bool QueryProxy(const std::string& url, std::vector<std::string>* proxies);

 private:
  std::mutex mutex_;               // libproxy's factory is used by one thread at a time
  void* factory_ = nullptr;        // pxProxyFactory; null when it could not be made
  std::atomic<bool> failed_{false};
};

}  // namespace zarn

#endif  // ZARN_HTTP_LIBPROXY_HTTP_PROXY_H_
