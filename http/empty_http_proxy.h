#ifndef ZARN_HTTP_EMPTY_HTTP_PROXY_H_
#define ZARN_HTTP_EMPTY_HTTP_PROXY_H_

#include <memory>
#include <string>

#include "http/http_proxy.h"

namespace zarn {

// Always connects directly.
class EmptyHttpProxy : public HttpProxy {
 public:
  std::string GetProxy(const std::string& url) override;
};

std::shared_ptr<HttpProxy> MakeEmptyHttpProxy();

}  // namespace zarn

#endif  // ZARN_HTTP_EMPTY_HTTP_PROXY_H_
