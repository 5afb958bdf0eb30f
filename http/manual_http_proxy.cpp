#include "http/manual_http_proxy.h"

#include <exception>

#include "http/http_proxy_selection.h"

namespace zarn {

ManualHttpProxy::ManualHttpProxy(const std::string& proxyList, const std::string& bypassList)
    : proxyList_(proxyList), bypassList_(bypassList) {}

std::string ManualHttpProxy::GetProxy(const std::string& url) {
  // A URL the proxy rules cannot read goes direct, as with the automatic kind.
  try {
    return SelectProxyForUrl(url, proxyList_, bypassList_);
  } catch (const std::exception&) {
    return "";
  }
}

}  // namespace zarn
