#include "http/curl_http_request_factory.h"

#include <utility>

#include "http/curl_http_request.h"

namespace zarn {

std::shared_ptr<HttpRequest> CurlHttpRequestFactory::Create(HttpRequestParams params,
                                                            const std::string& proxy) {
  return std::make_shared<CurlHttpRequest>(std::move(params), proxy);
}

}  // namespace zarn
