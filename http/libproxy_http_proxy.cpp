#include "http/libproxy_http_proxy.h"

#include <proxy.h>

#include <exception>

#include "http/http_proxy_selection.h"

namespace zarn {
namespace {

// libproxy answers URLs such as "direct://", "http://host:port" or "socks://host:port";
// only the http ones can carry a plain HTTP request here. They become a proxy list in
// the system's format, so that the same selection rules apply.
std::string ToProxyList(const std::vector<std::string>& proxies) {
  static const std::string kHttp = "http://";
  std::string list;
  for (const std::string& proxy : proxies) {
    if (proxy.compare(0, kHttp.size(), kHttp) != 0) continue;
    std::string hostPort = proxy.substr(kHttp.size());
    const std::size_t slash = hostPort.find('/');
    if (slash != std::string::npos) hostPort.erase(slash);
    if (hostPort.empty()) continue;
    if (!list.empty()) list += ';';
    list += hostPort;
  }
  return list;
}

bool IsDirect(const std::vector<std::string>& proxies) {
  return !proxies.empty() && proxies.front() == "direct://";
}

}  // namespace

LibproxyHttpProxy::LibproxyHttpProxy() : factory_(px_proxy_factory_new()) {}

LibproxyHttpProxy::~LibproxyHttpProxy() {
  if (factory_ != nullptr) px_proxy_factory_free(static_cast<pxProxyFactory*>(factory_));
}

std::string LibproxyHttpProxy::GetProxy(const std::string& url) {
  if (failed_.load(std::memory_order_relaxed)) return "";
  std::vector<std::string> proxies;
  bool ok = false;
  try {
    ok = QueryProxy(url, &proxies);
  } catch (const std::exception&) {
    ok = false;
  }
  if (!ok) {
    failed_.store(true, std::memory_order_relaxed);
    return "";
  }
  if (IsDirect(proxies)) return "";
  try {
    return SelectProxyForUrl(url, ToProxyList(proxies), "");
  } catch (const std::exception&) {
    return "";
  }
}

bool LibproxyHttpProxy::QueryProxy(const std::string& url, std::vector<std::string>* proxies) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (factory_ == nullptr) return false;
  char** answer =
      px_proxy_factory_get_proxies(static_cast<pxProxyFactory*>(factory_), url.c_str());
  if (answer == nullptr) return false;
  for (char** p = answer; *p != nullptr; ++p) proxies->emplace_back(*p);
  px_proxy_factory_free_proxies(answer);
  return !proxies->empty();
}

}  // namespace zarn
