#ifndef ZARN_HTTP_MANUAL_HTTP_PROXY_H_
#define ZARN_HTTP_MANUAL_HTTP_PROXY_H_

#include <string>

#include "http/http_proxy.h"

namespace zarn {

// A fixed proxy list with a bypass list, in the formats of http_proxy_selection.h.
class ManualHttpProxy : public HttpProxy {
 public:
  ManualHttpProxy(const std::string& proxyList, const std::string& bypassList);

  // SelectProxyForUrl over the two lists. A URL that cannot be parsed answers "" rather
  // than failing the request.
  std::string GetProxy(const std::string& url) override;

 private:
  const std::string proxyList_;
  const std::string bypassList_;
};

}  // namespace zarn

#endif  // ZARN_HTTP_MANUAL_HTTP_PROXY_H_
