#include "http/curl_http_request_factory.h"

#include "http/curl_http_request.h"

namespace zarn {

std::shared_ptr<HttpRequest> CurlHttpRequestFactory::Create(const HttpRequestParams& params,
                                                            const std::string& proxy) {
  return std::make_shared<CurlHttpRequest>(params, proxy);
}

}  // namespace zarn
