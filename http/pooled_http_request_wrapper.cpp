#include "http/pooled_http_request_wrapper.h"

#include <utility>

#include "http/http_request_pool.h"

namespace zarn {

PooledHttpRequestWrapper::PooledHttpRequestWrapper(std::shared_ptr<HttpRequest> request,
                                                   std::shared_ptr<HttpRequestPool> pool)
    : HttpRequest(HttpRequestParams("", nullptr), ""),
      request_(std::move(request)),
      pool_(std::move(pool)) {}

PooledHttpRequestWrapper::~PooledHttpRequestWrapper() { pool_->Release(request_); }

HttpRequestStatus PooledHttpRequestWrapper::Perform() { return request_->Perform(); }

HttpRequestStatus PooledHttpRequestWrapper::GetStatus() { return request_->GetStatus(); }

void PooledHttpRequestWrapper::Cancel() { request_->Cancel(); }

bool PooledHttpRequestWrapper::Reset(HttpRequestParams&& params, const std::string& proxy) {
  return request_->Reset(std::move(params), proxy);
}

}  // namespace zarn
