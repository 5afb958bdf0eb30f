#ifndef ZARN_HTTP_HTTP_PROXY_H_
#define ZARN_HTTP_HTTP_PROXY_H_

#include <string>

namespace zarn {

// Answers which proxy a request for a URL goes through. Shared by every request of a
// session, on many threads at once.
class HttpProxy {
 public:
  virtual ~HttpProxy() = default;

  // The proxy text (normally host:port) handed to libcurl, or "" to connect directly.
  virtual std::string GetProxy(const std::string& url) = 0;
};

}  // namespace zarn

#endif  // ZARN_HTTP_HTTP_PROXY_H_
