#include "http/empty_http_proxy.h"

namespace zarn {

std::string EmptyHttpProxy::GetProxy(const std::string&) { return ""; }

std::shared_ptr<HttpProxy> MakeEmptyHttpProxy() { return std::make_shared<EmptyHttpProxy>(); }

}  // namespace zarn
