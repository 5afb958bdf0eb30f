#include "http/environment_http_proxy_factory.h"

#include <cstdlib>
#include <utility>

#include <boost/tokenizer.hpp>

#include "http/empty_http_proxy.h"
#include "http/libproxy_http_proxy.h"
#include "http/manual_http_proxy.h"

namespace zarn {
namespace {

std::string FirstSet(const EnvironmentHttpProxyFactory::Environment& environment,
                     const std::string& lower, const std::string& upper) {
  std::string value = environment(lower);
  return value.empty() ? environment(upper) : value;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

EnvironmentHttpProxyFactory::EnvironmentHttpProxyFactory(std::uint32_t resolveTimeout,
                                                         std::uint32_t connectTimeout,
                                                         std::uint32_t sendTimeout,
                                                         std::uint32_t receiveTimeout,
                                                         Environment environment)
    : resolveTimeout_(resolveTimeout),
      connectTimeout_(connectTimeout),
      sendTimeout_(sendTimeout),
      receiveTimeout_(receiveTimeout),
      environment_(std::move(environment)) {}

std::shared_ptr<HttpProxy> EnvironmentHttpProxyFactory::Create() {
  const std::string proxy = FirstSet(environment_, "http_proxy", "HTTP_PROXY");
  if (proxy.empty()) return MakeEmptyHttpProxy();
  if (StartsWith(proxy, "pac+") || StartsWith(proxy, "wpad://")) {
    return std::make_shared<LibproxyHttpProxy>();
  }
  const std::string noProxy = FirstSet(environment_, "no_proxy", "NO_PROXY");
  return std::make_shared<ManualHttpProxy>(proxy, TranslateNoProxy(noProxy));
}

std::string EnvironmentHttpProxyFactory::ProcessEnvironment(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  return value == nullptr ? "" : value;
}

std::string EnvironmentHttpProxyFactory::TranslateNoProxy(const std::string& noProxy) {
  const boost::char_separator<char> separators(", \t");
  const boost::tokenizer<boost::char_separator<char>> tokens(noProxy, separators);
  std::string list;
  auto add = [&list](const std::string& entry) {
    if (!list.empty()) list += ';';
    list += entry;
  };
  for (std::string name : tokens) {
    if (name.find('/') != std::string::npos) continue;  // an address range
    const std::size_t colon = name.find(':');
    if (colon != std::string::npos) name.erase(colon);
    if (name == "*") {
      add("*");
      continue;
    }
    while (!name.empty() && name.front() == '.') name.erase(0, 1);
    if (name.empty()) continue;
    add(name);
    add("*." + name);
  }
  return list;
}

}  // namespace zarn
