#include "http/http_request_factory.h"

#include <utility>

#include "http/http_proxy.h"
#include "http/http_proxy_factory.h"
#include "http/http_request.h"
#include "http/http_request_pool.h"
#include "http/http_session.h"
#include "http/pooled_http_request_wrapper.h"

namespace zarn {

HttpRequestFactory::HttpRequestFactory(HttpProxyFactory* proxyFactory)
    : proxyFactory_(proxyFactory) {}

std::shared_ptr<HttpRequest> HttpRequestFactory::CreateForSession(
    HttpRequestParams params, const std::shared_ptr<HttpSession>& session) {
  if (!session || !session->GetPool()) return CreateUnpooled(std::move(params));
  const std::shared_ptr<HttpRequestPool> pool = session->GetPool();

  // Two separate locked steps: two first requests racing may each make a proxy; the one
  // stored last stays, and each request uses the one it made.
  std::shared_ptr<HttpProxy> proxy = session->GetProxy();
  if (!proxy) {
    proxy = proxyFactory_->Create();
    session->SetProxy(proxy);
  }
  const std::string proxyText = proxy->GetProxy(params.url);

  std::shared_ptr<HttpRequest> request = pool->Acquire(std::move(params), proxyText);
  if (!request) {
    request = Create(std::move(params), proxyText);
    pool->Add(request, false);
  }
  // A request on loan that no wrapper holds would never be given back.
  try {
    return std::make_shared<PooledHttpRequestWrapper>(request, pool);
  } catch (...) {
    pool->Release(request);
    throw;
  }
}

std::shared_ptr<HttpRequest> HttpRequestFactory::CreateUnpooled(HttpRequestParams params) {
  return CreateWithProxy(std::move(params), proxyFactory_->Create());
}

std::shared_ptr<HttpRequest> HttpRequestFactory::CreateWithProxy(
    HttpRequestParams params, const std::shared_ptr<HttpProxy>& proxy) {
  const std::string proxyText = proxy->GetProxy(params.url);
  return Create(std::move(params), proxyText);
}

}  // namespace zarn
