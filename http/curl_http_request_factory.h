#ifndef ZARN_HTTP_CURL_HTTP_REQUEST_FACTORY_H_
#define ZARN_HTTP_CURL_HTTP_REQUEST_FACTORY_H_

#include "http/http_request_factory.h"

namespace zarn {

// Makes CurlHttpRequest objects.
class CurlHttpRequestFactory : public HttpRequestFactory {
 public:
  explicit CurlHttpRequestFactory(HttpProxyFactory* proxyFactory)
      : HttpRequestFactory(proxyFactory) {}

  std::shared_ptr<HttpRequest> Create(HttpRequestParams params, const std::string& proxy) override;
};

}  // namespace zarn

#endif  // ZARN_HTTP_CURL_HTTP_REQUEST_FACTORY_H_
