#ifndef ZARN_HTTP_HTTP_REQUEST_FACTORY_H_
#define ZARN_HTTP_HTTP_REQUEST_FACTORY_H_

#include <memory>
#include <string>

namespace zarn {

class HttpProxy;
class HttpProxyFactory;
class HttpRequest;
class HttpSession;
struct HttpRequestParams;

// Makes requests. CreateForSession is the one entry every caller uses: it borrows a request
// from the session's pool (or makes one) and hands out a wrapper that gives it back when
// the caller lets go. Creating a request can throw (std::runtime_error when libcurl is not
// usable); performing one never throws.
class HttpRequestFactory {
 public:
  // proxyFactory is not owned and must outlive this factory.
  explicit HttpRequestFactory(HttpProxyFactory* proxyFactory);
  HttpRequestFactory(const HttpRequestFactory&) = delete;
  HttpRequestFactory& operator=(const HttpRequestFactory&) = delete;
  virtual ~HttpRequestFactory() = default;

  // The parameters are taken by value and moved on into the request, so that a caller who
  // moves them in (a large POST body) has them copied nowhere.

  // A new request for params through proxy ("" = direct), outside any pool.
  virtual std::shared_ptr<HttpRequest> Create(HttpRequestParams params,
                                              const std::string& proxy) = 0;

  // The request to use for params within session. An empty session, or one without a
  // pool, gives an unpooled request. The session's proxy is made at its first request.
  std::shared_ptr<HttpRequest> CreateForSession(HttpRequestParams params,
                                                const std::shared_ptr<HttpSession>& session);

  // A new request with a new proxy, outside any pool.
  std::shared_ptr<HttpRequest> CreateUnpooled(HttpRequestParams params);

  // Create(params, proxy->GetProxy(params.url)).
  std::shared_ptr<HttpRequest> CreateWithProxy(HttpRequestParams params,
                                               const std::shared_ptr<HttpProxy>& proxy);

 private:
  HttpProxyFactory* const proxyFactory_;
};

}  // namespace zarn

#endif  // ZARN_HTTP_HTTP_REQUEST_FACTORY_H_
